// Where a window's outer frame may stay on a screen: one rule for every backend of
// ui_set_window_rect, on plain rectangles in pixels.
#pragma once

#include <algorithm>

struct WindowFrame {
    int x, y, width, height;
};

// At least this much of a frame must lie on a screen for the operator to grab it.
constexpr int FRAME_REACH_WIDTH = 40, FRAME_REACH_HEIGHT = 20;

// The frame with every number within what a screen could be, so sums cannot overflow.
constexpr int FRAME_FARTHEST = 1 << 20;
inline WindowFrame frame_fenced(WindowFrame f) {
    auto fence = [](int v, int lo) { return std::max(lo, std::min(v, FRAME_FARTHEST)); };
    return WindowFrame{fence(f.x, -FRAME_FARTHEST), fence(f.y, -FRAME_FARTHEST), fence(f.width, 0), fence(f.height, 0)};
}

// 1 when enough of the frame lies on the area and its top edge (the title bar) is on it.
inline int frame_reachable(WindowFrame f, WindowFrame area) {
    using wide = long long;  // edges of far-off frames do not overflow
    wide left = std::max<wide>(f.x, area.x), right = std::min<wide>(wide{f.x} + f.width, wide{area.x} + area.width);
    wide top = std::max<wide>(f.y, area.y), bottom = std::min<wide>(wide{f.y} + f.height, wide{area.y} + area.height);
    return right - left >= std::min(FRAME_REACH_WIDTH, f.width) &&
           bottom - top >= std::min(FRAME_REACH_HEIGHT, f.height) && f.y >= area.y &&
           wide{f.y} <= wide{area.y} + area.height - FRAME_REACH_HEIGHT;
}

// The frame moved wholly onto the area; where it is larger, its top-left corner first.
inline WindowFrame frame_onto(WindowFrame f, WindowFrame area) {
    using wide = long long;
    f.x = static_cast<int>(std::max<wide>(std::min<wide>(f.x, wide{area.x} + area.width - f.width), area.x));
    f.y = static_cast<int>(std::max<wide>(std::min<wide>(f.y, wide{area.y} + area.height - f.height), area.y));
    return f;
}

// Where a new window of the given frame size goes beside its owner's frame, wholly on the
// area: right of the owner, else left, else below, else above, clear of it and level with
// its top (or left) edge as far as the area lets it. Where none is clear, the side with
// more room, over the owner's edge no further than the area needs: that leaves more of
// the owner (its bottom row of buttons) in sight than a place over its middle. 0 when the
// window is larger than the area.
inline int frame_beside(WindowFrame owner, int width, int height, WindowFrame area, WindowFrame* place) {
    using wide = long long;
    owner = frame_fenced(owner);
    area = frame_fenced(area);
    if (width <= 0 || height <= 0 || width > area.width || height > area.height) return 0;
    wide owner_right = wide{owner.x} + owner.width, area_right = wide{area.x} + area.width;
    auto fits = [&](wide x, wide y) {
        return x >= area.x && y >= area.y && x + width <= area_right && y + height <= wide{area.y} + area.height;
    };
    // Slid along the owner's side to stay on the area.
    auto along = [](wide start, int size, int lo, int span) {
        return std::max<wide>(lo, std::min<wide>(start, wide{lo} + span - size));
    };
    wide y_side = along(owner.y, height, area.y, area.height), x_side = along(owner.x, width, area.x, area.width);
    const wide tries[4][2] = {{owner_right, y_side},
                              {wide{owner.x} - width, y_side},
                              {x_side, wide{owner.y} + owner.height},
                              {x_side, wide{owner.y} - height}};
    bool clear = false;
    wide x = area_right - owner_right >= owner.x - wide{area.x} ? area_right - width : wide{area.x}, y = y_side;
    for (const auto& t : tries)
        if (!clear && fits(t[0], t[1])) clear = true, x = t[0], y = t[1];
    if (place) *place = WindowFrame{static_cast<int>(x), static_cast<int>(y), width, height};
    return 1;
}
