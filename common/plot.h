// The live status pictures as data: a strip chart of the last minute and an X-Y plane
// view, computed from the sample ring into lines, polylines, boxes and texts in window
// coordinates, so that each toolkit only draws them and both draw the same picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/samples.h"

enum PlotInk {
    PLOT_INK_BACKGROUND,
    PLOT_INK_FRAME,
    PLOT_INK_GRID,
    PLOT_INK_TEXT,
    PLOT_INK_X,
    PLOT_INK_Y,
    PLOT_INK_Z,
    PLOT_INK_W,
    PLOT_INK_Q,
    PLOT_INK_PATH,
    PLOT_INK_MARKER,
    PLOT_INK_COUNT
};
struct PlotRgb {
    uint8_t r, g, b;
};
// One colour per ink, for every backend.
extern const PlotRgb PLOT_INKS[PLOT_INK_COUNT];

struct PlotPoint {
    int x = 0, y = 0;
};
// Window pixels; right and bottom are one past the last pixel.
struct PlotRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

enum PlotItemKind { PLOT_LINE, PLOT_POLYLINE, PLOT_BOX, PLOT_FILLED_BOX, PLOT_TEXT };
enum PlotAlign { PLOT_ALIGN_START = 0, PLOT_ALIGN_CENTRE = 1, PLOT_ALIGN_END = 2 };

// One thing to draw. LINE: points[0] to points[1]; POLYLINE: 2 or more points;
// BOX and FILLED_BOX: rect; TEXT: text anchored at points[0], aligned by halign
// (start: left edge at the anchor) and valign (start: top edge at the anchor).
struct PlotItem {
    PlotItemKind kind = PLOT_LINE;
    PlotInk ink = PLOT_INK_FRAME;
    std::vector<PlotPoint> points;
    PlotRect rect;
    std::string text;
    int halign = PLOT_ALIGN_START, valign = PLOT_ALIGN_START;
};

// An axis from lo to hi with ticks at every multiple of step between them.
struct PlotScale {
    int64_t lo = 0, hi = 1, step = 1;
};

// Items in drawing order. plot is where the data go (empty when the area is too small).
struct PlotPicture {
    PlotRect area, plot;
    std::vector<PlotItem> items;
    PlotScale values, q;         // strip chart: X to W on the left, Q on the right
    double units_per_px_x = 0;   // plane view: both the same (equal scales)
    double units_per_px_y = 0;
};

// What a picture is drawn for: the backend's font cell and the time window.
struct PlotView {
    uint64_t now_ms = 0;      // the samples' clock (mono_ms) now
    uint32_t span_ms = 60000; // the readings shown: the last span_ms
    uint32_t gap_ms = 2000;   // readings further apart are not joined (a pause in sampling)
    int char_width = 7;       // width of a digit in the font, pixels
    int char_height = 13;
};

// The smallest 1, 2 or 5 times a power of ten that is at least at_least, never below 1.
int64_t plot_nice_step(double at_least);
// A scale covering min..max with at most max_ticks ticks (at least 2) on round values;
// min == max is widened around the value. 0 when min > max or out is null.
int plot_nice_scale(int64_t min, int64_t max, int max_ticks, PlotScale* out);
// Cuts the segment to the pixels of rect (right/bottom exclusive). 1 with the visible
// part, 0 when none is visible (the ends are then unchanged).
int plot_clip_segment(double* x0, double* y0, double* x1, double* y1, const PlotRect& rect);
// Appends the polyline through xy (x, y pairs) clipped to clip: one polyline per
// visible run; a run of one point becomes a 3 x 3 filled box.
void plot_add_polyline(PlotPicture* picture, const std::vector<double>& xy, const PlotRect& clip, PlotInk ink);
// Plain decimal, as the operator reads numbers everywhere else.
std::string plot_label(int64_t value);

// The strip chart of the last view.span_ms into area: X, Y, Z, W against the left
// scale, Q against its own right scale, the time axis in seconds, a legend on top.
// 1 when drawn; 0 with no items when picture is null or area is too small for it.
int plot_strip_chart(const SampleRing* ring, const PlotView& view, const PlotRect& area, PlotPicture* picture);
// The X-Y plane view of the last view.span_ms: the path and the current position, with
// equal scales on both axes. 1 when drawn; 0 as for plot_strip_chart.
int plot_plane_view(const SampleRing* ring, const PlotView& view, const PlotRect& area, PlotPicture* picture);
