// The command exchange: wire bytes, reply line rules, waits and re-entrant closing.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "link/link.h"
#include "platform/dispatch.h"
#include "tests/unit/fake_serial.h"

namespace {

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

class Exchange : public ::testing::Test {
protected:
    void SetUp() override {
        fake_serial_reset();
        link = link_open_port(1, 115200);
        ASSERT_NE(link, nullptr);
        fake_serial().output.clear();
    }
    void TearDown() override {
        platform_set_dispatch(nullptr);
        link_close(&link);
    }
    // Answers the next command line with reply.
    void answer(const std::string& reply) {
        fake_serial().on_write = [reply](const std::vector<uint8_t>& w) {
            if (!w.empty() && w.back() == 0x0D) fake_push(bytes(reply));
        };
    }
    TargetLink* link = nullptr;
    char reply[256];
};

struct ReplyCase {
    const char* name;
    std::string wire;  // what the controller sends
    int result;
    std::string text;
    int left_at_head;  // byte left for the next read, -1 for none
};

TEST_F(Exchange, ReplyLineRules) {
    const ReplyCase cases[] = {
        {"plain", "OK\r", 1, "OK", -1},
        {"empty line", "\r", 1, "", -1},
        {"rest stays", "OK\rNEXT", 1, "OK", 'N'},
        {"control bytes inside kept", "a\nb\tc\x01\r", 1, "a\nb\tc\x01", -1},
        {"high bytes kept", "\xff\x80\x7f\r", 1, "\xff\x80\x7f", -1},
        {"LF first dropped", "\nOK\r", 1, "OK", -1},
        {"NUL first dropped", std::string("\0x\r", 3), 1, "x", -1},
        {"space first fails, its line dropped", " OK\rNEXT", 0, "", 'N'},
        {"noise first fails, its line dropped", "\x0bnoise\rNEXT", 0, "", 'N'},
        {"stalls mid-line", "OK", 0, "", -1},
        {"long line cut at 255", std::string(300, 'L') + "\rZ", 1, std::string(255, 'L'), 'Z'},
        {"exactly 255", std::string(255, 'M') + "\r", 1, std::string(255, 'M'), -1},
    };
    for (const auto& c : cases) {
        fake_serial().input.clear();
        link_close(&link);
        link = link_open_port(1, 115200);
        answer(c.wire);
        std::memset(reply, 'X', sizeof reply);
        EXPECT_EQ(link_exchange(link, "cmd", reply), c.result) << c.name;
        EXPECT_EQ(std::string(reply), c.text) << c.name;
        EXPECT_EQ(link_peek(link), c.left_at_head) << c.name;
    }
}

TEST_F(Exchange, MidLineSilenceIsBoundedToTwoSeconds) {
    answer("OK");
    uint64_t before = fake_serial().now_ms;
    EXPECT_EQ(link_exchange(link, "x", reply), 0);
    uint64_t waited = fake_serial().now_ms - before;
    EXPECT_GE(waited, LINE_BYTE_TIMEOUT_MS);
    EXPECT_LE(waited, LINE_BYTE_TIMEOUT_MS + 5);
}

TEST_F(Exchange, WireBytes) {
    answer("\r");
    struct Case {
        const char* command;
        std::vector<uint8_t> wire;
    } cases[] = {
        {"abc", {0x61, 0x62, 0x63, 0x0D}},
        {"", {0x0D}},
        {nullptr, {0x0D}},
        {"   ", {' ', ' ', ' ', 0x0D}},
        {"\x80\xff", {0x80, 0xff, 0x0D}},
    };
    for (const auto& c : cases) {
        fake_serial().output.clear();
        EXPECT_EQ(link_exchange(link, c.command, nullptr), 1);
        EXPECT_EQ(fake_serial().output, c.wire) << (c.command ? c.command : "(null)");
    }
}

TEST_F(Exchange, ShortTextWriteSendsNoCr) {
    answer("OK\r");
    fake_serial().write_limit = 2;
    std::strcpy(reply, "junk");
    EXPECT_EQ(link_exchange(link, "abc", reply), 0);
    EXPECT_EQ(fake_serial().output, bytes("ab"));
    EXPECT_STREQ(reply, "");
}

TEST_F(Exchange, LinkErrorDuringTheWaitFails) {
    fake_serial().on_time = [](uint64_t now) {
        if (now > 50) fake_serial().lost = true;
    };
    EXPECT_EQ(link_exchange(link, "run", reply), 0);
    EXPECT_STREQ(reply, "");
}

// A 0x12 with no report asked for begins a reply like any bad byte: that reply fails
// alone, its line is dropped, the next command gets its own reply.
TEST_F(Exchange, UnrequestedReportByteIsABadStart) {
    answer("\x12" "ab\r");
    EXPECT_EQ(link_exchange(link, "x", reply), 0);
    EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_BAD_START);
    answer("ok\r");
    EXPECT_EQ(link_exchange(link, "y", reply), 1);
    EXPECT_STREQ(reply, "ok");
}

// The waits sleep until something happens; with no window events of their own they
// block a handful of times, whatever the wait lasts. Each case ends at an exact time.
TEST_F(Exchange, WaitsSleepUntilInputEventDeadlineOrHangUp) {
    static std::function<void()> on_event;
    auto at = [](uint64_t when, std::function<void()> what) {
        fake_serial().on_time = [when, what](uint64_t now) {
            if (now == when) what();
        };
    };
    auto exchange = [this] { return link_exchange(link, "run", reply); };
    auto report_within = [this] { return link_query_report_within(link, 1000, nullptr, nullptr, nullptr, nullptr, nullptr); };
    const struct {
        const char* name;
        std::function<void()> setup;
        std::function<int()> wait;
        int result;
        uint64_t ends_at;
        int error;
    } cases[] = {
        {"input wakes it", [&] { at(60000, [] { fake_push("done\r"); }); }, exchange, 1, 60000, LINK_ERROR_NONE},
        {"an event wakes it, its handler runs",
         [&] {
             fake_serial().event_at_ms = 500;
             on_event = [this] {
                 if (fake_serial().now_ms != 500) return;
                 on_event = nullptr;  // one event, one run of its handler
                 link_pause(link);
                 fake_push("done\r");
             };
         },
         exchange, 1, 500, LINK_ERROR_NONE},
        {"a front end's own deadline wakes it, a cancel ends it",
         [&] {
             platform_set_wait_limit([]() -> uint32_t {
                 uint64_t now = fake_serial().now_ms;
                 return now < 250 ? static_cast<uint32_t>(250 - now) : 0;
             });
             on_event = [this] {
                 if (fake_serial().now_ms >= 250) link_cancel_wait(link);
             };
         },
         exchange, 0, 250, LINK_ERROR_TIMEOUT},
        // 1 ms of it is the pause after sending the request.
        // The reply arrives during the health check that follows the wait's peek.
        {"input that came between two looks is not slept on",
         [] {
             fake_serial().status_calls = 0;
             fake_serial().on_status = [](int query) {
                 if (query == 2) fake_push("done\r");
             };
         },
         exchange, 1, 0, LINK_ERROR_NONE},
        {"the deadline wakes it", [] {}, report_within, 0, 1001, LINK_ERROR_TIMEOUT},
        {"a close from a nested handler ends it",
         [&] {
             fake_serial().event_at_ms = 700;
             on_event = [this] {
                 if (fake_serial().now_ms == 700) link_close(&link);
             };
         },
         exchange, 0, 700, LINK_ERROR_DISCONNECTED},
        {"hang-up ends it at once", [&] { at(900, [] { fake_serial().lost = true; }); }, exchange, 0, 900,
         LINK_ERROR_PORT_LOST},
        {"hang-up ends a report wait", [&] { at(300, [] { fake_serial().lost = true; }); }, report_within, 0, 300,
         LINK_ERROR_PORT_LOST},
    };
    for (const auto& c : cases) {
        link_close(&link);
        fake_serial_reset();
        platform_set_dispatch([] {
            auto handler = on_event;  // it may clear itself
            if (handler) handler();
            return 0;
        });
        link = link_open_port(1, 115200);
        ASSERT_NE(link, nullptr);
        fake_serial().event_every_ms = 0;
        fake_serial().now_ms = 0;
        link_set_error(LINK_ERROR_NONE, nullptr);
        std::strcpy(reply, "");
        c.setup();
        EXPECT_EQ(c.wait(), c.result) << c.name;
        EXPECT_EQ(fake_serial().now_ms, c.ends_at) << c.name;
        EXPECT_EQ(link_last_error(nullptr, 0), c.error) << c.name;
        EXPECT_LE(fake_serial().waits, 3) << c.name;
        EXPECT_STREQ(reply, c.result ? "done" : "") << c.name;
        on_event = nullptr;
        link_close(&link);
    }
}

// Handlers nested in the wait: a Pause press goes out at once, and closing the
// link ends the exchange as a failure without touching the freed record.
TEST_F(Exchange, NestedHandlersDuringTheWait) {
    static TargetLink** shared;
    static int step;
    shared = &link;
    step = 0;
    platform_set_dispatch([] {
        ++step;
        if (step == 10) { EXPECT_EQ(link_pause(*shared), 1); }
        if (step == 20) { EXPECT_EQ(link_stop(*shared), 1); }
        if (step == 30) fake_push("stopped\r");
        return 1;
    });
    EXPECT_EQ(link_exchange(link, "run", reply), 1);
    EXPECT_STREQ(reply, "stopped");
    EXPECT_EQ(fake_serial().output, (std::vector<uint8_t>{'r', 'u', 'n', 0x0D, 0x02, 0x01}));

    step = 0;
    platform_set_dispatch([] {
        if (++step == 5) link_close(shared);
        return 1;
    });
    std::strcpy(reply, "junk");
    EXPECT_EQ(link_exchange(link, "run", reply), 0);
    EXPECT_EQ(link, nullptr);
    EXPECT_STREQ(reply, "");
    EXPECT_EQ(fake_serial().close_count, 1);
    EXPECT_EQ(link_exchange(link, "again", reply), 0);
}

// A loop nested in the wait (a menu held open) holds the reading up; its looks note
// when the reply came, for the reply's row. Each exchange starts without a note.
TEST_F(Exchange, LooksFromNestedLoopsNoteWhenTheReplyCame) {
    static uint64_t came;
    static int calls;
    calls = 0;
    platform_set_dispatch([] {
        if (calls++) return 1;
        platform_look();  // nothing waiting yet: no note
        fake_serial().now_ms += 5;
        fake_push("done\r");
        came = fake_serial().now_ms;
        for (int i = 0; i < 2; ++i, fake_serial().now_ms += 2000) platform_look();
        return 1;
    });
    EXPECT_EQ(link_exchange(link, "run 500", reply), 1);
    EXPECT_EQ(link_reply_seen_ms(link), came);
    EXPECT_EQ(platform_look(), 0);  // only while a reply is awaited
    platform_set_dispatch(nullptr);
    answer("ok\r");
    EXPECT_EQ(link_exchange(link, "x", reply), 1);
    EXPECT_EQ(link_reply_seen_ms(link), 0u);
}

TEST_F(Exchange, BusyOnlyWhileAnExchangeRuns) {
    static TargetLink** shared;
    static int seen;
    shared = &link;
    seen = -1;
    platform_set_dispatch([] {
        seen = link_busy(*shared);
        fake_push("ok\r");
        return 1;
    });
    EXPECT_EQ(link_busy(link), 0);
    EXPECT_EQ(link_exchange(link, "x", reply), 1);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(link_busy(link), 0);
    // Also while a report's body comes in: a pin poll then would read its bytes.
    seen = -1;
    fake_serial().on_write = [](const std::vector<uint8_t>& w) {
        if (w == std::vector<uint8_t>{CTRL_REPORT}) fake_push(std::vector<uint8_t>{CTRL_REPORT, 1, 2});
    };
    platform_set_dispatch([] {
        if (seen < 0 && fake_serial().input.empty()) {
            seen = link_busy(*shared);
            fake_push(std::vector<uint8_t>(16, 0));
        }
        return 1;
    });
    EXPECT_EQ(link_query_report(link, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(seen, 1);
}

}  // namespace

// Whole replies up to 64 KiB; a longer line fails, and the rest of any line given up
// is dropped before the next command's reply.
TEST_F(Exchange, WholeRepliesUpToTheLimit) {
    static char big[LINK_WHOLE_REPLY_MAX + 1];
    const std::string max(LINK_WHOLE_REPLY_MAX, 'b');
    const struct {
        std::string wire;
        int error;  // LINK_ERROR_NONE: a whole reply
        std::string text;  // the reply, or what had arrived of it
        std::string rest;  // comes before the next reply
        uint32_t dropped;  // of the rest, before the next reply
    } cases[] = {
        {std::string(300, 'a') + "\r", LINK_ERROR_NONE, std::string(300, 'a'), "", 0},
        {max + "\r", LINK_ERROR_NONE, max, "", 0},
        // However late, the rest of a stalled line is not the next reply.
        {"hello ", LINK_ERROR_STALLED, "hello ", "world\r", 6},
        // A longer line is read to its end within its own exchange.
        {max + "crest\r", LINK_ERROR_TOO_LONG, max, "", 0},
    };
    for (const auto& c : cases) {
        link_close(&link);
        fake_serial_reset();
        link = link_open_port(1, 115200);
        link_set_error(LINK_ERROR_NONE, nullptr);
        answer(c.wire);
        EXPECT_EQ(link_exchange_whole(link, "cmd", big, sizeof big), c.error == LINK_ERROR_NONE) << c.error;
        EXPECT_EQ(link_last_error(nullptr, 0), c.error);
        EXPECT_EQ(std::string(big), c.text) << c.error;
        answer(c.rest + "next\r");
        EXPECT_EQ(link_exchange(link, "again", reply), 1) << c.error;
        EXPECT_STREQ(reply, "next");
        EXPECT_EQ(link_dropped_input(link, nullptr, 0), c.dropped) << c.error;
    }
}

// Input waiting before a command or pin transaction belongs to nothing: dropped before
// the write and told; a requested report at the head is still taken in.
TEST_F(Exchange, StrayInputIsDroppedBeforeTheWrite) {
    std::vector<uint8_t> report = {0x12, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        bool request;  // a report was asked for beforehand
        std::vector<uint8_t> waiting;
        uint32_t dropped;
        const char* text;
    } cases[] = {
        {false, bytes("late\r"), 5, "\"late\\x0d\""},
        {false, bytes("\n"), 0, ""},
        {false, report, 19, nullptr},
        {true, bytes(std::string(report.begin(), report.end()) + "\x0b"), 1, "\"\\x0b\""},
    };
    for (bool pins : {false, true}) {
        for (const auto& c : cases) {
            link_close(&link);
            fake_serial_reset();
            link = link_open_port(1, 115200);
            if (c.request) link_request_report(link);
            fake_push(c.waiting);
            fake_serial().on_write = [pins](const std::vector<uint8_t>& w) {
                if (pins && w.size() == 1 && w[0] != 0x12) fake_push(std::vector<uint8_t>{0x80});
                if (!pins && !w.empty() && w.back() == 0x0D) fake_push("ok\r");
            };
            uint8_t data = 0;
            EXPECT_EQ(pins ? link_pin_transaction(link, nullptr, nullptr, nullptr, &data, nullptr, nullptr)
                           : link_exchange(link, "cmd", reply), 1);
            char text[96];
            EXPECT_EQ(link_dropped_input(link, text, sizeof text), c.dropped) << c.dropped << pins;
            EXPECT_STREQ(text, c.text ? c.text : text);
            EXPECT_EQ(link_fetch_report(link, nullptr, nullptr, nullptr, nullptr, nullptr), c.request ? 1 : 0);
        }
    }
}

// A line that trickles in for ever lets window events run: a Disconnect or a front
// end's deadline ends it, and after a deadline the rest of the line is no reply.
TEST_F(Exchange, StreamingLineLetsEventsRun) {
    static TargetLink** shared;
    static bool cancel;
    shared = &link;
    for (bool by_cancel : {false, true}) {
        link_close(&link);
        fake_serial_reset();
        link = link_open_port(1, 115200);
        cancel = by_cancel;
        answer("x");
        fake_serial().on_time = [](uint64_t now) {
            if (now % 10 == 0) fake_push("x");
        };
        platform_set_dispatch([] {
            if (fake_serial().now_ms >= 4000) cancel ? (void)link_cancel_wait(*shared) : link_close(shared);
            return 1;
        });
        EXPECT_EQ(link_exchange(link, "dump", reply), 0);
        EXPECT_LT(fake_serial().now_ms, 4100u);
        EXPECT_EQ(link_last_error(nullptr, 0), by_cancel ? LINK_ERROR_TIMEOUT : LINK_ERROR_DISCONNECTED);
        platform_set_dispatch(nullptr);
        fake_serial().on_time = nullptr;
        answer("xxx\rok\r");
        EXPECT_EQ(link_exchange(link, "next", reply), by_cancel ? 1 : 0);
        EXPECT_STREQ(reply, by_cancel ? "ok" : "");
    }
}

// While a line past the whole-reply limit comes in, its command still runs: a Stop
// goes out and its line end ends the command. A line error that a control byte's
// check comes upon stays for the exchange, which fails with it.
TEST_F(Exchange, ControlBytesDuringAnOverLongLine) {
    static TargetLink* shared;
    static bool line_error;
    static char big[LINK_WHOLE_REPLY_MAX + 1];
    for (bool error : {false, true}) {
        shared = link;
        line_error = error;
        fake_serial().on_write = [](const std::vector<uint8_t>& w) {
            if (w == std::vector<uint8_t>{CTRL_STOP}) fake_push("stopped\r");
            if (!w.empty() && w.back() == 0x0D) fake_push(bytes(std::string(LINK_WHOLE_REPLY_MAX + 10, 'x')));
        };
        platform_set_dispatch([] {
            platform_set_dispatch(nullptr);
            if (line_error) fake_serial().pending_errors = 1;
            EXPECT_EQ(link_stop(shared), line_error ? 0 : 1);
            return 1;
        });
        EXPECT_EQ(link_exchange_whole(link, "stream", big, sizeof big), 0);
        EXPECT_EQ(link_last_error(nullptr, 0), error ? LINK_ERROR_LINE : LINK_ERROR_TOO_LONG) << error;
        if (!error) {
            answer("own\r");
            EXPECT_EQ(link_exchange(link, "next", reply), 1);
            EXPECT_STREQ(reply, "own");
        }
    }
}
