// Measures, side by side in one run against zorv-sim: command exchanges per second
// through the link versus a plain write/poll/read loop on the same kind of pty, the
// CPU the link spends while it waits for a long command, and the peak RSS.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "link/link.h"
#include "tests/integration/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int EXCHANGES = 3000;
constexpr int ROUNDS = 3;

double link_rate(TargetLink* link) {
    char reply[256];
    auto t = Clock::now();
    for (int i = 0; i < EXCHANGES; ++i)
        if (!link_exchange(link, "ok", reply)) return 0;
    return EXCHANGES / seconds_since(t);
}

double raw_rate(const char* path) {
    int fd = open(path, O_RDWR | O_NOCTTY);
    if (fd < 0) return 0;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B115200);
    tcsetattr(fd, TCSANOW, &t);
    char buf[256];
    auto start = Clock::now();
    for (int i = 0; i < EXCHANGES; ++i) {
        if (write(fd, "ok\r", 3) != 3) break;
        bool done = false;
        while (!done) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) {
                close(fd);
                return 0;
            }
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) {
                close(fd);
                return 0;
            }
            done = std::memchr(buf, '\r', static_cast<size_t>(n)) != nullptr;
        }
    }
    double rate = EXCHANGES / seconds_since(start);
    close(fd);
    return rate;
}

}  // namespace

int main() {
    SimProcess sim;
    if (!sim_start(&sim, 50)) {
        std::fprintf(stderr, "cannot start zorv-sim\n");
        return 1;
    }
    std::vector<double> link_rates, raw_rates;
    for (int round = 0; round < ROUNDS; ++round) {
        TargetLink* link = link_connect("COM50: 115200");
        if (!link) {
            std::fprintf(stderr, "cannot connect\n");
            sim_stop(&sim);
            return 1;
        }
        link_rates.push_back(link_rate(link));
        link_close(&link);
        raw_rates.push_back(raw_rate(sim.link_path.c_str()));
        std::printf("round %d: link %.0f/s, raw %.0f/s\n", round + 1, link_rates.back(), raw_rates.back());
    }
    std::sort(link_rates.begin(), link_rates.end());
    std::sort(raw_rates.begin(), raw_rates.end());
    double link_median = link_rates[ROUNDS / 2], raw_median = raw_rates[ROUNDS / 2];

    TargetLink* link = link_connect("COM50: 115200");
    double cpu_share = -1;
    if (link) {
        double cpu = cpu_seconds();
        auto t = Clock::now();
        char reply[256];
        link_exchange(link, "run 3000", reply);
        cpu_share = (cpu_seconds() - cpu) / seconds_since(t);
        link_close(&link);
    }
    sim_stop(&sim);
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("link exchanges per s: %.0f\n", link_median);
    std::printf("raw exchanges per s: %.0f\n", raw_median);
    std::printf("peak rss kib: %ld\n", u.ru_maxrss);
    std::printf("exchange ratio link/raw: %.2f\n", raw_median > 0 ? link_median / raw_median : 0.0);
    std::printf("idle wait cpu: %.2f%%\n", cpu_share * 100);
    return 0;
}
