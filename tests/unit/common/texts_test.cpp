// The texts both front ends show: one table a text.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <ctime>

#include "common/clock_stamp.h"
#include "common/digits.h"
#include "common/texts.h"

namespace {

TEST(Texts, Report) {
    const struct {
        int16_t q;
        int32_t x, y, z, w;
        const char* text;
    } cases[] = {
        {-1, 0, 1000, -5, 2147483647, "Q=-1, X=0, Y=1000, Z=-5, W=2147483647"},
        {-32768, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN,
         "Q=-32768, X=-2147483648, Y=-2147483648, Z=-2147483648, W=-2147483648"},
    };
    for (const auto& c : cases) EXPECT_EQ(report_text(c.q, c.x, c.y, c.z, c.w), c.text);
    EXPECT_STREQ(REPORT_NO_DATA, "No Data");
}

TEST(Texts, PortsAndFailures) {
    const struct {
        std::string got, text;
    } cases[] = {
        {com_port_name(5), "COM5"},
        {com_port_name(255), "COM255"},
        {connect_string(3, 115200), "COM3: 115200"},
        {connect_string(12, 2147483647), "COM12: 2147483647"},
        {no_reply_text("port lost"), "(no reply: port lost)"},
        {no_reply_text(""), "(no reply: )"},
        {progress_text(3, 10), "line 3 of 10"},
        {progress_text(1, 0), "line 1 of 0"},
        {progress_text(7, -1), "line 7"},
        {progress_text(LONG_MAX, LONG_MAX), "line " + std::to_string(LONG_MAX) + " of " + std::to_string(LONG_MAX)},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.text);
}

TEST(Texts, DigitRuns) {
    const struct {
        const char* text;
        bool first;  // skip to the first digit
        int64_t limit, value;
        bool fits;
        int used;  // characters up to the run's end
    } cases[] = {
        {"COM3 (\\Device\\Serial2)", true, INT32_MAX, 3, true, 4},
        {"PORTX (\\Device\\Serial4)", true, INT32_MAX, 4, true, 22},
        {"9600 baud", true, INT32_MAX, 9600, true, 4},
        {"9600 baud", false, INT32_MAX, 9600, true, 4},
        {"COM-3", true, INT32_MAX, 3, true, 5},
        {"COM5", false, INT32_MAX, 0, true, 0},
        {"COM", true, INT32_MAX, 0, true, 3},
        {"", true, INT32_MAX, 0, true, 0},
        {"2147483647x", false, INT32_MAX, 2147483647, true, 10},
        {"2147483648x", false, INT32_MAX, 0, false, 10},
        {"2147483648", false, int64_t(INT32_MAX) + 1, 2147483648, true, 10},
        {"99999999999999999999999: 5", true, INT32_MAX, 0, false, 23},
        {"256", false, 255, 0, false, 3},
        {"000255", false, 255, 255, true, 6},
    };
    for (const auto& c : cases) {
        DigitRun run = c.first ? read_first_digits(c.text, c.limit) : read_digits(c.text, c.limit);
        EXPECT_EQ(run.value, c.value) << c.text;
        EXPECT_EQ(run.fits, c.fits) << c.text;
        EXPECT_EQ(run.end - c.text, c.used) << c.text;
    }
    EXPECT_EQ(read_first_digits(nullptr).end, nullptr);
    const struct {
        const char* text;
        int32_t value;
    } numbers[] = {{"COM10 (\\Device\\Serial9)", 10}, {"COM0", 0}, {nullptr, 0},
                   {"COM2147483647", 2147483647}, {"COM2147483648", 0}, {"COM99999999999999999999", 0}};
    for (const auto& c : numbers) EXPECT_EQ(number_in_text(c.text), c.value) << (c.text ? c.text : "(null)");
}

TEST(Texts, ClockStamps) {
    std::tm t = {};  // 2024-03-05 14:07:09 local time
    t.tm_year = 124, t.tm_mon = 2, t.tm_mday = 5, t.tm_hour = 14, t.tm_min = 7, t.tm_sec = 9, t.tm_isdst = -1;
    const int64_t at = static_cast<int64_t>(std::mktime(&t)) * 1000;
    const struct {
        int64_t ms;
        bool with_date;
        int size;
        const char* text;
    } cases[] = {
        {at + 42, false, 32, "14:07:09.042"},
        {at + 42, true, 32, "2024-03-05 14:07:09.042"},
        {at + 999, false, 32, "14:07:09.999"},
        {at + 1000, false, 32, "14:07:10.000"},
        {at - 1, false, 32, "14:07:08.999"},  // rounded down, not toward zero
        {at + 42, false, 13, "14:07:09.042"},
        {at + 42, false, 12, ""},  // no room for the whole stamp: nothing
        {at + 42, true, 23, ""},
    };
    for (const auto& c : cases) {
        char buf[32] = "x";
        EXPECT_EQ(clock_stamp(c.ms, c.with_date, buf, c.size), static_cast<int>(std::strlen(c.text))) << c.text;
        EXPECT_STREQ(buf, c.text);
    }
    char buf[32];
    EXPECT_EQ(clock_stamp(at, false, buf, 0), 0);
    EXPECT_EQ(clock_stamp(at, false, nullptr, 32), 0);
    clock_stamp(INT64_MIN, true, buf, sizeof buf);  // no overflow at the far end (the sanitizer build checks)
}

}  // namespace
