// Starts zorv-sim on a pseudo-terminal for a test or benchmark and stops it
// afterwards; and the two clocks they measure with.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct SimProcess {
    int pid = -1;
    std::string link_path;   // the symlink to the pty slave
    std::string slave_path;  // what the simulator printed
    std::string log_path;    // the simulator's trace of what it received
};

// Starts the simulator with extra arguments, waits (at most 5 s) until it has
// printed its slave path, and maps COM<port> to it. false on failure.
bool sim_start(SimProcess* sim, int port, const std::vector<std::string>& args = {});
// Stops it (SIGTERM, then SIGKILL) and removes its files.
void sim_stop(SimProcess* sim);
// true while the process runs.
bool sim_running(SimProcess* sim);
// The simulator's trace so far.
std::string sim_log(const SimProcess* sim);

// Wall seconds since t, and the CPU seconds (user + system) this process has used.
double seconds_since(std::chrono::steady_clock::time_point t);
double cpu_seconds();

// Fails the whole test binary after seconds, so a hang is reported, not sat out.
void watchdog_arm(unsigned seconds);

// A folder of this process's own under $TMPDIR (or /tmp), made on first use, for
// every file a test or benchmark writes: it is removed with its content when the
// process exits, also through the watchdog. "" when it cannot be made.
const std::string& test_temp_dir();
// Gives XDG_RUNTIME_DIR, when unset, a private folder in test_temp_dir(), so that a
// toolkit does not leave /tmp/runtime-<user> behind. Call before the toolkit starts.
void test_runtime_dir();
