// The live status pictures computed once, in window coordinates: scales with round
// ticks, clipping, the strip chart and the plane view.
#include "common/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

const PlotRgb PLOT_INKS[PLOT_INK_COUNT] = {
    {255, 255, 255},  // background
    {96, 96, 96},     // frame
    {224, 224, 224},  // grid
    {0, 0, 0},        // text
    {214, 39, 40},    // X red
    {44, 160, 44},    // Y green
    {31, 119, 180},   // Z blue
    {148, 103, 189},  // W violet
    {255, 127, 14},   // Q orange
    {31, 119, 180},   // path
    {214, 39, 40},    // marker
};

namespace {

// Below these the picture would be labels without room for data.
constexpr int MIN_PLOT_PX = 24;
constexpr int TICK_GAP_PX = 4;
constexpr int MARKER_HALF = 3;

PlotItem text_item(int x, int y, std::string text, int halign, int valign) {
    PlotItem t;
    t.kind = PLOT_TEXT;
    t.ink = PLOT_INK_TEXT;
    t.points = {{x, y}};
    t.text = std::move(text);
    t.halign = halign;
    t.valign = valign;
    return t;
}

PlotItem line_item(int x0, int y0, int x1, int y1, PlotInk ink) {
    PlotItem l;
    l.kind = PLOT_LINE;
    l.ink = ink;
    l.points = {{x0, y0}, {x1, y1}};
    return l;
}

PlotItem box_item(const PlotRect& r, PlotInk ink, bool filled) {
    PlotItem b;
    b.kind = filled ? PLOT_FILLED_BOX : PLOT_BOX;
    b.ink = ink;
    b.rect = r;
    return b;
}

// A box cut to clip; false when nothing is left.
bool clip_box(PlotRect* r, const PlotRect& clip) {
    r->left = std::max(r->left, clip.left);
    r->top = std::max(r->top, clip.top);
    r->right = std::min(r->right, clip.right);
    r->bottom = std::min(r->bottom, clip.bottom);
    return r->left < r->right && r->top < r->bottom;
}

void add_marker(PlotPicture* p, int x, int y, int half, const PlotRect& clip, PlotInk ink) {
    PlotRect r{x - half, y - half, x + half + 1, y + half + 1};
    if (clip_box(&r, clip)) p->items.push_back(box_item(r, ink, true));
}

int text_px(const std::string& s, const PlotView& v) { return static_cast<int>(s.size()) * v.char_width; }

int round_px(double v) { return static_cast<int>(std::lround(v)); }

bool too_small(const PlotRect& r) { return r.right - r.left < MIN_PLOT_PX || r.bottom - r.top < MIN_PLOT_PX; }

// Ticks that fit into px pixels when each needs at least gap_px.
int ticks_for(int px, int gap_px) { return std::max(2, px / std::max(1, gap_px) + 1); }

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

int64_t ceil_div(int64_t a, int64_t b) { return -floor_div(-a, b); }

void no_readings(PlotPicture* p) {
    const PlotRect& r = p->plot;
    p->items.push_back(text_item((r.left + r.right) / 2, (r.top + r.bottom) / 2, "no readings", PLOT_ALIGN_CENTRE,
                                 PLOT_ALIGN_CENTRE));
}

}  // namespace

int64_t plot_nice_step(double at_least) {
    if (!(at_least > 1)) return 1;  // also NaN
    const int64_t LIMIT = INT64_C(1000000000000000000);
    for (int64_t decade = 1; decade <= LIMIT; decade *= 10)
        for (int64_t m : {1, 2, 5})
            if (static_cast<double>(m * decade) >= at_least) return m * decade;
    return LIMIT;
}

int plot_nice_scale(int64_t min, int64_t max, int max_ticks, PlotScale* out) {
    if (!out || min > max) return 0;
    if (max_ticks < 2) max_ticks = 2;
    if (min == max) {  // one value: a small range around it, the value on a tick
        --min;
        ++max;
    }
    // The step grows until the rounded-out ends need no more than max_ticks ticks.
    int64_t step = plot_nice_step(static_cast<double>(max - min) / (max_ticks - 1));
    for (;;) {
        int64_t lo = floor_div(min, step) * step, hi = ceil_div(max, step) * step;
        if ((hi - lo) / step + 1 <= max_ticks) {
            *out = PlotScale{lo, hi, step};
            return 1;
        }
        step = plot_nice_step(static_cast<double>(step) + 1);
    }
}

int plot_clip_segment(double* x0, double* y0, double* x1, double* y1, const PlotRect& r) {
    // Liang-Barsky against the centres of the edge pixels.
    const double left = r.left, right = r.right - 1, top = r.top, bottom = r.bottom - 1;
    if (left > right || top > bottom) return 0;
    const double dx = *x1 - *x0, dy = *y1 - *y0;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {*x0 - left, right - *x0, *y0 - top, bottom - *y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return 0;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0) {
            if (t > t1) return 0;
            if (t > t0) t0 = t;
        } else {
            if (t < t0) return 0;
            if (t < t1) t1 = t;
        }
    }
    const double ax = *x0, ay = *y0;
    *x0 = ax + t0 * dx;
    *y0 = ay + t0 * dy;
    *x1 = ax + t1 * dx;
    *y1 = ay + t1 * dy;
    return 1;
}

void plot_add_polyline(PlotPicture* picture, const std::vector<double>& xy, const PlotRect& clip, PlotInk ink) {
    if (!picture) return;
    const size_t n = xy.size() / 2;
    std::vector<PlotPoint> run;
    auto flush = [&]() {
        if (run.size() == 1) {
            add_marker(picture, run[0].x, run[0].y, 1, clip, ink);
        } else if (run.size() > 1) {
            PlotItem item;
            item.kind = PLOT_POLYLINE;
            item.ink = ink;
            item.points = run;
            picture->items.push_back(std::move(item));
        }
        run.clear();
    };
    auto append = [&](double x, double y) {
        PlotPoint pt{round_px(x), round_px(y)};
        if (run.empty() || run.back().x != pt.x || run.back().y != pt.y) run.push_back(pt);
    };
    if (n == 1) {
        double x = xy[0], y = xy[1], x1 = x, y1 = y;
        if (plot_clip_segment(&x, &y, &x1, &y1, clip)) append(x, y);
    }
    for (size_t i = 0; i + 1 < n; ++i) {
        double x0 = xy[2 * i], y0 = xy[2 * i + 1], x1 = xy[2 * i + 2], y1 = xy[2 * i + 3];
        const double ox0 = x0, oy0 = y0, ox1 = x1, oy1 = y1;
        if (!plot_clip_segment(&x0, &y0, &x1, &y1, clip)) {
            flush();
            continue;
        }
        if (x0 != ox0 || y0 != oy0) flush();  // came in from outside: a new run
        append(x0, y0);
        append(x1, y1);
        if (x1 != ox1 || y1 != oy1) flush();  // left the rectangle
    }
    flush();
}

std::string plot_label(int64_t value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value));
    return buf;
}

namespace {

struct Series {
    PlotInk ink;
    const char* name;
    int64_t (*value)(const Sample&);
    bool right;  // on the Q scale
};

// Drawn in this order, so X ends on top; the legend lists them the other way round.
const Series STRIP_SERIES[] = {
    {PLOT_INK_Q, "Q (right scale)", [](const Sample& s) -> int64_t { return s.q; }, true},
    {PLOT_INK_W, "W", [](const Sample& s) -> int64_t { return s.w; }, false},
    {PLOT_INK_Z, "Z", [](const Sample& s) -> int64_t { return s.z; }, false},
    {PLOT_INK_Y, "Y", [](const Sample& s) -> int64_t { return s.y; }, false},
    {PLOT_INK_X, "X", [](const Sample& s) -> int64_t { return s.x; }, false},
};

// Seconds between time ticks, the first whose labels do not touch.
const int TIME_STEPS_S[] = {1, 2, 5, 10, 15, 20, 30, 60, 120, 300, 600, 1800, 3600};

// The shown readings: [first, end) of the ring, all within the view's window.
struct Shown {
    size_t first = 0, end = 0;
};

Shown shown_readings(const SampleRing* ring, const PlotView& v) {
    Shown s;
    const uint64_t start = v.now_ms > v.span_ms ? v.now_ms - v.span_ms : 0;
    s.first = samples_first_since(ring, start);
    s.end = samples_first_since(ring, v.now_ms + 1);
    if (s.end < s.first) s.end = s.first;
    return s;
}

// The least and greatest of the values added; 0..0 when none was.
struct Range {
    bool any = false;
    int64_t lo = 0, hi = 0;
};

void range_add(Range* r, int64_t v) {
    r->lo = r->any ? std::min(r->lo, v) : v;
    r->hi = r->any ? std::max(r->hi, v) : v;
    r->any = true;
}

// Empties the picture for area; false when there is nothing to draw it for.
bool begin_picture(const SampleRing* ring, const PlotView& v, const PlotRect& area, PlotPicture* p, Shown* shown) {
    if (!p) return false;
    *p = PlotPicture();
    p->area = area;
    if (v.span_ms == 0 || v.char_width <= 0 || v.char_height <= 0) return false;
    *shown = shown_readings(ring, v);
    return true;
}

// Calls draw(xy) for each run of readings from..end whose neighbours are at most gap_ms
// apart.
template <typename ToXY, typename Draw>
void gap_runs(const SampleRing* ring, size_t from, size_t end, uint32_t gap_ms, ToXY to_xy, Draw draw) {
    std::vector<double> xy;
    const Sample* prev = nullptr;
    for (size_t i = from; i < end; ++i) {
        const Sample* s = samples_at(ring, i);
        if (prev && s->mono_ms - prev->mono_ms > gap_ms) {
            draw(xy);
            xy.clear();
        }
        double x = 0, y = 0;
        to_xy(*s, &x, &y);
        xy.push_back(x);
        xy.push_back(y);
        prev = s;
    }
    if (!xy.empty()) draw(xy);
}

int widest_label(const PlotScale& s, const PlotView& v) {
    return std::max(text_px(plot_label(s.lo), v), text_px(plot_label(s.hi), v));
}

void add_legend(PlotPicture* p, const PlotView& v, int x, int y) {
    const int swatch = 2 * v.char_width + 2;
    for (int i = static_cast<int>(sizeof STRIP_SERIES / sizeof STRIP_SERIES[0]) - 1; i >= 0; --i) {
        const Series& s = STRIP_SERIES[i];
        p->items.push_back(line_item(x, y, x + swatch, y, s.ink));
        p->items.push_back(line_item(x, y + 1, x + swatch, y + 1, s.ink));
        x += swatch + v.char_width / 2 + 1;
        p->items.push_back(text_item(x, y, s.name, PLOT_ALIGN_START, PLOT_ALIGN_CENTRE));
        x += text_px(s.name, v) + 2 * v.char_width;
    }
}

}  // namespace

int plot_strip_chart(const SampleRing* ring, const PlotView& v, const PlotRect& area, PlotPicture* p) {
    Shown shown;
    if (!begin_picture(ring, v, area, p, &shown)) return 0;
    const bool any = shown.end > shown.first;
    Range values, q;
    for (size_t i = shown.first; i < shown.end; ++i) {
        const Sample* s = samples_at(ring, i);
        for (int64_t val : {s->x, s->y, s->z, s->w}) range_add(&values, val);
        range_add(&q, s->q);
    }
    // The legend sits above the half of the top value label that reaches up.
    const int top_margin = v.char_height * 3 / 2 + 8, bottom_margin = v.char_height + 6;
    const int plot_h = area.bottom - area.top - top_margin - bottom_margin;
    if (plot_h < MIN_PLOT_PX) return 0;
    const int ticks = ticks_for(plot_h - 1, 2 * v.char_height + 4);
    plot_nice_scale(values.lo, values.hi, ticks, &p->values);
    plot_nice_scale(q.lo, q.hi, ticks, &p->q);
    PlotRect r{area.left + widest_label(p->values, v) + v.char_width + 2 * TICK_GAP_PX, area.top + top_margin,
               area.right - widest_label(p->q, v) - v.char_width - 2 * TICK_GAP_PX, area.bottom - bottom_margin};
    if (too_small(r)) return 0;
    p->plot = r;
    const int w = r.right - r.left, h = r.bottom - r.top;

    auto x_of = [&](uint64_t t) {
        return r.left + (w - 1) - static_cast<double>(static_cast<int64_t>(v.now_ms - t)) * (w - 1) / v.span_ms;
    };
    auto y_of = [&](int64_t val, const PlotScale& s) {
        return (r.bottom - 1) - static_cast<double>(val - s.lo) * (h - 1) / static_cast<double>(s.hi - s.lo);
    };

    p->items.push_back(box_item(r, PLOT_INK_BACKGROUND, true));
    for (int64_t t = p->values.lo; t <= p->values.hi; t += p->values.step) {
        int y = round_px(y_of(t, p->values));
        p->items.push_back(line_item(r.left, y, r.right - 1, y, PLOT_INK_GRID));
        p->items.push_back(text_item(r.left - TICK_GAP_PX, y, plot_label(t), PLOT_ALIGN_END, PLOT_ALIGN_CENTRE));
    }
    for (int64_t t = p->q.lo; t <= p->q.hi; t += p->q.step) {
        int y = round_px(y_of(t, p->q));
        p->items.push_back(line_item(r.right - 1, y, r.right - 1 + TICK_GAP_PX / 2, y, PLOT_INK_FRAME));
        p->items.push_back(text_item(r.right - 1 + TICK_GAP_PX, y, plot_label(t), PLOT_ALIGN_START, PLOT_ALIGN_CENTRE));
    }
    // The time axis: seconds before now, as few ticks as keep the labels apart.
    const int span_s = static_cast<int>((v.span_ms + 999) / 1000);
    const int label_px = text_px("-" + std::to_string(span_s) + " s", v) + v.char_width;
    int step_s = TIME_STEPS_S[sizeof TIME_STEPS_S / sizeof TIME_STEPS_S[0] - 1];
    for (int s : TIME_STEPS_S) {
        if (static_cast<double>(s) * 1000 * (w - 1) / v.span_ms >= label_px) {
            step_s = s;
            break;
        }
    }
    for (int64_t back = 0; back * 1000 <= v.span_ms; back += step_s) {
        int x = round_px(x_of(v.now_ms - static_cast<uint64_t>(back) * 1000));
        p->items.push_back(line_item(x, r.top, x, r.bottom - 1, PLOT_INK_GRID));
        p->items.push_back(text_item(x, r.bottom + TICK_GAP_PX / 2, back ? "-" + std::to_string(back) + " s" : "0 s",
                                     PLOT_ALIGN_CENTRE, PLOT_ALIGN_START));
    }
    p->items.push_back(box_item(r, PLOT_INK_FRAME, false));
    add_legend(p, v, r.left, area.top + v.char_height / 2 + 2);

    if (!any) {
        no_readings(p);
        return 1;
    }
    // The reading before the window joins in from the left edge, cut by the clip.
    const size_t from = shown.first > 0 ? shown.first - 1 : 0;
    for (const Series& s : STRIP_SERIES) {
        const PlotScale& scale = s.right ? p->q : p->values;
        gap_runs(
            ring, from, shown.end, v.gap_ms,
            [&](const Sample& smp, double* x, double* y) {
                *x = x_of(smp.mono_ms);
                *y = y_of(s.value(smp), scale);
            },
            [&](const std::vector<double>& xy) { plot_add_polyline(p, xy, r, s.ink); });
    }
    return 1;
}

int plot_plane_view(const SampleRing* ring, const PlotView& v, const PlotRect& area, PlotPicture* p) {
    Shown shown;
    if (!begin_picture(ring, v, area, p, &shown)) return 0;
    const bool any = shown.end > shown.first;
    Range xs, ys;
    for (size_t i = shown.first; i < shown.end; ++i) {
        range_add(&xs, samples_at(ring, i)->x);
        range_add(&ys, samples_at(ring, i)->y);
    }
    const int64_t xmin = xs.lo, xmax = xs.hi, ymin = ys.lo, ymax = ys.hi;
    const int top_margin = v.char_height * 3 / 2 + 8, bottom_margin = v.char_height + 6;
    // The margins hold the tick labels, which depend on the scale, which depends on the
    // room left: a second pass settles it.
    int left_margin = 2 * TICK_GAP_PX + 2 * v.char_width, right_margin = TICK_GAP_PX + 2 * v.char_width;
    PlotRect r;
    double u = 1, xlo = 0, ylo = 0, xhi = 0, yhi = 0;
    int64_t step = 1;
    for (int pass = 0; pass < 3; ++pass) {
        r = PlotRect{area.left + left_margin, area.top + top_margin, area.right - right_margin,
                     area.bottom - bottom_margin};
        if (too_small(r)) return 0;
        const int w = r.right - r.left, h = r.bottom - r.top;
        // Room around the path keeps the marker whole at the extremes.
        const double span_x = std::max<double>(static_cast<double>(xmax - xmin), 1);
        const double span_y = std::max<double>(static_cast<double>(ymax - ymin), 1);
        u = std::max(span_x / (w - 1), span_y / (h - 1)) * 1.1;
        const double cx = (static_cast<double>(xmin) + static_cast<double>(xmax)) / 2;
        const double cy = (static_cast<double>(ymin) + static_cast<double>(ymax)) / 2;
        xlo = cx - u * (w - 1) / 2;
        xhi = cx + u * (w - 1) / 2;
        ylo = cy - u * (h - 1) / 2;
        yhi = cy + u * (h - 1) / 2;
        const int x_label = std::max(text_px(plot_label(static_cast<int64_t>(std::floor(xlo))), v),
                                     text_px(plot_label(static_cast<int64_t>(std::ceil(xhi))), v));
        const int y_label = std::max(text_px(plot_label(static_cast<int64_t>(std::floor(ylo))), v),
                                     text_px(plot_label(static_cast<int64_t>(std::ceil(yhi))), v));
        // One step on both axes keeps the grid square.
        step = plot_nice_step(u * std::max(x_label + 2 * v.char_width, 2 * v.char_height + 4));
        const int want_left = y_label + v.char_width + 2 * TICK_GAP_PX, want_right = x_label / 2 + v.char_width;
        if (want_left == left_margin && want_right == right_margin) break;
        left_margin = want_left;
        right_margin = want_right;
    }
    p->plot = r;
    p->units_per_px_x = p->units_per_px_y = u;
    auto x_of = [&](double x) { return r.left + (x - xlo) / u; };
    auto y_of = [&](double y) { return (r.bottom - 1) - (y - ylo) / u; };

    p->items.push_back(box_item(r, PLOT_INK_BACKGROUND, true));
    for (int64_t k = static_cast<int64_t>(std::ceil(xlo / step)); k * step <= xhi; ++k) {
        int x = round_px(x_of(static_cast<double>(k * step)));
        p->items.push_back(line_item(x, r.top, x, r.bottom - 1, PLOT_INK_GRID));
        p->items.push_back(
            text_item(x, r.bottom + TICK_GAP_PX / 2, plot_label(k * step), PLOT_ALIGN_CENTRE, PLOT_ALIGN_START));
    }
    for (int64_t k = static_cast<int64_t>(std::ceil(ylo / step)); k * step <= yhi; ++k) {
        int y = round_px(y_of(static_cast<double>(k * step)));
        p->items.push_back(line_item(r.left, y, r.right - 1, y, PLOT_INK_GRID));
        p->items.push_back(text_item(r.left - TICK_GAP_PX, y, plot_label(k * step), PLOT_ALIGN_END, PLOT_ALIGN_CENTRE));
    }
    p->items.push_back(box_item(r, PLOT_INK_FRAME, false));
    if (!any) {
        no_readings(p);
        return 1;
    }
    gap_runs(
        ring, shown.first, shown.end, v.gap_ms,
        [&](const Sample& s, double* x, double* y) {
            *x = x_of(s.x);
            *y = y_of(s.y);
        },
        [&](const std::vector<double>& xy) { plot_add_polyline(p, xy, r, PLOT_INK_PATH); });
    const Sample* now = samples_at(ring, shown.end - 1);
    add_marker(p, round_px(x_of(now->x)), round_px(y_of(now->y)), MARKER_HALF, r, PLOT_INK_MARKER);
    p->items.push_back(text_item(r.left, area.top + v.char_height / 2 + 2,
                                 "X " + plot_label(now->x) + "   Y " + plot_label(now->y), PLOT_ALIGN_START,
                                 PLOT_ALIGN_CENTRE));
    return 1;
}
