// The link through the real POSIX serial layer against zorv-sim on a pty:
// exchanges, control bytes, reports, pins, every fault switch and hang-ups.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>
#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/ports.h"
#include "tests/integration/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

std::function<void()> g_hook;
int hook_dispatch() {
    if (g_hook) {
        auto hook = g_hook;  // the hook may replace itself
        hook();
    }
    return 0;
}

class SimTest : public ::testing::Test {
protected:
    static constexpr int PORT = 42;
    void SetUp() override {
        watchdog_arm(240);
        g_hook = nullptr;
        platform_set_dispatch(hook_dispatch);
    }
    void TearDown() override {
        g_hook = nullptr;
        platform_set_dispatch(nullptr);
        link_close(&link);
        sim_stop(&sim);
    }
    void start(const std::vector<std::string>& args = {}) { ASSERT_TRUE(sim_start(&sim, PORT, args)); }
    void connect() {
        link = link_connect("COM42: 115200");
        ASSERT_NE(link, nullptr);
    }
    std::string exchange(const char* command, int* result = nullptr) {
        char reply[256];
        std::memset(reply, 'X', sizeof reply);
        int r = link_exchange(link, command, reply);
        if (result) *result = r;
        return reply;
    }
    SimProcess sim;
    TargetLink* link = nullptr;
};

TEST_F(SimTest, ExchangesAndLongReplies) {
    start();
    connect();
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
        {"len 0", 1, ""},
        {"no-such-command", 1, "ERR unknown command: no-such-command"},
    };
    for (const auto& c : cases) {
        int r = -1;
        EXPECT_EQ(exchange(c.command, &r), c.reply) << c.command;
        EXPECT_EQ(r, c.result) << c.command;
    }
}

TEST_F(SimTest, GreetingVariants) {
    const struct {
        const char* greeting;
        bool connects;
    } cases[] = {{"cr", true}, {"ok", false}, {"none", false}};
    for (const auto& c : cases) {
        start({"--greeting", c.greeting});
        auto t = Clock::now();
        link = link_connect("COM42: 115200");
        EXPECT_EQ(link != nullptr, c.connects) << c.greeting;
        EXPECT_LT(seconds_since(t), 4.0) << c.greeting;
        link_close(&link);
        // Nothing stays open: the port can be opened again at once.
        link = link_open_port(PORT, 115200);
        EXPECT_NE(link, nullptr) << c.greeting;
        link_close(&link);
        sim_stop(&sim);
    }
}

TEST_F(SimTest, PortIsExclusive) {
    start();
    connect();
    EXPECT_EQ(link_open_port(PORT, 115200), nullptr);
    link_close(&link);
    connect();
}

TEST_F(SimTest, CrLfRepliesLeaveTheLfAtTheHead) {
    start({"--crlf"});
    connect();  // CR LF greeting: the CR answers, the LF stays
    int r = -1;
    EXPECT_EQ(exchange("ok", &r), "");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(link_peek(link), 0x0A);
}

TEST_F(SimTest, StallMidLineFailsWithinTheLineTimeout) {
    start({"--stall-after", "2"});
    connect();
    EXPECT_EQ(exchange("echo first"), "first");
    auto t = Clock::now();
    int r = -1;
    EXPECT_EQ(exchange("echo second reply", &r), "");
    EXPECT_EQ(r, 0);
    EXPECT_GE(seconds_since(t), 1.9);
    EXPECT_LT(seconds_since(t), 3.5);
}

TEST_F(SimTest, GarbageNeverHangsOrCrashes) {
    start({"--garbage", "--seed", "7", "--garbage-rate", "50"});
    connect();
    int good = 0;
    auto t = Clock::now();
    for (int i = 0; i < 40; ++i) {
        int r = 0;
        std::string reply = exchange("echo x", &r);
        if (r && reply.size() >= 1 && reply.substr(reply.size() - 1) == "x") ++good;
        if (!r) {
            // A control byte at the head blocks the line: the operator would
            // reconnect; here, drop it and go on.
            uint8_t b;
            uint32_t n;
            link_read(link, &b, 1, &n);
        }
    }
    EXPECT_GT(good, 0);
    EXPECT_LT(seconds_since(t), 20.0);
}

TEST_F(SimTest, PacedLineStillWorks) {
    start({"--pace", "--baud", "9600"});
    link = link_connect("COM42: 9600");
    ASSERT_NE(link, nullptr);
    auto t = Clock::now();
    EXPECT_EQ(exchange("len 100"), std::string(100, 'a'));
    EXPECT_GT(seconds_since(t), 0.09);  // 101 bytes at 960 bytes/s
}

TEST_F(SimTest, ControlBytesDuringACommand) {
    start();
    connect();
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
    std::string log = sim_log(&sim);
    EXPECT_NE(log.find("02"), std::string::npos);
    EXPECT_NE(log.find("03"), std::string::npos);
}

TEST_F(SimTest, StatusReportsWhileAMoveRuns) {
    start();
    connect();
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
            g_hook = nullptr;  // no nesting within the nested query
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
    // A report requested just before a command arrives ahead of its reply.
    EXPECT_EQ(link_request_report(link), 1);
    EXPECT_EQ(exchange("echo after"), "after");
    EXPECT_EQ(link_fetch_report(link, nullptr, &x, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(x, 100000);
}

TEST_F(SimTest, PinPortsRoundTrip) {
    start();
    connect();
    const struct {
        uint8_t data, control;
    } cases[] = {{0xA5, 0x0F}, {0x00, 0x00}, {0x1F, 0x05}, {0xFF, 0xFA}, {0x0D, 0x01}, {0x12, 0x03}};
    for (const auto& c : cases) {
        uint8_t d = 0, s = 0, k = 0;
        ASSERT_EQ(link_pin_transaction(link, &c.data, nullptr, &c.control, &d, &s, &k), 1);
        EXPECT_EQ(d, c.data);
        EXPECT_EQ(s, static_cast<uint8_t>(((c.data & 0x1F) << 3) ^ 0x80));
        EXPECT_EQ(k, c.control & 0x0F);
    }
    EXPECT_EQ(exchange("pins status 58"), "ok");
    uint8_t s = 0;
    ASSERT_EQ(link_pin_transaction(link, nullptr, nullptr, nullptr, nullptr, &s, nullptr), 1);
    EXPECT_EQ(s, 0x58);
    EXPECT_EQ(exchange("pins"), "data=12 status=58 control=03");
}

// The controller goes away while the link waits in each kind of wait: the wait
// ends promptly and nothing spins afterwards.
TEST_F(SimTest, HangUpDuringEveryWait) {
    const char* kinds[] = {"exchange", "report", "pins"};
    for (const char* kind : kinds) {
        start({"--stall-after", "1"});
        connect();
        if (std::strcmp(kind, "exchange") != 0) {
            exchange("ok");  // stalls mid-line: from now on the sim says nothing at all
        }
        auto t = Clock::now();
        bool killed = false;
        g_hook = [&] {
            if (!killed && seconds_since(t) > 0.3) {
                killed = true;
                kill(sim.pid, SIGKILL);
            }
        };
        int r = -1;
        if (std::strcmp(kind, "exchange") == 0) {
            r = link_exchange(link, "run 60000", nullptr);
        } else if (std::strcmp(kind, "report") == 0) {
            r = link_query_report(link, nullptr, nullptr, nullptr, nullptr, nullptr);
        } else {
            uint8_t a = 0;
            r = link_pin_transaction(link, nullptr, nullptr, nullptr, &a, nullptr, nullptr);
        }
        g_hook = nullptr;
        EXPECT_EQ(r, 0) << kind;
        EXPECT_LT(seconds_since(t), 1.3) << kind;
        double cpu = cpu_seconds();
        auto t2 = Clock::now();
        for (int i = 0; i < 100; ++i) EXPECT_EQ(link_exchange(link, "ok", nullptr), 0);
        EXPECT_LT(seconds_since(t2), 0.5) << kind;
        EXPECT_EQ(link_healthy(link), 0);
        EXPECT_LT(cpu_seconds() - cpu, 0.5) << kind;
        link_close(&link);
        sim_stop(&sim);
    }
}

TEST_F(SimTest, HangUpAfterNCommands) {
    start({"--hangup-after", "2"});
    connect();
    EXPECT_EQ(exchange("ok"), "ok");
    EXPECT_EQ(exchange("ok"), "ok");
    auto t = Clock::now();
    int r = -1;
    exchange("ok", &r);
    EXPECT_EQ(r, 0);
    EXPECT_LT(seconds_since(t), 1.0);
}

TEST_F(SimTest, CloseFromTheDispatchHookDuringAWait) {
    start();
    connect();
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
    // The port was released at once: a new connect works.
    connect();
    EXPECT_EQ(exchange("ok"), "ok");
}

// Faults the operator sees as a reason, and the report box's query that gives up.
TEST_F(SimTest, FailuresSayWhyAndTheReportBoxNeverHangs) {
    start({"--crlf"});
    connect();
    char text[200];
    EXPECT_EQ(exchange("ok"), "");
    EXPECT_EQ(link_last_error(text, sizeof text), LINK_ERROR_BAD_START);
    EXPECT_STREQ(text, "reply began with byte 0x0A; does the controller end lines with CR LF?");
    auto t = Clock::now();
    EXPECT_EQ(link_query_report_within(link, 1000, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_LT(seconds_since(t), 0.5);
    link_close(&link);
    sim_stop(&sim);

    start({"--stall-after", "1"});
    connect();
    exchange("ok");  // stalls: the sim says nothing from now on
    EXPECT_EQ(link_last_error(text, sizeof text), LINK_ERROR_STALLED);
    t = Clock::now();
    EXPECT_EQ(link_query_report_within(link, 1000, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_GT(seconds_since(t), 0.9);
    EXPECT_LT(seconds_since(t), 1.5);
    EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_TIMEOUT);

    // A second open of the same port is refused as busy; a number without a device
    // as missing.
    EXPECT_EQ(link_connect("COM42: 115200"), nullptr);
    EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_BUSY);
    EXPECT_EQ(link_connect("COM43: 115200"), nullptr);
    EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_NO_DEVICE);
}

// Input that sits unread (a stray 0x12 no report was asked for, with a line behind
// it) must not hide a hang-up from the waiting exchange.
TEST(RawPty, HangUpBehindBufferedInputEndsTheWait) {
    watchdog_arm(60);
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    ASSERT_EQ(ports_assign(44, ptsname(master)), 1);
    TargetLink* link = link_open_port(44, 115200);
    ASSERT_NE(link, nullptr);
    const char stray[] = "\x12" "abc\r";
    ASSERT_EQ(write(master, stray, 5), 5);
    auto t = Clock::now();
    std::function<void()> hang_up = [&] {
        if (master >= 0 && seconds_since(t) > 0.2) {
            close(master);
            master = -1;
        }
    };
    g_hook = hang_up;
    platform_set_dispatch(hook_dispatch);
    EXPECT_EQ(link_exchange(link, "x", nullptr), 0);
    EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_PORT_LOST);
    EXPECT_LT(seconds_since(t), 1.5);
    g_hook = nullptr;
    platform_set_dispatch(nullptr);
    link_close(&link);
    if (master >= 0) close(master);
}

TEST_F(SimTest, IdleWaitCostsLittleCpu) {
    start();
    connect();
    double cpu = cpu_seconds();
    auto t = Clock::now();
    EXPECT_EQ(exchange("run 1500"), "done");
    double wall = seconds_since(t);
    double share = (cpu_seconds() - cpu) / wall;
    EXPECT_LT(share, 0.10);  // the benchmark holds the real target; this catches a spin
}

}  // namespace
