// zorv-sim as a child process: spawn, wait for its pty, stop, read its trace.
#include "tests/integration/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/ports.h"

#ifndef ZORV_SIM_PATH
#error ZORV_SIM_PATH must name the zorv-sim executable
#endif

namespace {
std::atomic<int> g_counter{0};

char g_temp_dir[4096];  // plain storage: read by atexit and the watchdog, never freed

void remove_temp_dir() {
    if (!g_temp_dir[0]) return;
    std::error_code ignored;
    std::filesystem::remove_all(g_temp_dir, ignored);
}
}  // namespace

const std::string& test_temp_dir() {
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/zorv-test-XXXXXX";
        if (pattern.size() >= sizeof g_temp_dir || !mkdtemp(&pattern[0])) return std::string();
        std::snprintf(g_temp_dir, sizeof g_temp_dir, "%s", pattern.c_str());
        std::atexit(remove_temp_dir);
        return pattern;
    }();
    return dir;
}

void test_runtime_dir() {
    const char* set = std::getenv("XDG_RUNTIME_DIR");
    if ((set && *set) || test_temp_dir().empty()) return;
    std::string dir = test_temp_dir() + "/runtime";
    if (mkdir(dir.c_str(), 0700) == 0) setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

bool sim_start(SimProcess* sim, int port, const std::vector<std::string>& args) {
    if (test_temp_dir().empty()) return false;
    std::string base = test_temp_dir() + "/sim-" + std::to_string(g_counter++);
    sim->link_path = base + ".tty";
    sim->log_path = base + ".log";
    // Everything the child needs is built before fork: other threads (the
    // watchdog) may hold the allocator's lock at that moment.
    std::vector<std::string> argv_s = {ZORV_SIM_PATH, "--link", sim->link_path, "--log", sim->log_path};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argv_s) argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return false;
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // A test that crashes takes its simulator with it: an orphan would keep the
        // test's output pipe open and stall whoever reads it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    sim->pid = pid;
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{out[0], POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0) continue;
        char buf[256];
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    size_t nl = line.find('\n');
    if (nl == std::string::npos) {
        sim_stop(sim);
        return false;
    }
    sim->slave_path = line.substr(0, nl);
    return ports_assign(port, sim->link_path.c_str()) == 1;
}

bool sim_running(SimProcess* sim) {
    if (sim->pid <= 0) return false;
    int status = 0;
    pid_t r = waitpid(sim->pid, &status, WNOHANG);
    if (r == sim->pid) {
        sim->pid = -1;
        return false;
    }
    return true;
}

void sim_stop(SimProcess* sim) {
    if (sim->pid > 0) {
        kill(sim->pid, SIGTERM);
        for (int i = 0; i < 200 && sim_running(sim); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (sim->pid > 0) {
            kill(sim->pid, SIGKILL);
            waitpid(sim->pid, nullptr, 0);
            sim->pid = -1;
        }
    }
    if (!sim->link_path.empty()) unlink(sim->link_path.c_str());
    if (!sim->log_path.empty()) unlink(sim->log_path.c_str());
}

std::string sim_log(const SimProcess* sim) {
    std::ifstream f(sim->log_path);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void watchdog_arm(unsigned seconds) {
    static std::atomic<bool> armed{false};
    if (armed.exchange(true)) return;
    std::thread([seconds] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        std::fprintf(stderr, "watchdog: test binary ran longer than %u s\n", seconds);
        remove_temp_dir();
        std::_Exit(3);
    }).detach();
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
