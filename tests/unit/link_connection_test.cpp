// Connect-string rules, opening, reset and greeting, and the byte primitives.
#include <gtest/gtest.h>

#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/serial.h"
#include "tests/unit/fake_serial.h"

namespace {

class LinkConnection : public ::testing::Test {
protected:
    void SetUp() override { fake_serial_reset(); }
    void TearDown() override { link_close(&link); }
    TargetLink* link = nullptr;
};

struct ParseCase {
    const char* text;
    int ok, port, baud;
};

TEST(ConnectString, ReadsPortAndBaud) {
    const ParseCase cases[] = {
        {"COM5: 115200", 1, 5, 115200},
        {"COM12", 1, 12, 921600},
        {"COM3: 0", 1, 3, 921600},
        {"COM05: 9600", 1, 5, 9600},
        {"x\xb3y7 z 300 44", 1, 7, 300},
        {"", 0, 0, 0},
        {nullptr, 0, 0, 0},
        {"COM0: 9600", 0, 0, 0},
        {"no digits", 0, 0, 0},
        {"COM99999999999: 9600", 0, 0, 0},
        {"COM3: 99999999999", 0, 0, 0},
        {"COM2147483647: 2147483647", 1, 2147483647, 2147483647},
    };
    for (const auto& c : cases) {
        int port = -1, baud = -1;
        EXPECT_EQ(link_parse_connect_string(c.text, &port, &baud), c.ok) << (c.text ? c.text : "(null)");
        if (c.ok) {
            EXPECT_EQ(port, c.port) << c.text;
            EXPECT_EQ(baud, c.baud) << c.text;
        }
    }
}

TEST_F(LinkConnection, GreetsResetsAndSucceedsOnCr) {
    fake_serial().on_write = [](const std::vector<uint8_t>&) { fake_push("\r"); };
    link = link_connect("COM5: 115200");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(fake_serial().opened_port, 5);
    EXPECT_EQ(fake_serial().configured_baud, 115200);
    EXPECT_EQ(fake_serial().escapes, (std::vector<int>{SERIAL_CLRRTS, SERIAL_SETDTR, SERIAL_CLRDTR}));
    EXPECT_EQ(fake_serial().purge_count, 1);
    EXPECT_EQ(fake_serial().slept_ms, 1100u);
    EXPECT_EQ(fake_serial().output, (std::vector<uint8_t>{'A', 0x0D}));
}

TEST_F(LinkConnection, BytesAfterTheGreetingStayUnread) {
    fake_serial().on_write = [](const std::vector<uint8_t>&) { fake_push("\rXY"); };
    link = link_connect("COM1");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link_peek(link), 'X');
}

TEST_F(LinkConnection, FailedHandshakesCloseThePort) {
    struct Case {
        const char* name;
        std::function<void()> setup;
    };
    const Case cases[] = {
        {"answers OK", [] { fake_serial().on_write = [](const std::vector<uint8_t>&) { fake_push("OK\r"); }; }},
        {"silent", [] {}},
        {"write fails", [] { fake_serial().write_limit = 0; }},
        {"configure fails", [] { fake_serial().configure_fails = true; }},
        {"port lost", [] { fake_serial().on_write = [](const std::vector<uint8_t>&) { fake_serial().lost = true; }; }},
    };
    for (const auto& c : cases) {
        fake_serial_reset();
        c.setup();
        EXPECT_EQ(link_connect("COM2: 9600"), nullptr) << c.name;
        EXPECT_EQ(fake_serial().open_count, fake_serial().close_count) << c.name;
    }
}

TEST_F(LinkConnection, SilentControllerWaitsAThousandPolls) {
    EXPECT_EQ(link_connect("COM2: 9600"), nullptr);
    EXPECT_GE(fake_serial().slept_ms, 1100u + 1000u);
    EXPECT_LE(fake_serial().slept_ms, 1100u + 1010u);
}

TEST_F(LinkConnection, StretchedIdleWaitsDoNotStretchTheHandshake) {
    platform_set_wait([](intptr_t, uint32_t) {
        fake_serial().now_ms += 10;
        fake_serial().slept_ms += 10;
    });
    EXPECT_EQ(link_connect("COM2: 9600"), nullptr);
    EXPECT_LE(fake_serial().slept_ms, 1100u + 1010u);
    platform_set_wait(nullptr);
}

// A box opened inside the greeting wait holds it past the second; the answer that
// came meanwhile still counts.
TEST_F(LinkConnection, AnswerThatCameDuringALongNestedWaitCounts) {
    fake_serial().on_write = [](const std::vector<uint8_t>&) {};
    platform_set_wait([](intptr_t, uint32_t) {
        fake_serial().now_ms += 3000;
        fake_push("\r");
    });
    TargetLink* link = link_connect("COM2: 9600");
    EXPECT_NE(link, nullptr);
    link_close(&link);
    platform_set_wait(nullptr);
}

TEST_F(LinkConnection, NothingIsOpenedForBadNumbers) {
    const char* texts[] = {"", "COM0: 9600", "none"};
    for (const char* t : texts) EXPECT_EQ(link_connect(t), nullptr) << t;
    EXPECT_EQ(link_connect(nullptr), nullptr);
    EXPECT_EQ(link_open_port(0, 9600), nullptr);
    EXPECT_EQ(link_open_port(3, 0), nullptr);
    EXPECT_EQ(fake_serial().open_count, 0);
}

TEST_F(LinkConnection, PeekHoldsOneByteUntilRead) {
    link = link_open_port(1, 9600);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link_peek(link), -1);
    fake_push("ab");
    EXPECT_EQ(link_peek(link), 'a');
    EXPECT_EQ(link_peek(link), 'a');
    EXPECT_EQ(link_bytes_waiting(link), 1u);
    uint8_t buf[2] = {};
    uint32_t got = 0;
    EXPECT_EQ(link_read(link, buf, 1, &got), 1);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(link_peek(link), 'b');
    fake_push("c");
    EXPECT_EQ(link_read(link, buf, 2, &got), 1);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buf[0], 'b');
    EXPECT_EQ(buf[1], 'c');
}

TEST_F(LinkConnection, NullAndEmptyArgumentsFail) {
    uint8_t b = 0;
    uint32_t n = 7;
    EXPECT_EQ(link_read(nullptr, &b, 1, &n), 0);
    EXPECT_EQ(n, 0u);
    link = link_open_port(1, 9600);
    n = 7;
    EXPECT_EQ(link_read(link, &b, 0, &n), 0);
    EXPECT_EQ(n, 0u);
    n = 7;
    EXPECT_EQ(link_write(nullptr, &b, 1, &n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(link_peek(nullptr), -1);
    EXPECT_EQ(link_bytes_waiting(nullptr), 0u);
    EXPECT_EQ(link_healthy(nullptr), 0);
    TargetLink* none = nullptr;
    link_close(&none);
    link_close(nullptr);
    link_close(&link);
    EXPECT_EQ(link, nullptr);
    EXPECT_EQ(fake_serial().close_count, 1);
}

TEST_F(LinkConnection, HealthReportsEachErrorOnce) {
    link = link_open_port(1, 9600);
    fake_serial().pending_errors = 1;
    EXPECT_EQ(link_healthy(link), 0);
    EXPECT_EQ(link_healthy(link), 1);
    fake_serial().pending_errors = 1;
    EXPECT_EQ(link_bytes_waiting(link), 0u);  // keeps the error for the health check
    EXPECT_EQ(link_healthy(link), 0);
    EXPECT_EQ(link_healthy(link), 1);
    fake_serial().lost = true;
    EXPECT_EQ(link_healthy(link), 0);
    EXPECT_EQ(link_healthy(link), 0);
}

}  // namespace
