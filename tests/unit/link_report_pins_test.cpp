// Status report decoding and flow, and the pin transaction's bytes and reply rules.
#include <gtest/gtest.h>

#include <optional>

#include "link/link.h"
#include "platform/dispatch.h"
#include "tests/unit/fake_serial.h"

namespace {

const std::vector<uint8_t> SAMPLE_REPORT = {0x12, 0xFE, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x60, 0x79, 0xFE, 0xFF,
                                            0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x27, 0x00, 0x00};

class LinkTest : public ::testing::Test {
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
    TargetLink* link = nullptr;
};

TEST(ReportDecode, LittleEndianSignedValues) {
    int16_t q;
    int32_t x, y, z, w;
    link_decode_report(SAMPLE_REPORT.data() + 1, &q, &x, &y, &z, &w);
    EXPECT_EQ(q, -2);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, -100000);
    EXPECT_EQ(z, -1);
    EXPECT_EQ(w, 10000);
}

TEST_F(LinkTest, QueryTakesAFreshReport) {
    fake_serial().on_write = [](const std::vector<uint8_t>& w) {
        if (w == std::vector<uint8_t>{0x12}) fake_push(SAMPLE_REPORT);
    };
    int16_t q = 0;
    int32_t x = 0, y = 0, z = 0, w = 0;
    EXPECT_EQ(link_query_report(link, &q, &x, &y, &z, &w), 1);
    EXPECT_EQ(q, -2);
    EXPECT_EQ(y, -100000);
    EXPECT_EQ(link_query_report(link, &q, nullptr, nullptr, nullptr, &w), 1);
    EXPECT_EQ(w, 10000);
    EXPECT_EQ(fake_serial().output, (std::vector<uint8_t>{0x12, 0x12}));
}

TEST_F(LinkTest, FailingQueryGivesSentinels) {
    fake_serial().on_time = [](uint64_t now) {
        if (now > 20) fake_serial().lost = true;
    };
    int16_t q = 5;
    int32_t x = 5, y = 5, z = 5, w = 5;
    EXPECT_EQ(link_query_report(link, &q, &x, &y, &z, &w), 0);
    EXPECT_EQ(q, -1);
    EXPECT_EQ(x, INT32_MIN);
    EXPECT_EQ(w, INT32_MIN);
    EXPECT_EQ(link_query_report(nullptr, &q, &x, &y, &z, &w), 0);
}

TEST_F(LinkTest, OutstandingRequestIsNotSentTwice) {
    EXPECT_EQ(link_request_report(link), 1);
    EXPECT_EQ(link_request_report(link), 1);
    EXPECT_EQ(fake_serial().output, (std::vector<uint8_t>{0x12}));
    // Nothing requested: a 0x12 at the head is left alone.
    link_close(&link);
    link = link_open_port(1, 115200);
    fake_push(SAMPLE_REPORT);
    EXPECT_EQ(link_take_report(link), 0);
    EXPECT_EQ(link_peek(link), 0x12);
}

TEST_F(LinkTest, BrokenReportBodyFailsAndIsNotHandedOut) {
    struct Case {
        const char* name;
        size_t body_bytes;
        bool lose_link;
    } cases[] = {{"stalls after 5 bytes", 6, false}, {"link lost mid-body", 10, true}};
    for (const auto& c : cases) {
        link_close(&link);
        fake_serial_reset();
        link = link_open_port(1, 115200);
        ASSERT_EQ(link_request_report(link), 1);
        uint64_t start = fake_serial().now_ms;
        fake_push(std::vector<uint8_t>(SAMPLE_REPORT.begin(), SAMPLE_REPORT.begin() + c.body_bytes));
        if (c.lose_link) fake_serial().on_time = [](uint64_t) { fake_serial().lost = true; };
        EXPECT_EQ(link_take_report(link), 0) << c.name;
        EXPECT_LE(fake_serial().now_ms - start, LINE_BYTE_TIMEOUT_MS + 5) << c.name;
        int16_t q = 0;
        EXPECT_EQ(link_fetch_report(link, &q, nullptr, nullptr, nullptr, nullptr), 0) << c.name;
        EXPECT_EQ(q, -1) << c.name;
    }
}

TEST_F(LinkTest, ReportAheadOfAReplyIsTakenIn) {
    fake_serial().on_write = [](const std::vector<uint8_t>& w) {
        if (w.back() == 0x0D) {
            fake_push(SAMPLE_REPORT);
            fake_push("done\r");
        }
    };
    EXPECT_EQ(link_request_report(link), 1);
    char reply[256];
    EXPECT_EQ(link_exchange(link, "go", reply), 1);
    EXPECT_STREQ(reply, "done");
    int32_t x = 0;
    EXPECT_EQ(link_fetch_report(link, nullptr, &x, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(x, 1);
}

TEST_F(LinkTest, ReportStateIsSeenWithoutReadingThePort) {
    int16_t q = 0;
    int32_t x = 0;
    ASSERT_EQ(link_request_report(link), 1);
    fake_push(SAMPLE_REPORT);
    EXPECT_EQ(link_report_outstanding(link), 1);
    EXPECT_EQ(link_report_values(link, &q, &x, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(q, REPORT_NO_Q);
    EXPECT_EQ(link_peek(link), 0x12);  // left for the wait that takes it in
    EXPECT_EQ(link_take_report(link), 1);
    EXPECT_EQ(link_report_outstanding(link), 0);
    EXPECT_EQ(link_report_values(link, &q, &x, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(q, -2);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(link_report_outstanding(nullptr), 0);
    EXPECT_EQ(link_report_values(nullptr, &q, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(LinkTest, ControlBytesNeedAHealthyLink) {
    EXPECT_EQ(link_stop(link), 1);
    EXPECT_EQ(link_pause(link), 1);
    EXPECT_EQ(link_continue(link), 1);
    fake_serial().pending_errors = 1;
    EXPECT_EQ(link_stop(link), 0);
    EXPECT_EQ(link_stop(link), 1);
    EXPECT_EQ(fake_serial().output, (std::vector<uint8_t>{1, 2, 3, 1}));
    EXPECT_EQ(link_send_control(nullptr, CTRL_STOP), 0);
}

TEST(PinCommand, Bits) {
    EXPECT_EQ(link_pin_command(false, false, false, false, false, false), 0x88);
    EXPECT_EQ(link_pin_command(false, false, false, true, true, true), 0x8F);
    EXPECT_EQ(link_pin_command(true, false, false, true, true, true), 0x9F);
    EXPECT_EQ(link_pin_command(true, false, true, false, false, false), 0xD8);
    for (int r = 0; r < 256; ++r)
        EXPECT_EQ(link_pin_reply_valid(static_cast<uint8_t>(r)), (r & 0x8F) == 0x80) << r;
}

struct PinCase {
    const char* name;
    std::optional<uint8_t> w1, w2, w3;
    bool r1, r2, r3;
    std::vector<uint8_t> reply;
    std::vector<uint8_t> wire;
    int result;
    uint8_t v1, v2, v3;  // slots start at 0xEE
    int left_at_head;
};

TEST_F(LinkTest, PinTransactions) {
    const PinCase cases[] = {
        {"read all", {}, {}, {}, true, true, true, {0xF0, 0x12, 0x34, 0x56}, {0x8F}, 1, 0x12, 0x34, 0x56, -1},
        {"write 1 read all", 0xAA, {}, {}, true, true, true, {0x80}, {0x9F, 0xAA}, 1, 0xEE, 0xEE, 0xEE, -1},
        {"write 1 and 3", 0x11, {}, 0x33, false, false, false, {0x80}, {0xD8, 0x11, 0x33}, 1, 0xEE, 0xEE, 0xEE, -1},
        {"low bit set", {}, {}, {}, true, true, true, {0x81, 1, 2, 3}, {0x8F}, 0, 0, 0, 0, 1},
        {"bit 7 clear", {}, {}, {}, true, true, true, {0x70}, {0x8F}, 0, 0, 0, 0, -1},
        {"partial announce", {}, {}, {}, true, true, true, {0xD0, 7, 9}, {0x8F}, 1, 7, 0xEE, 9, -1},
        {"unasked value consumed", {}, {}, {}, true, false, false, {0xB0, 7, 8, 'Z'}, {0x89}, 1, 7, 0xEE, 0xEE, 'Z'},
        {"text left over", {}, {}, {}, true, true, true, {'o', 'k', 0x80}, {0x8F}, 0, 0, 0, 0, 'k'},
        {"value missing", {}, {}, {}, true, true, true, {0xF0, 1}, {0x8F}, 0, 0, 0, 0, -1},
        {"read port 1", {}, {}, {}, true, false, false, {0x90, 0x42}, {0x89}, 1, 0x42, 0xEE, 0xEE, -1},
    };
    for (const auto& c : cases) {
        link_close(&link);
        fake_serial_reset();
        link = link_open_port(1, 115200);
        fake_serial().output.clear();
        std::vector<uint8_t> reply = c.reply;
        fake_serial().on_write = [reply](const std::vector<uint8_t>& w) {
            if (fake_serial().output.size() == w.size()) fake_push(reply);  // after the command byte
        };
        uint8_t v1 = 0xEE, v2 = 0xEE, v3 = 0xEE;
        uint8_t w1 = c.w1.value_or(0), w2 = c.w2.value_or(0), w3 = c.w3.value_or(0);
        int r = link_pin_transaction(link, c.w1 ? &w1 : nullptr, c.w2 ? &w2 : nullptr, c.w3 ? &w3 : nullptr,
                                     c.r1 ? &v1 : nullptr, c.r2 ? &v2 : nullptr, c.r3 ? &v3 : nullptr);
        EXPECT_EQ(r, c.result) << c.name;
        EXPECT_EQ(fake_serial().output, c.wire) << c.name;
        if (c.r1) { EXPECT_EQ(v1, c.v1) << c.name; }
        if (c.r2) { EXPECT_EQ(v2, c.v2) << c.name; }
        if (c.r3) { EXPECT_EQ(v3, c.v3) << c.name; }
        EXPECT_EQ(link_peek(link), c.left_at_head) << c.name;
    }
}

TEST_F(LinkTest, PinTransactionEdgeArguments) {
    EXPECT_EQ(link_pin_transaction(link, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(fake_serial().output.empty());
    uint8_t a = 9, b = 9;
    EXPECT_EQ(link_pin_transaction(nullptr, nullptr, nullptr, nullptr, &a, nullptr, &b), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
}

}  // namespace
