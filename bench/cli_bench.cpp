// Measures, side by side in one run against zorv-sim: lines per second of
// zorvtalk-cli running a 100,000-line file, against the link's own exchange rate in
// this process, median of rounds; and the same with every reply judged by --fail-on.
// The runner's connect (reset and greeting) is taken out by also timing a one-line file.
// What writing each reply at once costs: the runner's lines per CPU second into a pipe
// read as it comes, and into a file, against --quiet (no reply written), in the same
// rounds.
// First, what judging a reply can cost at worst (match_cost.cpp).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "link/link.h"
#include "tests/integration/sim_process.h"

#ifndef ZORV_CLI_PATH
#error ZORV_CLI_PATH must name the zorvtalk-cli executable
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr int LINES = 100000;
constexpr int ROUNDS = 3;

double link_rate(int lines) {
    TargetLink* link = link_connect("COM51: 115200");
    if (!link) return 0;
    char reply[256];
    auto t = Clock::now();
    for (int i = 0; i < lines; ++i)
        if (!link_exchange(link, "ok", reply)) {
            link_close(&link);
            return 0;
        }
    double rate = lines / seconds_since(t);
    link_close(&link);
    return rate;
}

// Wall seconds of one zorvtalk-cli run over file, its replies into out, or into a
// pipe that this process drains when out is "|"; -1 on failure. extra: one more
// option and its value, or "--quiet".
// *cpu: the run's own CPU seconds, which a busy machine disturbs less than wall time.
double cli_seconds(const std::string& device, const std::string& file, const std::string& out,
                   const char* extra = nullptr, const char* value = nullptr, double* cpu = nullptr) {
    int drain[2] = {-1, -1};
    if (out == "|" && pipe(drain) != 0) return -1;
    auto t = Clock::now();
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int fd = out == "|" ? drain[1] : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) _exit(126);
        dup2(fd, 1);
        close(fd);
        if (drain[0] >= 0) close(drain[0]);
        execl(ZORV_CLI_PATH, ZORV_CLI_PATH, "--port", device.c_str(), "--baud", "115200", "--file", file.c_str(),
              extra, value, static_cast<char*>(nullptr));
        _exit(127);
    }
    if (drain[0] >= 0) {
        close(drain[1]);
        char buf[65536];
        while (read(drain[0], buf, sizeof buf) > 0) {
        }
        close(drain[0]);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    double s = seconds_since(t);
    if (cpu)
        *cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

void print_match_costs();

int main() {
    watchdog_arm(600);
    print_match_costs();
    SimProcess sim;
    if (!sim_start(&sim, 51)) {
        std::fprintf(stderr, "cannot start zorv-sim\n");
        return 1;
    }
    std::string base = test_temp_dir() + "/cli-bench";
    std::string many = base + ".many", one = base + ".one", out = base + ".out";
    {
        std::ofstream f(many, std::ios::binary);
        for (int i = 0; i < LINES; ++i) f << "ok\n";
        std::ofstream(one, std::ios::binary) << "ok\n";
    }
    // Each round brackets the runner's run with two half-length link runs, so that a
    // change of load on the machine during the round falls on both sides alike.
    std::vector<double> link_rates, cli_rates, ratios, judged_rates, judged_ratios, piped_ratios, file_ratios;
    bool failed = false;
    for (int round = 0; round < ROUNDS && !failed; ++round) {
        double before = link_rate(LINES / 2);
        double whole_cpu = 0, quiet_cpu = 0, piped_cpu = 0;
        double whole = cli_seconds(sim.link_path, many, out, nullptr, nullptr, &whole_cpu);
        double judged = cli_seconds(sim.link_path, many, out, "--fail-on", "^ERR [0-9]+");
        double quiet = cli_seconds(sim.link_path, many, out, "--quiet", nullptr, &quiet_cpu);
        double piped = cli_seconds(sim.link_path, many, "|", nullptr, nullptr, &piped_cpu);
        double after = link_rate(LINES / 2);
        double connect = cli_seconds(sim.link_path, one, out);
        if (before <= 0 || after <= 0 || whole < 0 || judged < 0 || quiet < 0 || piped < 0 || connect < 0 ||
            whole <= connect || judged <= connect || quiet <= connect || piped <= connect) {
            failed = true;
            break;
        }
        double link = 2 / (1 / before + 1 / after);
        link_rates.push_back(link);
        cli_rates.push_back((LINES - 1) / (whole - connect));
        ratios.push_back(cli_rates.back() / link);
        judged_rates.push_back((LINES - 1) / (judged - connect));
        judged_ratios.push_back(judged_rates.back() / link);
        file_ratios.push_back(quiet_cpu / whole_cpu);
        piped_ratios.push_back(quiet_cpu / piped_cpu);
        std::printf("round %d: link %.0f/s (%.0f before, %.0f after), cli %.0f/s (run %.2f s, connect %.2f s), "
                    "cli --fail-on %.0f/s\n",
                    round + 1, link, before, after, cli_rates.back(), whole, connect, judged_rates.back());
    }
    sim_stop(&sim);
    std::remove(many.c_str());
    std::remove(one.c_str());
    std::remove(out.c_str());
    if (failed) {
        std::fprintf(stderr, "a round failed\n");
        return 1;
    }
    double link_median = median(link_rates), cli_median = median(cli_rates);
    std::printf("link exchanges per s: %.0f\n", link_median);
    std::printf("cli lines per s: %.0f\n", cli_median);
    std::printf("cli/link ratio: %.2f\n", median(ratios));
    std::printf("cli --fail-on lines per s: %.0f\n", median(judged_rates));
    std::printf("cli --fail-on/link ratio: %.2f\n", median(judged_ratios));
    std::printf("cli lines per CPU second, replies written at once to a file / --quiet: %.2f\n",
                median(file_ratios));
    std::printf("cli lines per CPU second, replies written at once to a pipe / --quiet: %.2f\n",
                median(piped_ratios));
    return 0;
}
