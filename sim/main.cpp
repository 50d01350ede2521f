// zorv-sim: serves the simulated controller on a pseudo-terminal. This file is the I/O
// side only (pty, symlink, signals, pacing, trace file); the protocol is in controller.cpp.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "controller.h"
#include "platform/stdio_guard.h"

namespace {

const char* const USAGE =
    "usage: zorv-sim --link PATH [options]\n"
    "\n"
    "Simulated controller on a pseudo-terminal. PATH becomes a symlink to the pty's\n"
    "slave device (an existing symlink is replaced); the slave path is printed on stdout.\n"
    "Runs until SIGTERM/SIGINT (the symlink is removed, exit 0).\n"
    "\n"
    "options:\n"
    "  --once              exit 0 when the first peer closes the device\n"
    "  --greeting MODE     reply to the greeting line \"A\": cr (a lone CR, default),\n"
    "                      ok (\"OK\" CR), none (nothing)\n"
    "  --crlf              end every reply line with CR LF instead of CR\n"
    "  --stall-after N     command reply number N (counted from 1 since start) is cut:\n"
    "                      only its first half is sent, no CR, and nothing at all is\n"
    "                      sent afterwards (input is still read and traced)\n"
    "  --hangup-after N    after command reply number N has been written, close the\n"
    "                      pty and exit 0\n"
    "  --garbage           put 1 to 4 random bytes (never CR; may be control bytes)\n"
    "                      ahead of some command replies\n"
    "  --garbage-rate PCT  chance per command reply for --garbage (default 50)\n"
    "  --seed N            seed for --garbage (default 1); same seed, same bytes\n"
    "  --pace              send at the line's baud rate (10 bits per byte); the rate is\n"
    "                      read from the pty's settings, 115200 when unknown\n"
    "  --baud N            pace at N baud (implies --pace)\n"
    "  --status HEX        fix the status port (port 2) at HEX instead of the loopback\n"
    "  --bad-pins          begin every pin reply with 08, which is no pin reply\n"
    "  --drop-reports N    leave the first N report requests unanswered\n"
    "  --stray TEXT        send TEXT unasked right behind every command reply (\\r, \\n,\n"
    "                      \\\\ and \\xHH escapes), as a late echo or line noise would\n"
    "  --flood N           send N unasked lines (\"unasked line 0001\"...) behind every\n"
    "                      command reply, as a chatty controller would\n"
    "  --report-cut N      status reports stop after N of their 18 body bytes\n"
    "  --log FILE          append a trace: one line per event, flushed at once\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "Protocol: every command line ends with CR (LF bytes are ignored) and gets exactly\n"
    "one CR-ended reply. The line \"A\" is the greeting: it stops any running command\n"
    "without a reply, drops queued lines and unsent output, and is answered per\n"
    "--greeting. Lines arriving while a command runs are executed after it, in order.\n"
    "Control bytes act at once, also while a command runs, and are never line text:\n"
    "  01 stop (reply \"stopped\"), 02 pause, 03 continue, 12 status report\n"
    "  (12, Q int16, X Y Z W int32, little-endian). Stop/pause/continue with nothing\n"
    "  running are ignored.\n"
    "Pin transaction: a byte with bits 7 and 3 set at the start of a line (no text\n"
    "collected yet) is a pin command; its announced values are raw bytes. Elsewhere\n"
    "bytes 80..FF are ordinary text.\n"
    "  port 1 data latch (8 bits); port 2 status input: bits 3..7 = data bits 0..4,\n"
    "  bit 7 inverted, bits 0..2 zero, writes ignored (--status or `pins status`\n"
    "  fix it instead); port 3 control latch (low 4 bits, upper read 0).\n"
    "\n"
    "Commands (words are case-insensitive):\n"
    "  echo TEXT          reply TEXT (bytes after \"echo\" and one blank, verbatim)\n"
    "  ok                 reply \"ok\"\n"
    "  (empty line)       empty reply (a lone CR)\n"
    "  run MS             reply \"done\" after MS ms of unpaused time\n"
    "  move AXIS TARGET [AXIS TARGET...] MS\n"
    "                     move x/y/z/w linearly to TARGET over MS ms, then \"done\";\n"
    "                     reports show the positions on the way\n"
    "  set q|x|y|z|w N    set a value (Q is 16-bit), reply \"ok\"\n"
    "  pos [X Y Z W]      set X..W (reply \"ok\"), or without numbers reply\n"
    "                     \"q=N x=N y=N z=N w=N\"\n"
    "  pins               reply \"data=HH status=HH control=HH\"\n"
    "  pins data|status|control HEX   set a port (status: fixed, overrides loopback)\n"
    "  pins loop          status port follows the loopback again\n"
    "  len N              reply N 'a' characters (0..1048576)\n"
    "  bytes HH [HH...]   reply these bytes, given in hex (any but 0D)\n"
    "  help               one-line command summary\n"
    "Errors reply \"ERR ...\" (unknown command, bad arguments, line over 4096 bytes).\n"
    "\n"
    "Command replies are counted for --stall-after and --hangup-after: the reply to\n"
    "every command line, empty and error replies included; greeting replies, status\n"
    "reports and pin replies are not counted.\n";

volatile sig_atomic_t g_stop = 0;

void on_signal(int) { g_stop = 1; }

int64_t mono_us() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

bool parse_long(const char* s, long lo, long hi, long* out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

// "\r", "\n", "\\" and "\xHH" in a command-line text; false on any other escape.
bool unescape(const char* s, std::string* out) {
    out->clear();
    for (; *s; ++s) {
        if (*s != '\\') {
            *out += *s;
            continue;
        }
        ++s;
        if (*s == 'r') *out += '\r';
        else if (*s == 'n') *out += '\n';
        else if (*s == '\\') *out += '\\';
        else if (*s == 'x' && std::isxdigit(static_cast<unsigned char>(s[1])) &&
                 std::isxdigit(static_cast<unsigned char>(s[2]))) {
            *out += static_cast<char>(std::stoi(std::string(s + 1, 2), nullptr, 16));
            s += 2;
        } else return false;
    }
    return true;
}

long baud_of(speed_t s) {
    static const struct {
        speed_t code;
        long baud;
    } TABLE[] = {
        {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},
        {B150, 150},       {B200, 200},       {B300, 300},       {B600, 600},
        {B1200, 1200},     {B1800, 1800},     {B2400, 2400},     {B4800, 4800},
        {B9600, 9600},     {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
        {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
        {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
    };
    for (const auto& e : TABLE)
        if (e.code == s) return e.baud;
    return 0;
}

struct Trace {
    FILE* f = nullptr;
    void put(const std::string& s) {
        if (!f) return;
        std::fprintf(f, "%s\n", s.c_str());
        std::fflush(f);
    }
};

struct Args {
    const char* link = nullptr;
    const char* log = nullptr;
    bool once = false;
    bool pace = false;
    long baud = 0;
    SimOptions opt;
};

int parse_args(int argc, char** argv, Args* a) {
    for (int i = 1; i < argc; i++) {
        std::string o = argv[i];
        const char* val = (i + 1 < argc) ? argv[i + 1] : nullptr;
        long n;
        auto need = [&](const char* what) {
            if (!val) std::fprintf(stderr, "zorv-sim: %s needs %s\n", o.c_str(), what);
            return val != nullptr;
        };
        if (o == "--help" || o == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (o == "--version") {
            std::printf("zorv-sim %s\n", ZORV_VERSION);
            return 0;
        } else if (o == "--once") {
            a->once = true;
        } else if (o == "--crlf") {
            a->opt.crlf = true;
        } else if (o == "--garbage") {
            a->opt.garbage = true;
        } else if (o == "--pace") {
            a->pace = true;
        } else if (o == "--bad-pins") {
            a->opt.bad_pins = true;
        } else if (o == "--stray") {
            if (!need("a text")) return 2;
            if (!unescape(argv[++i], &a->opt.stray)) {
                std::fprintf(stderr, "zorv-sim: --stray: bad escape in '%s'\n", argv[i]);
                return 2;
            }
        } else if (o == "--link" || o == "--log") {
            if (!need("a path")) return 2;
            (o == "--link" ? a->link : a->log) = argv[++i];
        } else if (o == "--greeting") {
            if (!need("cr, ok or none")) return 2;
            std::string m = argv[++i];
            if (m == "cr") a->opt.greeting = SIM_GREET_CR;
            else if (m == "ok") a->opt.greeting = SIM_GREET_OK;
            else if (m == "none") a->opt.greeting = SIM_GREET_NONE;
            else {
                std::fprintf(stderr, "zorv-sim: --greeting: cr, ok or none, not '%s'\n", m.c_str());
                return 2;
            }
        } else if (o == "--stall-after" || o == "--hangup-after" || o == "--seed" ||
                   o == "--baud" || o == "--garbage-rate" || o == "--flood" || o == "--report-cut" ||
                   o == "--drop-reports") {
            long hi = o == "--garbage-rate" ? 100 : o == "--flood" ? 100000 : o == "--report-cut" ? 17 : 1000000000L;
            long lo = (o == "--baud" || o == "--stall-after" || o == "--hangup-after" || o == "--drop-reports") ? 1 : 0;
            if (!need("a number")) return 2;
            if (!parse_long(argv[++i], lo, hi, &n)) {
                std::fprintf(stderr, "zorv-sim: %s: bad number '%s'\n", o.c_str(), argv[i]);
                return 2;
            }
            if (o == "--stall-after") a->opt.stall_after = n;
            else if (o == "--hangup-after") a->opt.hangup_after = n;
            else if (o == "--seed") a->opt.seed = static_cast<uint64_t>(n);
            else if (o == "--garbage-rate") a->opt.garbage_percent = static_cast<int>(n);
            else if (o == "--flood") a->opt.flood = n;
            else if (o == "--report-cut") a->opt.report_cut = static_cast<int>(n);
            else if (o == "--drop-reports") a->opt.drop_reports = n;
            else {
                a->baud = n;
                a->pace = true;
            }
        } else if (o == "--status") {
            if (!need("a hex byte")) return 2;
            char* end = nullptr;
            unsigned long v = std::strtoul(argv[++i], &end, 16);
            if (end == argv[i] || *end != '\0' || v > 0xFF) {
                std::fprintf(stderr, "zorv-sim: --status: bad hex byte '%s'\n", argv[i]);
                return 2;
            }
            a->opt.status_override = static_cast<int>(v);
        } else {
            std::fprintf(stderr, "zorv-sim: unknown option '%s'\n%s", o.c_str(), USAGE);
            return 2;
        }
    }
    if (!a->link) {
        std::fprintf(stderr, "zorv-sim: --link PATH is required\n%s", USAGE);
        return 2;
    }
    return -1;
}

// Replaces a symlink but never a real file someone may care about.
bool make_link(const char* path, const char* target) {
    struct stat st;
    if (lstat(path, &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "zorv-sim: %s exists and is not a symlink\n", path);
            return false;
        }
        if (unlink(path) != 0 && errno != ENOENT) {
            std::fprintf(stderr, "zorv-sim: cannot replace %s: %s\n", path, std::strerror(errno));
            return false;
        }
    }
    if (symlink(target, path) != 0) {
        std::fprintf(stderr, "zorv-sim: cannot create %s: %s\n", path, std::strerror(errno));
        return false;
    }
    return true;
}

// Only remove the link while it is still ours: a newer sim may have taken the path over.
void remove_link(const char* path, const char* target) {
    char buf[4096];
    ssize_t n = readlink(path, buf, sizeof buf - 1);
    if (n < 0) return;
    buf[n] = '\0';
    if (std::strcmp(buf, target) == 0) unlink(path);
}

}  // namespace

int main(int argc, char** argv) {
    stdio_guard();
    Args a;
    int rc = parse_args(argc, argv, &a);
    if (rc >= 0) return rc;
    a.opt.log = a.log != nullptr;

    Trace tr;
    if (a.log) {
        tr.f = std::fopen(a.log, "a");
        if (!tr.f) {
            std::fprintf(stderr, "zorv-sim: cannot open %s: %s\n", a.log, std::strerror(errno));
            return 1;
        }
    }

    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "zorv-sim: cannot create a pty: %s\n", std::strerror(errno));
        return 1;
    }
    const char* name = ptsname(master);
    if (!name) {
        std::fprintf(stderr, "zorv-sim: ptsname: %s\n", std::strerror(errno));
        return 1;
    }
    std::string slave = name;
    termios tio;
    if (tcgetattr(master, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(master, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);

    // Signals are blocked except inside ppoll, so a stop request is never missed.
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t block, waitmask;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    sigprocmask(SIG_BLOCK, &block, &waitmask);
    sigdelset(&waitmask, SIGTERM);
    sigdelset(&waitmask, SIGINT);

    if (!make_link(a.link, slave.c_str())) return 1;
    std::printf("%s\n", slave.c_str());
    std::fflush(stdout);

    SimController c;
    sim_init(c, a.opt);
    tr.put("start " + slave);

    // A pty master reports POLLHUP/EIO while no peer holds the slave open. We do not keep
    // the slave open ourselves (a lingering exclusive-open flag would lock out the next
    // peer, and --once must see the close), so a hung-up master is re-polled every 20 ms.
    const int64_t HUP_RETRY_US = 20000;
    bool peer_seen = false;   // a byte has arrived since start
    bool peer_up = false;     // the last poll did not report a hang-up
    int64_t next_send_us = 0; // pacing: earliest time for the next byte
    int64_t hangup_deadline_us = -1; // when to close after --hangup-after
    uint8_t buf[4096];
    int exit_code = 0;

    while (!g_stop) {
        int64_t now = mono_us();
        sim_tick(c, now / 1000);
        while (!c.log.empty()) {
            tr.put(c.log.front());
            c.log.pop_front();
        }
        // Closing the master flushes what the peer has not read yet, so the last reply
        // gets a moment to be read; a peer that stops reading cannot hold the hang-up off.
        if (c.hangup && hangup_deadline_us < 0) hangup_deadline_us = now + 2000000;
        if (sim_hangup_due(c) && hangup_deadline_us > now + 200000) hangup_deadline_us = now + 200000;
        if (hangup_deadline_us >= 0 && now >= hangup_deadline_us) {
            tr.put("exit hangup");
            break;
        }

        int64_t byte_us = 0;
        if (a.pace) {
            long baud = a.baud;
            if (baud == 0) {
                termios t;
                if (tcgetattr(master, &t) == 0) baud = baud_of(cfgetospeed(&t));
                if (baud == 0) baud = 115200;
            }
            byte_us = 10000000 / baud;
            if (byte_us < 1) byte_us = 1;
        }
        bool want_write = sim_output_pending(c) && peer_up;
        int64_t wait_us = -1;
        if (want_write && a.pace && next_send_us > now) {
            wait_us = next_send_us - now;
            want_write = false;
        }
        int64_t ms_next = sim_ms_until_next(c, now / 1000);
        if (ms_next >= 0 && (wait_us < 0 || ms_next * 1000 < wait_us)) wait_us = ms_next * 1000;
        if (hangup_deadline_us >= 0) {
            int64_t left = hangup_deadline_us - now;
            if (wait_us < 0 || left < wait_us) wait_us = left < 0 ? 0 : left;
        }
        if (!peer_up && (wait_us < 0 || wait_us > HUP_RETRY_US)) wait_us = HUP_RETRY_US;

        timespec ts;
        timespec* tsp = nullptr;
        if (wait_us >= 0) {
            // Round up so a deadline is never woken for just before it is due.
            ts.tv_sec = wait_us / 1000000;
            ts.tv_nsec = (wait_us % 1000000) * 1000 + 999;
            tsp = &ts;
        }

        pollfd pfd;
        pfd.fd = master;
        pfd.events = POLLIN | (want_write ? POLLOUT : 0);
        pfd.revents = 0;
        // While hung up the master polls ready at once: wait with no descriptor instead.
        int pr = ppoll(peer_up ? &pfd : nullptr, peer_up ? 1 : 0, tsp, &waitmask);
        if (pr < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "zorv-sim: poll: %s\n", std::strerror(errno));
            exit_code = 1;
            break;
        }
        if (!peer_up) {
            // Probe: is a peer there now?
            pfd.events = POLLIN;
            pfd.revents = 0;
            if (poll(&pfd, 1, 0) < 0) continue;
            if (pfd.revents & POLLHUP) {
                // Nobody is listening: what would be sent now is gone, as on a real line.
                sim_output_discard(c);
                continue;
            }
            peer_up = true;
            tr.put("peer up");
        }

        bool hup = false;
        if (pfd.revents & POLLIN) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) {
                peer_seen = true;
                sim_feed(c, buf, static_cast<size_t>(n), mono_us() / 1000);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hup = true;
            }
        } else if (pfd.revents & (POLLHUP | POLLERR)) {
            hup = true;
        }
        if (hup) {
            peer_up = false;
            // Nobody is listening: what was not sent is gone, as on a real line.
            sim_output_discard(c);
            tr.put("peer closed");
            if (a.once && peer_seen) break;
            continue;
        }

        if ((pfd.revents & POLLOUT) && sim_output_pending(c)) {
            now = mono_us();
            size_t budget = SIZE_MAX;
            if (a.pace) {
                // No bursts after idle time: the line's rate holds from now on.
                if (next_send_us < now - byte_us) next_send_us = now - byte_us;
                budget = static_cast<size_t>((now - next_send_us) / byte_us);
                if (budget == 0) budget = 1;
            }
            while (budget > 0 && sim_output_pending(c)) {
                size_t len;
                const char* p = sim_output_front(c, &len);
                if (len > budget) len = budget;
                ssize_t w = write(master, p, len);
                if (w <= 0) break;
                sim_output_consume(c, static_cast<size_t>(w));
                budget -= static_cast<size_t>(w);
                if (a.pace) next_send_us += w * byte_us;
            }
        }
    }

    if (g_stop) tr.put("exit signal");
    close(master);
    remove_link(a.link, slave.c_str());
    if (tr.f) std::fclose(tr.f);
    return exit_code;
}
