// The link against zorv-sim through the real serial layer, one set of cases for both
// platforms (link_cases.cpp). Each platform supplies only the host part below: how a
// simulator comes to be on a COM number, its trace, how to block on a wait handle,
// and the clocks (tests/integration/link_sim_test.cpp, tests/wine/link_wine_test.cpp).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "link/link.h"

// The simulators by COM number. Under Wine tests/wine/wine_tests.cmake starts one per
// entry before the test runs: keep the two in step.
constexpr int PORT_PLAIN = 11, PORT_CRLF = 12, PORT_STALL = 13, PORT_GARBAGE = 14, PORT_HANGUP_EXCHANGE = 15,
              PORT_HANGUP_REPORT = 16, PORT_HANGUP_PINS = 17, PORT_GREETING_OK = 18, PORT_GREETING_NONE = 19,
              PORT_PACED = 20, PORT_STRAY_REPORT_BYTE = 23, PORT_LATE_ECHO = 24, PORT_FLOOD = 25,
              PORT_REPORT_CUT = 26;
struct SimSpec {
    int port;
    const char* options;  // zorv-sim options, blank-separated
};
extern const SimSpec LINK_SIMS[];
extern const int LINK_SIM_COUNT;
// The options for a port, or nullptr.
const char* link_sim_options(int port);

// --- the host part ----------------------------------------------------------------
// Makes COM<port> reach a simulator with its LINK_SIMS options: a fresh one where the
// platform starts them (POSIX), the one started for the run otherwise. false on failure.
bool host_sim_up(int port);
// Ends what host_sim_up started.
void host_sim_down(int port);
// The simulator's trace so far.
std::string host_sim_log(int port);
// Blocks at most ms until the handle (platform/dispatch.h) is ready.
void host_wait_handle(intptr_t handle, uint32_t ms);
double seconds_since(std::chrono::steady_clock::time_point t);
double cpu_seconds();

// --- the fixture ----------------------------------------------------------------------
class LinkSim : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Starts (or finds) the simulator on port and connects to it.
    void connect(int port, int baud = 115200);
    std::string exchange(const char* command, int* result = nullptr);
    // Runs fn at every window event of a wait: the link's waits then wake at least
    // every 10 ms, as in a window whose timer runs. fn may clear itself with
    // on_event(nullptr).
    void on_event(std::function<void()> fn);
    TargetLink* link = nullptr;
    int sim_port = 0;
};
