// POSIX serial ports: termios raw 8N1 (termios2 for any rate), exclusive open, low
// latency where the driver offers it, a small user-space read buffer so
// byte-at-a-time reads cost no system call each, and waits that block in poll().
#include "platform/serial_device.h"

#include <asm/termbits.h>  // termios2, BOTHER, TCGETS2
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <linux/serial.h>  // serial_icounter_struct, serial_struct

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/ports.h"

struct SerialDevice {
    int fd = -1;
    bool lost = false;           // hung up or gone: every later query fails
    bool pending_error = false;  // an error not yet reported by serial_status
    bool have_icount = false;    // the driver keeps line-error counters
    bool set_low_latency = false;  // we turned ASYNC_LOW_LATENCY on: turn it off at close
    bool set_exclusive = false;    // we set TIOCEXCL: clear it at close
    serial_icounter_struct icount{};
    uint8_t buf[512];
    uint32_t head = 0, tail = 0;  // buffered bytes are buf[head..tail)
};

namespace {

uint32_t buffered(const SerialDevice* p) { return p->tail - p->head; }

bool buffer_full(const SerialDevice* p) { return p->head == 0 && p->tail == sizeof p->buf; }

// USB adapters hold received bytes for their latency timer (16 ms on common ones)
// unless asked for low latency; a round trip then costs about 1 ms. Drivers without
// the setting (a pty, most plain UARTs) refuse, and that is fine.
void ask_low_latency(SerialDevice* p) {
    serial_struct ss{};
    if (ioctl(p->fd, TIOCGSERIAL, &ss) != 0 || (ss.flags & ASYNC_LOW_LATENCY)) return;
    ss.flags |= ASYNC_LOW_LATENCY;
    p->set_low_latency = ioctl(p->fd, TIOCSSERIAL, &ss) == 0;
}

void drop_low_latency(SerialDevice* p) {
    serial_struct ss{};
    if (!p->set_low_latency || ioctl(p->fd, TIOCGSERIAL, &ss) != 0) return;
    ss.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(p->fd, TIOCSSERIAL, &ss);
}

void mark_lost(SerialDevice* p) {
    if (!p->lost) p->pending_error = true;
    p->lost = true;
}

bool read_icount(int fd, serial_icounter_struct* out) {
    return ioctl(fd, TIOCGICOUNT, out) == 0;
}

// Checks the line-error counters; a change since the last look is an error.
void check_line_errors(SerialDevice* p) {
    if (!p->have_icount) return;
    serial_icounter_struct now{};
    if (!read_icount(p->fd, &now)) return;
    if (now.frame != p->icount.frame || now.overrun != p->icount.overrun ||
        now.parity != p->icount.parity || now.brk != p->icount.brk ||
        now.buf_overrun != p->icount.buf_overrun)
        p->pending_error = true;
    p->icount = now;
}

// Moves whatever the kernel holds into the buffer without blocking. Called only
// after poll reported input, so a read of nothing is the end of the line (a
// hang-up), not an empty queue: treating it as lost keeps the waits from spinning.
// false when the device is gone.
bool fill(SerialDevice* p) {
    if (p->lost) return false;
    if (p->head == p->tail) p->head = p->tail = 0;
    if (p->head > 0 && p->tail == sizeof p->buf) {
        std::memmove(p->buf, p->buf + p->head, buffered(p));
        p->tail -= p->head;
        p->head = 0;
    }
    if (p->tail == sizeof p->buf) return true;
    for (;;) {
        ssize_t n = ::read(p->fd, p->buf + p->tail, sizeof p->buf - p->tail);
        if (n > 0) {
            p->tail += static_cast<uint32_t>(n);
            return true;
        }
        if (n == 0) {
            mark_lost(p);
            return false;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
        mark_lost(p);
        return false;
    }
}

// Polls the descriptor; false when it reports hang-up or error.
bool poll_fd(SerialDevice* p, int timeout_ms, bool* readable) {
    *readable = false;
    if (p->lost) return false;
    pollfd pfd{p->fd, POLLIN, 0};
    for (;;) {
        int r = ::poll(&pfd, 1, timeout_ms);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            mark_lost(p);
            return false;
        }
        break;
    }
    if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        mark_lost(p);
        return false;
    }
    *readable = (pfd.revents & POLLIN) != 0;
    return true;
}

}  // namespace

namespace {

thread_local int g_open_error = SERIAL_OPEN_OK;
thread_local int g_open_holder = 0;
thread_local char g_open_path[300] = "";

int open_failed(int why, int holder = 0) {
    g_open_error = why;
    g_open_holder = holder;
    return -1;
}

int reason_of_errno(int e) {
    switch (e) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR: return SERIAL_OPEN_NO_DEVICE;
        case EISDIR: return SERIAL_OPEN_NOT_SERIAL;
        case EACCES:
        case EPERM: return SERIAL_OPEN_DENIED;
        case EBUSY: return SERIAL_OPEN_BUSY;
        default: return SERIAL_OPEN_FAILED;
    }
}

// The process holding our advisory lock on the device, from /proc/locks; 0 when
// not found. Tells the operator which program to close.
int lock_holder(const char* path) {
    struct stat st {};
    if (::stat(path, &st) != 0) return 0;
    std::FILE* f = std::fopen("/proc/locks", "r");
    if (!f) return 0;
    char line[256];
    int holder = 0;
    while (!holder && std::fgets(line, sizeof line, f)) {
        char kind[16] = "", mode[16] = "", access[16] = "";
        int pid = 0;
        unsigned maj = 0, min = 0;
        unsigned long long ino = 0;
        // "1: FLOCK  ADVISORY  WRITE 1234 00:05:567 0 EOF"
        const char* rest = std::strchr(line, ':');
        if (!rest) continue;
        if (std::sscanf(rest + 1, "%15s %15s %15s %d %x:%x:%llu", kind, mode, access, &pid, &maj, &min, &ino) != 7)
            continue;
        if (std::strcmp(kind, "FLOCK") == 0 && ino == st.st_ino && maj == major(st.st_dev) &&
            min == minor(st.st_dev) && pid != ::getpid())
            holder = pid;
    }
    std::fclose(f);
    return holder;
}

// false when sysfs says the character device belongs to another class than tty
// (/dev/null, /dev/watchdog...): opening some of those has effects of its own.
// Unknown (no sysfs, pseudo-terminals) is left to isatty after the open.
bool may_be_tty(const struct stat& st) {
    char link[64], target[300];
    std::snprintf(link, sizeof link, "/sys/dev/char/%u:%u/subsystem", major(st.st_rdev), minor(st.st_rdev));
    ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0) return true;
    target[n] = '\0';
    const char* name = std::strrchr(target, '/');
    return std::strcmp(name ? name + 1 : target, "tty") == 0;
}

// *set_exclusive tells whether we set TIOCEXCL (it was not set before), so that
// closing leaves the device as it was found.
int open_device(int port_number, bool* set_exclusive) {
    *set_exclusive = false;
    char* path = g_open_path;
    if (!ports_device_path(port_number, path, sizeof g_open_path)) {
        path[0] = '\0';
        return open_failed(SERIAL_OPEN_NO_DEVICE);
    }
    // Looked at before opening: a FIFO or a file is never opened (that could take a
    // FIFO's data from its reader), and the operator learns what the path is.
    struct stat st {};
    if (::stat(path, &st) != 0) return open_failed(reason_of_errno(errno));
    if (!S_ISCHR(st.st_mode) || !may_be_tty(st)) return open_failed(SERIAL_OPEN_NOT_SERIAL);
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int why = reason_of_errno(errno);
        return open_failed(why, why == SERIAL_OPEN_BUSY ? lock_holder(path) : 0);
    }
    if (!::isatty(fd)) {  // /dev/null, /dev/zero, ...
        ::close(fd);
        return open_failed(SERIAL_OPEN_NOT_SERIAL);
    }
    // The advisory lock keeps out a second open of ours (TIOCEXCL does not stop root
    // or an open in the same process); TIOCEXCL keeps out other programs.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int holder = lock_holder(path);
        ::close(fd);
        return open_failed(SERIAL_OPEN_BUSY, holder);
    }
    int was_exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &was_exclusive) != 0) was_exclusive = 0;
    if (ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return open_failed(SERIAL_OPEN_FAILED);
    }
    *set_exclusive = was_exclusive == 0;
    return fd;
}

}  // namespace

SerialDevice* serial_device_open(int port_number) {
    g_open_error = SERIAL_OPEN_OK;
    g_open_holder = 0;
    bool set_exclusive = false;
    int fd = open_device(port_number, &set_exclusive);
    if (fd < 0) return nullptr;
    SerialDevice* p = new (std::nothrow) SerialDevice();
    if (!p) {
        if (set_exclusive) ioctl(fd, TIOCNXCL);
        ::close(fd);
        open_failed(SERIAL_OPEN_FAILED);
        return nullptr;
    }
    p->fd = fd;
    p->set_exclusive = set_exclusive;
    p->have_icount = read_icount(fd, &p->icount);
    ask_low_latency(p);
    return p;
}

const char* serial_device_denied_text() { return "your user needs to be in the dialout group"; }

const char* serial_device_open_path() { return g_open_path; }

int serial_device_open_error(int* holder_pid) {
    if (holder_pid) *holder_pid = g_open_holder;
    return g_open_error;
}

namespace {

// A standard rate goes by its code, which every driver knows and the far end of a
// pseudo-terminal can read back; any other rate by number (BOTHER).
tcflag_t standard_rate_code(int baud) {
    static const struct {
        int baud;
        tcflag_t code;
    } RATES[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
                 {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
                 {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& r : RATES)
        if (r.baud == baud) return r.code;
    return BOTHER;
}

}  // namespace

int serial_device_configure(SerialDevice* p, int baud) {
    if (!p || p->lost || baud <= 0) return 0;
    termios2 t{};
    if (ioctl(p->fd, TCGETS2, &t) != 0) return 0;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
    t.c_iflag |= IGNPAR;
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    tcflag_t code = standard_rate_code(baud);
    t.c_cflag |= CS8 | CLOCAL | CREAD | code | (code << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (ioctl(p->fd, TCSETS2, &t) != 0) return 0;
    // Drivers round or refuse rates silently; read back and insist on the rate.
    termios2 back{};
    if (ioctl(p->fd, TCGETS2, &back) != 0) return 0;
    long got = static_cast<long>(back.c_ospeed);
    long want = baud;
    long diff = got > want ? got - want : want - got;
    return diff * 50 <= want ? 1 : 0;  // within 2 %, as a UART divisor allows
}

int serial_device_escape(SerialDevice* p, int function) {
    if (!p || p->lost) return 0;
    int bits = 0;
    unsigned long request = 0;
    switch (function) {
        case SERIAL_SETRTS: bits = TIOCM_RTS; request = TIOCMBIS; break;
        case SERIAL_CLRRTS: bits = TIOCM_RTS; request = TIOCMBIC; break;
        case SERIAL_SETDTR: bits = TIOCM_DTR; request = TIOCMBIS; break;
        case SERIAL_CLRDTR: bits = TIOCM_DTR; request = TIOCMBIC; break;
        default: return 0;
    }
    return ioctl(p->fd, request, &bits) == 0 ? 1 : 0;
}

int serial_device_purge(SerialDevice* p) {
    if (!p || p->lost) return 0;
    p->head = p->tail = 0;
    return ioctl(p->fd, TCFLSH, TCIOFLUSH) == 0 ? 1 : 0;
}

int serial_device_status(SerialDevice* p, uint32_t* in_queue, uint32_t* errors) {
    if (in_queue) *in_queue = 0;
    if (errors) *errors = 0;
    if (!p || p->lost) return 0;
    if (buffered(p) == 0) {
        bool readable = false;
        if (!poll_fd(p, 0, &readable)) return 0;
        if (readable && !fill(p)) return 0;
    }
    check_line_errors(p);
    if (in_queue) *in_queue = buffered(p);
    if (errors) *errors = p->pending_error ? 1u : 0u;
    p->pending_error = false;
    return 1;
}

int serial_device_alive(SerialDevice* p) {
    if (!p || p->lost) return 0;
    bool readable = false;
    return poll_fd(p, 0, &readable) ? 1 : 0;
}

int serial_device_read(SerialDevice* p, uint8_t* buffer, uint32_t count, uint32_t* delivered) {
    if (delivered) *delivered = 0;
    if (!p || !buffer) return 0;
    uint32_t got = 0;
    while (got < count) {
        if (buffered(p) == 0) {
            bool readable = false;
            if (!poll_fd(p, -1, &readable) || !fill(p)) {
                if (delivered) *delivered = got;
                return 0;
            }
            continue;
        }
        uint32_t n = buffered(p) < count - got ? buffered(p) : count - got;
        std::memcpy(buffer + got, p->buf + p->head, n);
        p->head += n;
        got += n;
    }
    if (delivered) *delivered = got;
    return 1;
}

int serial_device_write(SerialDevice* p, const uint8_t* buffer, uint32_t count, uint32_t* written) {
    if (written) *written = 0;
    if (!p || p->lost || (!buffer && count)) return 0;
    uint32_t done = 0;
    int idle_seconds = 0;  // a line that takes nothing for 5 s is dead, not slow
    while (done < count) {
        ssize_t n = ::write(p->fd, buffer + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{p->fd, POLLOUT, 0};
            int r = ::poll(&pfd, 1, 1000);
            if (r > 0 && !(pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                idle_seconds = 0;
                continue;
            }
            if (r == 0 && ++idle_seconds < 5) continue;
        }
        mark_lost(p);
        return 0;
    }
    if (written) *written = done;
    return 1;
}

int serial_device_wait_handle(SerialDevice* p, int queued_counts, intptr_t* handle) {
    if (handle) *handle = -1;
    if (!p || p->lost || p->pending_error || (queued_counts && buffered(p) > 0)) return 0;
    // Take in what the kernel already holds: the descriptor then turns readable only
    // on input nobody has seen, so bytes left unread at the head cannot make an event
    // loop spin.
    bool readable = false;
    if (!buffer_full(p)) {
        if (!poll_fd(p, 0, &readable)) return 0;
        uint32_t before = buffered(p);
        if (readable && (!fill(p) || buffered(p) > before)) return 0;
        if (handle) *handle = p->fd;
    }
    // A full buffer leaves the kernel's input readable for good: an event loop could
    // only spin on it, so it gets no descriptor and looks again shortly.
    return 1;
}

int serial_device_wait_event(SerialDevice* p, uint32_t ms, int queued_counts) {
    if (!p || p->lost || p->pending_error || (queued_counts && buffered(p) > 0)) return 1;
    // With the buffer full only a hang-up can matter; poll reports that unasked.
    pollfd pfd{p->fd, static_cast<short>(buffer_full(p) ? 0 : POLLIN), 0};
    int timeout = ms == UINT32_MAX ? -1 : ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms);
    int r = ::poll(&pfd, 1, timeout);
    if (r == 0) return 0;
    if (r < 0) {
        if (errno != EINTR) mark_lost(p);
        return 1;
    }
    if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        mark_lost(p);
        return 1;
    }
    // Taken in now, so that input stuck behind an unread head is not woken for again.
    if (pfd.revents & POLLIN) fill(p);
    return 1;
}

void serial_device_close(SerialDevice* p) {
    if (!p) return;
    if (p->fd >= 0) {
        drop_low_latency(p);
        // A pseudo-terminal keeps the flag while its master lives: left set, no
        // ordinary user could open it again.
        if (p->set_exclusive) ioctl(p->fd, TIOCNXCL);
        ::flock(p->fd, LOCK_UN);
        ::close(p->fd);
    }
    delete p;
}
