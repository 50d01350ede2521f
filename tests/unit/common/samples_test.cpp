// The reading ring and the CSV text.
#include <gtest/gtest.h>

#include "common/samples.h"

namespace {

TEST(Samples, RingKeepsTheNewestInTimeOrder) {
    SampleRing ring;
    ASSERT_TRUE(samples_init(&ring, 3));
    for (int32_t t : {10, 20, 30, 40, 50}) {
        Sample s{uint64_t(t), 0, 0, t};
        EXPECT_TRUE(samples_add(&ring, &s));
    }
    Sample older{45};
    EXPECT_FALSE(samples_add(&ring, &older));  // a clock step back must not scramble the order
    ASSERT_EQ(samples_count(&ring), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(samples_at(&ring, i)->x, int32_t(30 + 10 * i));
    EXPECT_EQ(samples_at(&ring, 3), nullptr);
    const struct {
        uint64_t since;
        size_t index;
    } since[] = {{0, 0}, {30, 0}, {31, 1}, {50, 2}, {51, 3}};
    for (const auto& c : since) EXPECT_EQ(samples_first_since(&ring, c.since), c.index) << c.since;
    EXPECT_EQ(samples_add(nullptr, &older), 0);
    EXPECT_EQ(samples_at(nullptr, 0), nullptr);
}

TEST(Samples, IsoTimes) {
    const struct {
        int64_t ms;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
        {951782400007, "2000-02-29T00:00:00.007Z"},
        {1796814030123, "2026-12-09T11:00:30.123Z"},
        {INT64_MAX, "9999-12-31T23:59:59.999Z"},
        {INT64_MIN, "0000-01-01T00:00:00.000Z"},
    };
    char buf[32];
    for (const auto& c : cases) {
        EXPECT_EQ(samples_iso_time(c.ms, buf, sizeof buf), 24u) << c.ms;
        EXPECT_STREQ(buf, c.text);
    }
    EXPECT_EQ(samples_iso_time(0, buf, 24), 0u);
}

TEST(Samples, CsvText) {
    SampleRing ring;
    samples_init(&ring, 4);
    Sample s{0, 1796814030123, -2, 1, -100000, INT32_MIN, INT32_MAX};
    samples_add(&ring, &s);
    EXPECT_EQ(samples_csv_text(&ring),
              "time,q,x,y,z,w\n2026-12-09T11:00:30.123Z,-2,1,-100000,-2147483648,2147483647\n");
    char small[20];
    EXPECT_EQ(samples_csv_line(&s, small, sizeof small), 0u);
    EXPECT_EQ(samples_csv_text(nullptr), "time,q,x,y,z,w\n");
}

}  // namespace
