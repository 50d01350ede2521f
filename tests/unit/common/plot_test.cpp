// The plot model: scales, ticks, clipping, equal aspect, and the empty and
// single-reading pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "common/plot.h"

namespace {

// Every data item stays within the plot rectangle; the count of polylines and boxes.
void expect_clipped(const PlotPicture& p, int* polylines = nullptr, int* boxes = nullptr) {
    const PlotRect& r = p.plot;
    int lines = 0, filled = 0;
    for (const PlotItem& it : p.items) {
        if (it.kind == PLOT_POLYLINE) {
            ++lines;
            EXPECT_GE(it.points.size(), 2u);
            for (const PlotPoint& pt : it.points)
                EXPECT_TRUE(pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom) << pt.x << "," << pt.y;
        } else if (it.kind == PLOT_FILLED_BOX && it.ink != PLOT_INK_BACKGROUND) {
            ++filled;
            const PlotRect& b = it.rect;
            EXPECT_TRUE(b.left >= r.left && b.top >= r.top && b.right <= r.right && b.bottom <= r.bottom &&
                        b.left < b.right && b.top < b.bottom);
        }
    }
    if (polylines) *polylines = lines;
    if (boxes) *boxes = filled;
}

bool has_text(const PlotPicture& p, const std::string& text) {
    for (const PlotItem& it : p.items)
        if (it.kind == PLOT_TEXT && it.text == text) return true;
    return false;
}

SampleRing ring_of(const std::vector<Sample>& samples) {
    SampleRing ring;
    samples_init(&ring, 64);
    for (const Sample& s : samples) samples_add(&ring, &s);
    return ring;
}

Sample reading(uint64_t mono, int16_t q, int32_t x, int32_t y, int32_t z = 0, int32_t w = 0) {
    return Sample{mono, 0, q, x, y, z, w};
}

const PlotRect AREA{10, 20, 410, 320};

TEST(Plot, ScalesEndOnRoundTicks) {
    const struct {
        int64_t min, max;
        int ticks;
        PlotScale want;
    } cases[] = {
        {0, 0, 5, {-1, 1, 1}},          // one value: widened, on a tick
        {1000, 1000, 5, {999, 1001, 1}},
        {0, 100, 6, {0, 100, 20}},
        {-3, 7, 5, {-5, 10, 5}},
        {1, 999999999, 5, {0, 1000000000, 500000000}},
        {INT32_MIN, INT32_MAX, 5, {-4000000000, 4000000000, 2000000000}},
        {3, 4, 1, {3, 4, 1}},  // fewer than 2 ticks asked: 2
        {0, 2500000000, 2, {0, 5000000000, 5000000000}},
    };
    for (const auto& c : cases) {
        PlotScale s;
        ASSERT_TRUE(plot_nice_scale(c.min, c.max, c.ticks, &s));
        EXPECT_EQ(std::make_tuple(s.lo, s.hi, s.step), std::make_tuple(c.want.lo, c.want.hi, c.want.step)) << c.min;
    }
    PlotScale s;
    EXPECT_FALSE(plot_nice_scale(2, 1, 5, &s));
    EXPECT_FALSE(plot_nice_scale(1, 2, 5, nullptr));
}

TEST(Plot, SegmentClipping) {
    const PlotRect r{0, 0, 11, 11};  // pixels 0..10
    const struct {
        double in[4];
        int visible;
        double out[4];
    } cases[] = {
        {{2, 2, 8, 8}, 1, {2, 2, 8, 8}},
        {{-10, 5, 20, 5}, 1, {0, 5, 10, 5}},
        {{5, -5, 5, 5}, 1, {5, 0, 5, 5}},
        {{-5, -5, 15, 15}, 1, {0, 0, 10, 10}},
        {{-5, 0, -1, 10}, 0, {-5, 0, -1, 10}},
        {{11, 0, 11, 10}, 0, {11, 0, 11, 10}},  // just past the last column
    };
    for (const auto& c : cases) {
        double v[4] = {c.in[0], c.in[1], c.in[2], c.in[3]};
        EXPECT_EQ(plot_clip_segment(&v[0], &v[1], &v[2], &v[3], r), c.visible);
        for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(v[i], c.out[i]) << c.in[0] << "," << c.in[1] << " #" << i;
    }
}

TEST(Plot, PolylinesSplitWhereTheyLeave) {
    const PlotRect r{0, 0, 101, 101};
    const struct {
        std::vector<double> xy;
        int polylines, boxes;
    } cases[] = {
        {{10, 10, 50, 50, 90, 10}, 1, 0},
        {{10, 50, 200, 50, 50, 60}, 2, 0},  // out and back in
        {{-50, 50, -10, 50}, 0, 0},
        {{50, 50}, 0, 1},                   // one reading: a dot
        {{50, 50, 50.2, 50.1}, 0, 1},       // two in one pixel: a dot
        {{150, 50}, 0, 0},
    };
    for (const auto& c : cases) {
        PlotPicture p;
        p.plot = r;
        plot_add_polyline(&p, c.xy, r, PLOT_INK_X);
        int lines = 0, boxes = 0;
        expect_clipped(p, &lines, &boxes);
        EXPECT_EQ(std::make_pair(lines, boxes), std::make_pair(c.polylines, c.boxes)) << c.xy.size();
    }
}

TEST(Plot, StripChart) {
    PlotView view;
    view.now_ms = 100000;
    const struct {
        const char* name;
        std::vector<Sample> samples;
        int polylines, boxes;
    } cases[] = {
        {"empty", {}, 0, 0},
        {"only older than a minute", {reading(30000, 0, 1, 1)}, 0, 0},
        {"one reading: a dot per series", {reading(90000, 7, 5, 5, 5, 5)}, 0, 5},
        {"a move, joined from before the window",
         {reading(39000, 0, 0, 0), reading(40500, 1, 100, 50), reading(42000, 2, 10000, 5000)}, 5, 0},
        {"a pause in sampling breaks the lines",
         {reading(50000, 0, 0, 0), reading(50200, 0, 10, 5), reading(80000, 0, 20, 10), reading(80200, 0, 30, 15)},
         10, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SampleRing ring = ring_of(c.samples);
        PlotPicture p;
        ASSERT_TRUE(plot_strip_chart(&ring, view, AREA, &p));
        int lines = 0, boxes = 0;
        expect_clipped(p, &lines, &boxes);
        EXPECT_EQ(std::make_pair(lines, boxes), std::make_pair(c.polylines, c.boxes));
        EXPECT_EQ(has_text(p, "no readings"), c.polylines + c.boxes == 0);
        EXPECT_TRUE(has_text(p, "-60 s") && has_text(p, "0 s") && has_text(p, "X") && has_text(p, "Q (right scale)"));
        EXPECT_EQ(p.values.lo % p.values.step, 0);
        EXPECT_TRUE(has_text(p, plot_label(p.values.lo)) && has_text(p, plot_label(p.q.hi)));
    }
    SampleRing ring = ring_of({reading(90000, 7, 5, 5)});
    PlotPicture p;
    EXPECT_FALSE(plot_strip_chart(&ring, view, PlotRect{0, 0, 60, 40}, &p));
    EXPECT_TRUE(p.items.empty());
    EXPECT_FALSE(plot_strip_chart(&ring, view, AREA, nullptr));
}

TEST(Plot, PlaneViewKeepsEqualScales) {
    PlotView view;
    view.now_ms = 100000;
    const struct {
        const char* name;
        std::vector<Sample> samples;
        PlotRect area;
    } cases[] = {
        {"wide area, line x = 2y", {reading(97000, 0, 0, 0), reading(98500, 0, 5000, 2500), reading(99900, 0, 10000, 5000)}, AREA},
        {"tall area, line x = 2y", {reading(98500, 0, 0, 0), reading(99900, 0, 10000, 5000)}, {0, 0, 200, 500}},
        {"one reading", {reading(99000, 0, 5, 7)}, AREA},
        {"extreme values", {reading(98000, 0, INT32_MIN, INT32_MAX), reading(99000, 0, INT32_MAX, INT32_MIN)}, AREA},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SampleRing ring = ring_of(c.samples);
        PlotPicture p;
        ASSERT_TRUE(plot_plane_view(&ring, view, c.area, &p));
        expect_clipped(p);
        const PlotItem* path = nullptr;
        const PlotItem* marker = nullptr;
        for (const PlotItem& it : p.items) {
            if (it.kind == PLOT_POLYLINE) path = &it;
            if (it.kind == PLOT_FILLED_BOX && it.ink == PLOT_INK_MARKER) marker = &it;
        }
        ASSERT_NE(marker, nullptr);
        const Sample& last = c.samples.back();
        EXPECT_TRUE(has_text(p, "X " + plot_label(last.x) + "   Y " + plot_label(last.y)));
        if (c.samples.size() == 1) {
            EXPECT_EQ(path, nullptr);
            continue;
        }
        ASSERT_NE(path, nullptr);
        // Equal scales: a path with dx = 2 dy on the machine is drawn with dx = 2 dy.
        const PlotPoint a = path->points.front(), b = path->points.back();
        if (c.samples.back().x == 10000) {
            EXPECT_NEAR(double(b.x - a.x) / double(a.y - b.y), 2.0, 0.05);
        }
        // The marker sits on the path's last point.
        EXPECT_LE(std::abs((marker->rect.left + marker->rect.right - 1) / 2 - b.x), 1);
    }
    SampleRing empty = ring_of({});
    PlotPicture p;
    ASSERT_TRUE(plot_plane_view(&empty, view, AREA, &p));
    EXPECT_TRUE(has_text(p, "no readings"));
}

}  // namespace
