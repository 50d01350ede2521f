// The link through the real POSIX serial layer against zorv-sim on a pty: the host
// part of the shared cases (link_cases.cpp), and what only POSIX does: an exclusive
// port, the reasons a failure gives, a hang-up behind unread input.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <thread>

#include "platform/dispatch.h"
#include "platform/ports.h"
#include "platform/serial.h"
#include "tests/integration/link_cases.h"
#include "tests/integration/sim_hosts.h"

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

// Each simulator straight on its pty.
std::unique_ptr<SimHost> make_sim_host() { return std::make_unique<SimHost>(); }

namespace {

TEST_F(LinkSim, PortIsExclusive) {
    connect(PORT_PLAIN);
    EXPECT_EQ(link_open_port(PORT_PLAIN, 115200), nullptr);
    link_close(&link);
    connect(PORT_PLAIN);
}

// Faults the operator sees as a reason, and the report box's query that gives up.
TEST_F(LinkSim, FailuresSayWhyAndTheReportBoxNeverHangs) {
    // A CR LF controller simply works: the LF where a reply or report would begin is dropped.
    connect(PORT_CRLF);
    char text[200];
    EXPECT_EQ(exchange("ok"), "ok");
    EXPECT_EQ(exchange("echo b"), "b");
    auto t = Clock::now();
    EXPECT_EQ(link_query_report_within(link, 1000, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_LT(seconds_since(t), 0.5);
    link_close(&link);

    connect(PORT_STALL);
    exchange("ok");
    exchange("ok");  // stalls: the sim says nothing from now on
    EXPECT_EQ(link_last_error(text, sizeof text), LINK_ERROR_STALLED);
    EXPECT_STREQ(text, "line stalled for 2 s after \"o\"");
    t = Clock::now();
    EXPECT_EQ(link_query_report_within(link, 1000, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_GT(seconds_since(t), 0.9);
    EXPECT_LT(seconds_since(t), 1.5);
    EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_TIMEOUT);

    // A second open of the same port is refused as busy; a number without a device
    // as missing.
    EXPECT_EQ(link_connect("COM13: 115200"), nullptr);
    EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_BUSY);
    EXPECT_EQ(link_connect("COM43: 115200"), nullptr);
    EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_NO_DEVICE);
}

// Input that sits unread (a stray 0x12 no report was asked for, with a line behind
// it) must not hide a hang-up from the waiting exchange, nor make the wait spin.
// A pty keeps its exclusive flag while its master lives: one left set locks every
// ordinary user out of the next connect. One set by someone else stays theirs.
TEST(RawPty, ExclusiveModeIsLeftAsFound) {
    for (bool set_before : {false, true}) {
        if (set_before && geteuid() != 0) continue;  // only root may open it then
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        int other = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(other, 0);
        if (set_before) ioctl(other, TIOCEXCL);
        ASSERT_EQ(ports_assign(45, ptsname(master)), 1);
        SerialPort* port = serial_open(45);
        ASSERT_NE(port, nullptr) << set_before;
        serial_close(port);
        int exclusive = -1;
        ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, set_before ? 1 : 0);
        close(other);
        close(master);
    }
}

TEST(RawPty, HangUpBehindBufferedInputEndsTheWait) {
    watchdog_arm(60);
    for (bool window : {false, true}) {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        ASSERT_EQ(ports_assign(44, ptsname(master)), 1);
        TargetLink* link = link_open_port(44, 115200);
        ASSERT_NE(link, nullptr);
        const char stray[] = "\x12" "abc\r";
        ASSERT_EQ(write(master, stray, 5), 5);
        if (window) platform_set_wait(host_wait_handle);
        auto t = Clock::now();
        double cpu = cpu_seconds();
        std::thread hang_up([master] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            close(master);
        });
        EXPECT_EQ(link_exchange(link, "x", nullptr), 0);
        hang_up.join();
        EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_PORT_LOST);
        EXPECT_LT(seconds_since(t), 1.5);
        EXPECT_LT(cpu_seconds() - cpu, 0.1) << window;
        platform_set_wait(nullptr);
        link_close(&link);
    }
}

}  // namespace
