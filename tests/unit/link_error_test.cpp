// Why an operation failed, and the report query that gives up in time.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/serial.h"
#include "tests/unit/fake_serial.h"

namespace {

// The owner's reference, closed from inside the wait as the window does.
TargetLink** g_closing = nullptr;
int close_in_dispatch() {
    if (g_closing) link_close(g_closing);
    return 1;
}

void failing_open(int why, const char* path) {
    fake_serial().open_fails = true;
    fake_serial().open_error = why;
    fake_serial().open_path = path;
}

class Reasons : public ::testing::Test {
protected:
    void SetUp() override { fake_serial_reset(); }
    void TearDown() override {
        platform_set_dispatch(nullptr);
        link_close(&link);
    }
    std::string last(int* code = nullptr) {
        char text[200];
        int c = link_last_error(text, sizeof text);
        if (code) *code = c;
        return text;
    }
    TargetLink* link = nullptr;
};

// The controller's answer to the next command line.
void answer(const char* text) {
    std::string wire = text;
    fake_serial().on_write = [wire](const std::vector<uint8_t>& w) {
        if (!w.empty() && w.back() == 0x0D) fake_push(std::vector<uint8_t>(wire.begin(), wire.end()));
    };
}

TEST_F(Reasons, FailedExchangesSayWhy) {
    const struct {
        const char* name;
        std::function<void()> fault;  // applied after connecting
        int code;
        const char* text;
    } cases[] = {
        {"space first", [] { answer(" ok\r"); }, LINK_ERROR_BAD_START, "reply began with byte 0x20: \" ok\""},
        {"noise first", [] { answer("\x0b\"\\\r"); }, LINK_ERROR_BAD_START,
         "reply began with byte 0x0B: \"\\x0b\\x22\\x5c\""},
        {"stall", [] { answer("hello "); }, LINK_ERROR_STALLED, "line stalled for 2 s after \"hello \""},
        {"long stall, cut to a screen line", [] { answer(std::string(100, 'h').c_str()); }, LINK_ERROR_STALLED,
         "line stalled for 2 s after \"hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh...\" (100 bytes)"},
        {"hang-up while waiting",
         [] { fake_serial().on_time = [](uint64_t now) { fake_serial().lost = now > 1200; }; },
         LINK_ERROR_PORT_LOST, "port lost"},
        // A stray 0x12 (no report asked for) at the head with more input behind it
        // must not hide the hang-up.
        {"hang-up behind a stray 0x12",
         [] {
             answer("\x12" "abc");
             fake_serial().on_time = [](uint64_t now) { fake_serial().lost = now > 1200; };
         },
         LINK_ERROR_PORT_LOST, "port lost after \"\\x12abc\""},
        {"write refused", [] { fake_serial().write_limit = 0; }, LINK_ERROR_WRITE, nullptr},
        {"closed from a handler", [this] {
             g_closing = &link;
             platform_set_dispatch(close_in_dispatch);
         },
         LINK_ERROR_DISCONNECTED, "disconnected"},
    };
    for (const auto& c : cases) {
        fake_serial_reset();
        link = link_open_port(1, 115200);
        ASSERT_NE(link, nullptr);
        uint64_t start = fake_serial().now_ms;
        c.fault();
        char reply[256];
        TargetLink* held = link;  // a frame up the stack keeps its own copy
        EXPECT_EQ(link_exchange(held, "cmd", reply), 0) << c.name;
        int code = 0;
        std::string text = last(&code);
        EXPECT_EQ(code, c.code) << c.name;
        if (c.text) {
            EXPECT_EQ(text, c.text) << c.name;
        }
        EXPECT_LT(fake_serial().now_ms - start, 2100u) << c.name;
        platform_set_dispatch(nullptr);
        g_closing = nullptr;
        link_close(&link);
    }
    EXPECT_EQ(link_exchange(nullptr, "x", nullptr), 0);
    EXPECT_EQ(last(), "not connected");
}

TEST_F(Reasons, ConnectFailuresSayWhy) {
    const struct {
        const char* name;
        std::function<void()> fault;
        const char* address;
        int code;
        const char* says = "";  // the device is named, with what is wrong
    } cases[] = {
        {"no number", [] {}, "COM", LINK_ERROR_BAD_ADDRESS},
        {"missing device", [] { fake_serial().open_fails = true; }, "COM3", LINK_ERROR_NO_DEVICE},
        {"busy", [] { failing_open(SERIAL_OPEN_BUSY, "/dev/ttyS2"); }, "COM3", LINK_ERROR_BUSY,
         "the port /dev/ttyS2 is used by another program"},
        {"denied", [] { failing_open(SERIAL_OPEN_DENIED, "/dev/ttyS2"); }, "COM3", LINK_ERROR_DENIED,
         "permission denied (/dev/ttyS2)"},
        {"refuses the rate", [] { fake_serial().configure_fails = true; }, "COM3", LINK_ERROR_CONFIGURE},
        {"silent controller", [] {}, "COM3", LINK_ERROR_NO_GREETING},
        {"wrong answer", [] { fake_serial().on_write = [](const std::vector<uint8_t>&) { fake_push("OK\r"); }; },
         "COM3", LINK_ERROR_NO_GREETING},
    };
    for (const auto& c : cases) {
        fake_serial_reset();
        c.fault();
        EXPECT_EQ(link_connect(c.address), nullptr) << c.name;
        int code = 0;
        std::string text = last(&code);
        EXPECT_EQ(code, c.code) << c.name << ": " << text;
        EXPECT_FALSE(text.empty()) << c.name;
        EXPECT_EQ(text.find(c.says), 0u) << c.name << ": " << text;
    }
}

// The report box's query: values, or a quick "no" whatever stands at the head.
TEST_F(Reasons, BoundedReportQuery) {
    const std::vector<uint8_t> report = {0x12, 0xFE, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        const char* name;
        std::vector<uint8_t> head;  // input before the request
        bool answer;                // the controller answers the request
        int result;
        uint64_t max_ms;
    } cases[] = {
        {"answered", {}, true, 1, 20},
        {"LF of a CR LF controller", {0x0A}, true, 1, 20},
        {"unasked input is dropped first", {'o', 'k', 0x0D}, true, 1, 30},
        {"silent", {}, false, 0, 1100},
    };
    for (const auto& c : cases) {
        fake_serial_reset();
        link = link_open_port(1, 115200);
        ASSERT_NE(link, nullptr);
        fake_push(c.head);
        if (c.answer)
            fake_serial().on_write = [&](const std::vector<uint8_t>& w) {
                if (w == std::vector<uint8_t>{0x12}) fake_push(report);
            };
        uint64_t before = fake_serial().now_ms;
        int16_t q = 0;
        EXPECT_EQ(link_query_report_within(link, 1000, &q, nullptr, nullptr, nullptr, nullptr), c.result) << c.name;
        EXPECT_EQ(q, c.result ? -2 : -1) << c.name;
        EXPECT_LE(fake_serial().now_ms - before, c.max_ms) << c.name;
        if (c.head.size() == 3) {
            EXPECT_EQ(link_dropped_input(link, nullptr, 0), 3u);
        }
        link_close(&link);
    }
}

// A report body that breaks off: the unbounded query ends, sleeping, not spinning.
TEST_F(Reasons, BrokenReportQueryEndsWithoutSpinning) {
    link = link_open_port(1, 115200);
    fake_serial().event_every_ms = 0;  // only input and deadlines end a wait
    fake_serial().on_write = [](const std::vector<uint8_t>&) { fake_push(std::vector<uint8_t>{0x12, 1, 2}); };
    EXPECT_EQ(link_query_report(link, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_STALLED);
    EXPECT_LT(fake_serial().status_calls, 100);
}

TEST_F(Reasons, SuccessfulConnectLeavesNoStaleReason) {
    link_set_error(LINK_ERROR_PORT_LOST, nullptr);
    fake_serial().on_write = [](const std::vector<uint8_t>&) { fake_push("\r"); };
    link = link_connect("COM1: 9600");
    EXPECT_NE(link, nullptr);
    EXPECT_EQ(last(), "");
}

}  // namespace
