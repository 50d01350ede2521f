// The program icon's artwork, described once as shapes on a 32-unit grid: the window
// icon, the .ico, the desktop's PNGs at every size and the SVG are all drawn from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum IconShapeKind { ICON_ROUNDED_RECT, ICON_POLYGON };

struct IconShape {
    IconShapeKind kind;
    uint32_t rgb;  // 0xRRGGBB, opaque
    int points;    // a polygon's corners, 3 or 4, convex; 0 for a rectangle
    double v[8];   // rectangle: x, y, width, height, corner radius; polygon: x0, y0, x1, y1, ...
};

constexpr int ICON_GRID = 32;  // the shapes' coordinates run from 0 to ICON_GRID
extern const IconShape ICON_SHAPES[6];  // back to front

// The sizes installed for the desktop; the .ico holds ICON_ICO_SIZES.
constexpr int ICON_SIZES[7] = {16, 24, 32, 48, 64, 128, 256};
constexpr int ICON_ICO_SIZES[4] = {16, 32, 48, 256};

// size x size pixels of 4 bytes (R, G, B, A; straight alpha), top row first. Edges are
// anti-aliased. Empty for a size outside 1..1024.
std::vector<uint8_t> icon_rgba(int size);
// The same shapes as a scalable SVG document.
std::string icon_svg();
// A PNG file of icon_rgba(size); empty for a size icon_rgba refuses.
std::vector<uint8_t> icon_png(int size);

// icon_rgba at every ICON_SIZES size, written at build time (make_icons --cpp) into
// the programs that show the icon, so no start draws it.
struct IconImage {
    int size;
    const unsigned char* rgba;  // size x size x 4 bytes, as icon_rgba
};
constexpr int ICON_IMAGE_COUNT = sizeof ICON_SIZES / sizeof ICON_SIZES[0];
extern const IconImage ICON_IMAGES[ICON_IMAGE_COUNT];
