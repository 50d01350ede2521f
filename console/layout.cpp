// Every resize is computed afresh from the snapshot, so no error builds up.
#include "console/layout.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

Rect layout_place(Rect r, int w0, int h0, int w, int h) {
    int dw = w - w0;
    if (dw < 0) dw = 0;
    int half = h0 / 2;
    int dh = h - h0;
    if (dh < -half) dh = -half;
    if (r.y + r.height <= half) return Rect{r.x + dw / 2, r.y, r.width, r.height};
    if (r.y < half) return Rect{r.x, r.y, r.width + dw, r.height + dh};
    return Rect{r.x + dw / 2, r.y + dh, r.width, r.height};
}

ChildLayout* layout_snapshot(UiWindow* dialog) {
    if (!dialog) return nullptr;
    std::vector<ChildLayout> entries;
    int w0 = 0, h0 = 0;
    ui_client_size(dialog, &w0, &h0);
    entries.push_back(ChildLayout{0, 0, 0, w0, h0});
    int count = ui_child_count(dialog);
    for (int i = 0; i < count; ++i) {
        ChildLayout e{i + 1, 0, 0, 0, 0};
        if (ui_child_rect(dialog, i, &e.x, &e.y, &e.width, &e.height)) entries.push_back(e);
    }
    entries.push_back(ChildLayout{-1, 0, 0, 0, 0});
    ChildLayout* out = new (std::nothrow) ChildLayout[entries.size()];
    if (!out) return nullptr;
    for (std::size_t i = 0; i < entries.size(); ++i) out[i] = entries[i];
    return out;
}

void layout_free(ChildLayout* layout) { delete[] layout; }

namespace {

bool overlap(const Rect& a, const Rect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// Whether a w x h client shows every child as designed: inside the margins, not
// squeezed to nothing, and clear of the children it was clear of.
bool fits(const std::vector<Rect>& designed, int w0, int h0, int right, int bottom, int w, int h) {
    std::vector<Rect> placed;
    placed.reserve(designed.size());
    for (const Rect& r : designed) {
        Rect p = layout_place(r, w0, h0, w, h);
        // A child already cut off as designed is held to nothing more.
        bool out_right = p.x + p.width > w - right && r.x + r.width <= w0 - right;
        bool out_below = p.y + p.height > h - bottom && r.y + r.height <= h0 - bottom;
        if (p.width <= 0 || p.height <= 0 || out_right || out_below) return false;
        placed.push_back(p);
    }
    for (std::size_t i = 0; i < placed.size(); ++i)
        for (std::size_t j = i + 1; j < placed.size(); ++j)
            if (overlap(placed[i], placed[j]) && !overlap(designed[i], designed[j])) return false;
    return true;
}

}  // namespace

void layout_min_size(const ChildLayout* layout, int* width, int* height) {
    int w = 0, h = 0;
    if (layout && layout[0].window == 0) {
        int w0 = layout[0].width, h0 = layout[0].height;
        std::vector<Rect> designed;
        int left = w0, top = h0, right_edge = 0, bottom_edge = 0;
        for (const ChildLayout* e = layout + 1; e->window > 0; ++e) {
            designed.push_back(Rect{e->x, e->y, e->width, e->height});
            left = std::min(left, e->x);
            top = std::min(top, e->y);
            right_edge = std::max(right_edge, e->x + e->width);
            bottom_edge = std::max(bottom_edge, e->y + e->height);
        }
        // The designed margins, never negative: a child already clipped as designed
        // asks for no more than the designed size.
        int right = std::max(0, std::min(w0 - right_edge, std::max(left, 0)));
        int bottom = std::max(0, std::min(h0 - bottom_edge, std::max(top, 0)));
        // Nothing moves sideways or narrows below the designed width, so the width is
        // what the widest child needs; the height is searched, since rows move up and
        // the stretching child gives up height only to a limit.
        w = std::min(w0, std::max(right_edge + right, 0));
        h = h0;
        while (h > 1 && fits(designed, w0, h0, right, bottom, w, h - 1)) --h;
    }
    if (width) *width = w;
    if (height) *height = h;
}

void layout_apply(UiWindow* dialog, const ChildLayout* layout) {
    if (!dialog || !layout || layout[0].window != 0) return;
    int w = 0, h = 0;
    ui_client_size(dialog, &w, &h);
    for (const ChildLayout* e = layout + 1; e->window > 0; ++e) {
        Rect r = layout_place(Rect{e->x, e->y, e->width, e->height}, layout[0].width, layout[0].height, w, h);
        ui_move_child(dialog, e->window - 1, r.x, r.y, r.width, r.height);
    }
    ui_redraw(dialog);
}
