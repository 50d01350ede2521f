// The link through the real Win32 serial layer against zorv-sim, which Wine maps to
// COM ports (tests/wine/with-sims starts one simulator per port, options as below):
// exchanges, cut long replies, control bytes, reports, pins, bounded mid-line waits,
// hang-ups seen through a failing ClearCommError, and a close from a nested handler.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/ports.h"
#include "platform/serial.h"

namespace {

// Simulators by COM number; keep in step with tests/wine/wine_tests.cmake.
constexpr int PORT_PLAIN = 11, PORT_CRLF = 12, PORT_STALL = 13, PORT_GARBAGE = 14, PORT_HANGUP_EXCHANGE = 15,
              PORT_HANGUP_REPORT = 16, PORT_HANGUP_PINS = 17, PORT_GREETING_OK = 18, PORT_GREETING_NONE = 19,
              PORT_PACED = 20;

using Clock = std::chrono::steady_clock;

std::function<void()> g_hook;
int hook_dispatch() {
    if (g_hook) {
        auto hook = g_hook;  // the hook may replace itself
        hook();
    }
    return 0;
}

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

double cpu_seconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

std::string sim_log(int port) {
    const char* dir = std::getenv("ZORV_SIM_DIR");
    if (!dir) return std::string();
    std::ifstream in(std::string(dir) + "\\com" + std::to_string(port) + ".log", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string connect_string(int port, int baud = 115200) {
    return "COM" + std::to_string(port) + ": " + std::to_string(baud);
}

class WineSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_hook = nullptr;
        platform_set_dispatch(hook_dispatch);
    }
    void TearDown() override {
        g_hook = nullptr;
        platform_set_dispatch(nullptr);
        link_close(&link);
    }
    void connect(int port, int baud = 115200) {
        link = link_connect(connect_string(port, baud).c_str());
        ASSERT_NE(link, nullptr) << "COM" << port;
    }
    std::string exchange(const char* command, int* result = nullptr) {
        char reply[256];
        std::memset(reply, 'X', sizeof reply);
        int r = link_exchange(link, command, reply);
        if (result) *result = r;
        return reply;
    }
    TargetLink* link = nullptr;
};

TEST(WinePorts, TheRegistryListsTheMappedPorts) {
    std::vector<std::string> seen;
    auto collect = [](const char* port, const char* device, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(std::string(port) + " (" + device + ")");
    };
    int n = ports_list_system(collect, &seen);
    EXPECT_EQ(n, static_cast<int>(seen.size()));
    bool found = false;
    for (const std::string& s : seen) found = found || s.rfind("COM11 (", 0) == 0;
    EXPECT_TRUE(found) << "COM11 missing from HARDWARE\\DEVICEMAP\\SERIALCOMM";

    char path[32];
    ASSERT_EQ(ports_device_path(12, path, sizeof path), 1);
    EXPECT_STREQ(path, "\\\\.\\COM12");
    EXPECT_EQ(ports_device_path(12, path, 9), 0);  // does not fit
    EXPECT_EQ(serial_open(99), nullptr);            // no such port
}

TEST_F(WineSimTest, ExchangesAndCutsLongReplies) {
    connect(PORT_PLAIN);
    const struct {
        const char* command;
        int result;
        std::string reply;
    } cases[] = {
        {"echo hello world", 1, "hello world"},
        {"ok", 1, "ok"},
        {"", 1, ""},
        {"ECHO \x80\xff", 1, "\x80\xff"},
        {"len 300", 1, std::string(255, 'a')},
        {"ok", 1, "ok"},  // the rest of the long line was consumed
        {"len 1000", 1, std::string(255, 'a')},
        {"no-such-command", 1, "ERR unknown command: no-such-command"},
    };
    for (const auto& c : cases) {
        int r = -1;
        EXPECT_EQ(exchange(c.command, &r), c.reply) << c.command;
        EXPECT_EQ(r, c.result) << c.command;
    }
}

// Windows' serial drivers refuse a second open (share mode 0); Wine does not, so only
// the release is checked here.
TEST_F(WineSimTest, PortIsReleasedOnClose) {
    connect(PORT_PLAIN);
    link_close(&link);
    connect(PORT_PLAIN);
    EXPECT_EQ(exchange("ok"), "ok");
}

TEST_F(WineSimTest, GreetingMustBeALoneCr) {
    const struct {
        int port;
        bool connects;
    } cases[] = {{PORT_PLAIN, true}, {PORT_GREETING_OK, false}, {PORT_GREETING_NONE, false}};
    for (const auto& c : cases) {
        auto t = Clock::now();
        link = link_connect(connect_string(c.port).c_str());
        EXPECT_EQ(link != nullptr, c.connects) << c.port;
        EXPECT_LT(seconds_since(t), 5.0) << c.port;
        link_close(&link);
        // Nothing stays open: the port can be opened again at once.
        link = link_open_port(c.port, 115200);
        EXPECT_NE(link, nullptr) << c.port;
        link_close(&link);
    }
}

TEST_F(WineSimTest, CrLfRepliesLeaveTheLfAtTheHead) {
    connect(PORT_CRLF);
    int r = -1;
    EXPECT_EQ(exchange("ok", &r), "");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(link_peek(link), 0x0A);
}

TEST_F(WineSimTest, StallMidLineFailsWithinTheLineTimeout) {
    connect(PORT_STALL);
    EXPECT_EQ(exchange("echo first"), "first");
    auto t = Clock::now();
    int r = -1;
    EXPECT_EQ(exchange("echo second reply", &r), "");
    EXPECT_EQ(r, 0);
    EXPECT_GE(seconds_since(t), 1.9);
    EXPECT_LT(seconds_since(t), 3.5);
}

TEST_F(WineSimTest, GarbageNeverHangs) {
    connect(PORT_GARBAGE);
    int good = 0;
    auto t = Clock::now();
    for (int i = 0; i < 30; ++i) {
        int r = 0;
        std::string reply = exchange("echo x", &r);
        if (r && !reply.empty() && reply.back() == 'x') ++good;
        if (!r) {
            uint8_t b;
            uint32_t n;
            link_read(link, &b, 1, &n);  // a control byte at the head blocks the line
        }
    }
    EXPECT_GT(good, 0);
    EXPECT_LT(seconds_since(t), 20.0);
}

TEST_F(WineSimTest, RateSetThroughSetCommStateReachesTheLine) {
    connect(PORT_PACED, 9600);
    auto t = Clock::now();
    EXPECT_EQ(exchange("len 100"), std::string(100, 'a'));
    EXPECT_GT(seconds_since(t), 0.09);  // 101 bytes at 960 bytes/s
}

TEST_F(WineSimTest, ControlBytesDuringACommand) {
    connect(PORT_PLAIN);
    auto t = Clock::now();
    int step = 0;
    g_hook = [&] {
        double s = seconds_since(t);
        if (step == 0 && s > 0.1) {
            EXPECT_EQ(link_pause(link), 1);
            ++step;
        } else if (step == 1 && s > 0.3) {
            EXPECT_EQ(link_continue(link), 1);
            ++step;
        } else if (step == 2 && s > 0.4) {
            EXPECT_EQ(link_stop(link), 1);
            ++step;
        }
    };
    EXPECT_EQ(exchange("run 60000"), "stopped");
    EXPECT_LT(seconds_since(t), 2.0);
    std::string log = sim_log(PORT_PLAIN);
    EXPECT_NE(log.find("ctrl 02"), std::string::npos) << log;
    EXPECT_NE(log.find("ctrl 03"), std::string::npos) << log;
}

TEST_F(WineSimTest, StatusReportsWhileAMoveRuns) {
    connect(PORT_PLAIN);
    int16_t q = 0;
    int32_t x = 0, y = 0, z = 0, w = 0;
    EXPECT_EQ(exchange("pos 0 0 0 0"), "ok");
    EXPECT_EQ(exchange("set q -2"), "ok");
    EXPECT_EQ(link_query_report(link, &q, &x, &y, &z, &w), 1);
    EXPECT_EQ(q, -2);
    EXPECT_EQ(x, 0);
    std::vector<int32_t> seen;
    auto t = Clock::now();
    g_hook = [&] {
        if (seen.size() < 3 && seconds_since(t) > 0.2 * static_cast<double>(seen.size() + 1)) {
            int32_t xs = 0;
            auto saved = g_hook;
            g_hook = nullptr;
            if (link_query_report(link, nullptr, &xs, nullptr, nullptr, nullptr)) seen.push_back(xs);
            g_hook = saved;
        }
    };
    EXPECT_EQ(exchange("move x 100000 1000"), "done");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_GT(seen[0], 0);
    EXPECT_LT(seen[0], seen[1]);
    EXPECT_LT(seen[1], seen[2]);
    EXPECT_LT(seen[2], 100000);
}

TEST_F(WineSimTest, PinPortsRoundTrip) {
    connect(PORT_PLAIN);
    const struct {
        uint8_t data, control;
    } cases[] = {{0xA5, 0x0F}, {0x00, 0x00}, {0x0D, 0x01}, {0x12, 0x03}, {0xFF, 0xFA}};
    for (const auto& c : cases) {
        uint8_t d = 0, s = 0, k = 0;
        ASSERT_EQ(link_pin_transaction(link, &c.data, nullptr, &c.control, &d, &s, &k), 1);
        EXPECT_EQ(d, c.data);
        EXPECT_EQ(s, static_cast<uint8_t>(((c.data & 0x1F) << 3) ^ 0x80));
        EXPECT_EQ(k, c.control & 0x0F);
    }
    EXPECT_EQ(exchange("pins"), "data=FF status=78 control=0A");
}

// The simulator closes its side 200 ms after its second reply, while the link waits
// in each kind of wait: ClearCommError fails, the wait ends, nothing spins after.
TEST_F(WineSimTest, HangUpEndsEveryWait) {
    const struct {
        int port;
        const char* kind;
    } cases[] = {{PORT_HANGUP_EXCHANGE, "exchange"}, {PORT_HANGUP_REPORT, "report"}, {PORT_HANGUP_PINS, "pins"}};
    for (const auto& c : cases) {
        connect(c.port);
        EXPECT_EQ(exchange("ok"), "ok");
        EXPECT_EQ(exchange("ok"), "ok");
        auto t = Clock::now();
        int r = -1;
        if (std::strcmp(c.kind, "exchange") == 0) {
            r = link_exchange(link, "run 60000", nullptr);
        } else if (std::strcmp(c.kind, "report") == 0) {
            // Reports still come until the simulator has gone; one of them waits then.
            for (int i = 0; i < 1000 && r != 0; ++i)
                r = link_query_report(link, nullptr, nullptr, nullptr, nullptr, nullptr);
        } else {
            uint8_t a = 0;
            for (int i = 0; i < 1000 && r != 0; ++i) r = link_pin_transaction(link, nullptr, nullptr, nullptr, &a, nullptr, nullptr);
        }
        EXPECT_EQ(r, 0) << c.kind;
        EXPECT_LT(seconds_since(t), 3.0) << c.kind;
        double cpu = cpu_seconds();
        auto t2 = Clock::now();
        for (int i = 0; i < 100; ++i) EXPECT_EQ(link_exchange(link, "ok", nullptr), 0);
        EXPECT_LT(seconds_since(t2), 0.5) << c.kind;
        EXPECT_EQ(link_healthy(link), 0);
        EXPECT_EQ(link_bytes_waiting(link), 0u);
        EXPECT_LT(cpu_seconds() - cpu, 0.5) << c.kind;
        link_close(&link);
    }
}

TEST_F(WineSimTest, CloseFromTheDispatchHookDuringAWait) {
    connect(PORT_PLAIN);
    auto t = Clock::now();
    g_hook = [&] {
        if (seconds_since(t) > 0.2) {
            g_hook = nullptr;
            link_stop(link);
            link_close(&link);
        }
    };
    char reply[256] = "junk";
    TargetLink* held = link;  // the caller's own copy, as a frame up the stack has
    EXPECT_EQ(link_exchange(held, "run 60000", reply), 0);
    EXPECT_STREQ(reply, "");
    EXPECT_EQ(link, nullptr);
    EXPECT_LT(seconds_since(t), 1.0);
    connect(PORT_PLAIN);  // the port was released at once
    EXPECT_EQ(exchange("ok"), "ok");
}

TEST_F(WineSimTest, WaitingCostsLittleCpu) {
    connect(PORT_PLAIN);
    double cpu = cpu_seconds();
    auto t = Clock::now();
    EXPECT_EQ(exchange("run 1500"), "done");
    double share = (cpu_seconds() - cpu) / seconds_since(t);
    EXPECT_LT(share, 0.10);
}

}  // namespace
