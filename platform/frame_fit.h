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
