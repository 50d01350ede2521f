// Measures, side by side in one run against zorv-sim: command exchanges through the
// link versus a plain write/poll/read loop on the same pty with the same replies (the
// rate and the latency the link adds), and the CPU the link spends while it waits for
// a 10 s command. Five rounds, link and raw alternating; the medians are printed.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/link.h"
#include "platform/ports.h"
#include "tests/integration/ser2net_process.h"
#include "tests/integration/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int ROUNDS = 5;
constexpr int EXCHANGES = 3000;  // per side and round
constexpr int BLOCKS = 30;
constexpr int IDLE_COMMAND_MS = 10000;

// One side's exchanges in a round: how many, the time they took, each one's time.
struct Side {
    int count = 0;
    double seconds = 0;
    std::vector<double> times_us;
    double rate() const { return seconds > 0 ? count / seconds : 0; }
};

double micros(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::micro>(b - a).count();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[i];
}

double median(std::vector<double> v) { return percentile(std::move(v), 0.5); }

bool link_block(TargetLink* link, int n, Side* side) {
    char reply[256];
    auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        auto t = Clock::now();
        if (!link_exchange(link, "ok", reply) || std::strcmp(reply, "ok") != 0) return false;
        side->times_us.push_back(micros(t, Clock::now()));
    }
    side->seconds += seconds_since(start);
    side->count += n;
    return true;
}

// The least a program can do on the same pty: write the line, sleep in poll, read
// until the CR. The link's settings of the line apply to it too.
bool raw_block(int fd, int n, Side* side) {
    char buf[256];
    auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        auto begin = Clock::now();
        if (write(fd, "ok\r", 3) != 3) return false;
        for (bool done = false; !done;) {
            pollfd p{fd, POLLIN, 0};
            ssize_t got = poll(&p, 1, 2000) > 0 ? read(fd, buf, sizeof buf) : -1;
            if (got <= 0) return false;
            done = std::memchr(buf, '\r', static_cast<size_t>(got)) != nullptr;
        }
        side->times_us.push_back(micros(begin, Clock::now()));
    }
    side->seconds += seconds_since(start);
    side->count += n;
    return true;
}

// The share of a core the link uses while the controller runs a long command.
double idle_share(TargetLink* link) {
    char command[32], reply[256];
    std::snprintf(command, sizeof command, "run %d", IDLE_COMMAND_MS);
    double cpu = cpu_seconds();
    auto t = Clock::now();
    if (!link_exchange(link, command, reply) || std::strcmp(reply, "done") != 0) return -1;
    return (cpu_seconds() - cpu) / seconds_since(t);
}

int fail(SimProcess* sim, const char* why) {
    std::fprintf(stderr, "link_bench: %s\n", why);
    sim_stop(sim);
    return 1;
}

// The same exchanges with a controller behind ser2net on the loopback (RFC 2217)
// and with one on a pty, in alternating blocks: the rate kept and the latency added.
int network_figures() {
    SimProcess local, served;
    Ser2netProcess server;
    if (!sim_start(&local, 51) || !sim_start(&served, 52) || !ser2net_start(&server, served.link_path) ||
        !ports_assign(52, ser2net_url(&server).c_str())) {
        std::fprintf(stderr, "link_bench: cannot start zorv-sim behind ser2net\n");
        ser2net_stop(&server);
        sim_stop(&local);
        sim_stop(&served);
        return 1;
    }
    TargetLink* pty = link_connect("COM51: 115200");
    TargetLink* net = link_connect("COM52: 115200");
    std::vector<double> ratios, added50, added99, net_rates, pty_rates, idle;
    bool ok = pty && net;
    for (int round = 1; ok && round <= ROUNDS; ++round) {
        Side p, n;
        for (int block = 0; ok && block < BLOCKS; ++block) {
            bool net_first = (block + round) % 2 == 0;
            ok = (!net_first || link_block(net, EXCHANGES / BLOCKS, &n)) && link_block(pty, EXCHANGES / BLOCKS, &p) &&
                 (net_first || link_block(net, EXCHANGES / BLOCKS, &n));
        }
        if (!ok) break;
        double a50 = percentile(n.times_us, 0.5) - percentile(p.times_us, 0.5);
        double a99 = percentile(n.times_us, 0.99) - percentile(p.times_us, 0.99);
        net_rates.push_back(n.rate());
        pty_rates.push_back(p.rate());
        ratios.push_back(n.rate() / p.rate());
        added50.push_back(a50);
        added99.push_back(a99);
        std::printf("network round %d: ser2net %.0f/s, pty %.0f/s, added p50 %.0f us, p99 %.0f us\n", round, n.rate(),
                    p.rate(), a50, a99);
    }
    double share = ok ? idle_share(net) : -1;
    link_close(&pty);
    link_close(&net);
    ser2net_stop(&server);
    sim_stop(&local);
    sim_stop(&served);
    if (!ok || share < 0) {
        std::fprintf(stderr, "link_bench: an exchange over ser2net failed\n");
        return 1;
    }
    std::printf("ser2net exchanges per s: %.0f\n", median(net_rates));
    std::printf("pty exchanges per s (same controller): %.0f\n", median(pty_rates));
    std::printf("exchange ratio ser2net/pty: %.2f\n", median(ratios));
    std::printf("ser2net latency added p50 us: %.0f\n", median(added50));
    std::printf("ser2net latency added p99 us: %.0f\n", median(added99));
    std::printf("ser2net idle wait cpu: %.3f%%\n", share * 100);
    return 0;
}

}  // namespace

int main() {
    if (std::getenv("ZORV_BENCH_NET_ONLY")) return network_figures();
    SimProcess sim;
    if (!sim_start(&sim, 50)) {
        std::fprintf(stderr, "link_bench: cannot start zorv-sim\n");
        return 1;
    }
    std::vector<double> link_rates, raw_rates, ratios, added_us, idle;
    for (int round = 1; round <= ROUNDS; ++round) {
        // The raw side opens the pty first: the link's exclusive open keeps later
        // opens out, not earlier ones. The two take turns in short blocks, so that a
        // drifting load tilts neither side.
        int fd = open(sim.link_path.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0) return fail(&sim, "cannot open the pty");
        TargetLink* link = link_connect("COM50: 115200");
        if (!link) {
            close(fd);
            return fail(&sim, "cannot connect");
        }
        Side l, r;
        bool ok = true;
        for (int block = 0; ok && block < BLOCKS; ++block) {
            bool raw_first = (block + round) % 2 == 0;
            ok = (!raw_first || raw_block(fd, EXCHANGES / BLOCKS, &r)) && link_block(link, EXCHANGES / BLOCKS, &l) &&
                 (raw_first || raw_block(fd, EXCHANGES / BLOCKS, &r));
        }
        double share = ok ? idle_share(link) : -1;
        link_close(&link);
        close(fd);
        if (!ok || share < 0) return fail(&sim, "an exchange failed");
        double l99 = percentile(l.times_us, 0.99), r99 = percentile(r.times_us, 0.99);
        link_rates.push_back(l.rate());
        raw_rates.push_back(r.rate());
        ratios.push_back(l.rate() / r.rate());
        added_us.push_back(l99 - r99);
        idle.push_back(share);
        std::printf("round %d: link %.0f/s p99 %.0f us, raw %.0f/s p99 %.0f us, idle wait cpu %.3f%%\n", round,
                    l.rate(), l99, r.rate(), r99, share * 100);
    }
    sim_stop(&sim);
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("link exchanges per s: %.0f\n", median(link_rates));
    std::printf("raw exchanges per s: %.0f\n", median(raw_rates));
    std::printf("peak rss kib: %ld\n", u.ru_maxrss);
    std::printf("exchange ratio link/raw: %.2f\n", median(ratios));
    std::printf("reply latency added p99 us: %.0f\n", median(added_us));
    std::printf("idle wait cpu: %.3f%%\n", median(idle) * 100);
    return network_figures();
}
