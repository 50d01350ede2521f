// The drawn icon: the artwork's colours where its shapes are, at every size; PNG files
// that decode back to the same pixels; an SVG with every shape.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/icon.h"

namespace {

uint32_t pixel(const std::vector<uint8_t>& rgba, int size, double gx, double gy) {
    size_t x = static_cast<size_t>(gx * size / ICON_GRID), y = static_cast<size_t>(gy * size / ICON_GRID);
    const uint8_t* p = &rgba.at((y * static_cast<size_t>(size) + x) * 4);
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

TEST(Icon, ShapesKeepTheirColoursAtEverySize) {
    struct Probe {
        double x, y;
        uint32_t rgba;
        int min_size;  // below it the spot is narrower than a pixel
    } probes[] = {
        {3, 16, 0x102040FF, 16},   // tile
        {12, 7, 0xFFFFFFFF, 16},    // top bar
        {12, 21, 0xFFFFFFFF, 16},   // bottom bar
        {16, 14, 0xFFFFFFFF, 48},  // diagonal
        {11, 26, 0x30D050FF, 32},   // cursor
    };
    for (int size : ICON_SIZES) {
        std::vector<uint8_t> rgba = icon_rgba(size);
        ASSERT_EQ(rgba.size(), static_cast<size_t>(size * size * 4));
        for (const Probe& p : probes) {
            if (size < p.min_size) continue;
            EXPECT_EQ(pixel(rgba, size, p.x, p.y), p.rgba) << size << " at " << p.x << "," << p.y;
        }
        EXPECT_LT(rgba[3], 255) << size << ": rounded corner";
    }
    for (int bad : {0, -1, 1025}) {
        EXPECT_TRUE(icon_rgba(bad).empty()) << bad;
        EXPECT_TRUE(icon_png(bad).empty()) << bad;
    }
}

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b.at(at)} << 24 | uint32_t{b.at(at + 1)} << 16 | uint32_t{b.at(at + 2)} << 8 | b.at(at + 3);
}

uint32_t crc(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = c & 1 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

TEST(Icon, PngDecodesToThePixels) {
    for (int size : {16, 256}) {  // 256 needs several deflate blocks
        std::vector<uint8_t> png = icon_png(size);
        ASSERT_GT(png.size(), 8u);
        EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
        std::vector<uint8_t> z;
        std::vector<std::string> types;
        for (size_t at = 8; at + 12 <= png.size();) {
            size_t n = be32(png, at);
            ASSERT_LE(at + 12 + n, png.size());
            types.emplace_back(png.begin() + static_cast<long>(at + 4), png.begin() + static_cast<long>(at + 8));
            EXPECT_EQ(be32(png, at + 8 + n), crc(&png[at + 4], n + 4)) << types.back();
            if (types.back() == "IHDR") {
                EXPECT_EQ(be32(png, at + 8), static_cast<uint32_t>(size));
                EXPECT_EQ(png[at + 16], 8);
                EXPECT_EQ(png[at + 17], 6);  // RGBA
            }
            if (types.back() == "IDAT") z.insert(z.end(), png.begin() + static_cast<long>(at + 8), png.begin() + static_cast<long>(at + 8 + n));
            at += 12 + n;
        }
        EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
        std::vector<uint8_t> raw;
        bool last = false;
        for (size_t at = 2; !last;) {
            ASSERT_LE(at + 5, z.size());
            last = z[at] & 1;
            size_t n = z[at + 1] | z[at + 2] << 8;
            EXPECT_EQ(n ^ 0xFFFF, static_cast<size_t>(z[at + 3] | z[at + 4] << 8));
            ASSERT_LE(at + 5 + n, z.size());
            raw.insert(raw.end(), z.begin() + static_cast<long>(at + 5), z.begin() + static_cast<long>(at + 5 + n));
            at += 5 + n;
        }
        std::vector<uint8_t> want = icon_rgba(size), got;
        const size_t row = static_cast<size_t>(size) * 4;
        ASSERT_EQ(raw.size(), (row + 1) * static_cast<size_t>(size));
        for (size_t y = 0; y < static_cast<size_t>(size); ++y) {
            EXPECT_EQ(raw[y * (row + 1)], 0) << "filter";
            got.insert(got.end(), raw.begin() + static_cast<long>(y * (row + 1) + 1), raw.begin() + static_cast<long>((y + 1) * (row + 1)));
        }
        EXPECT_TRUE(got == want) << size;
    }
}

TEST(Icon, SvgHasEveryShape) {
    std::string svg = icon_svg();
    EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
    EXPECT_NE(svg.find("viewBox=\"0 0 32 32\""), std::string::npos);
    EXPECT_NE(svg.find("<rect x=\"1\" y=\"1\" width=\"30\" height=\"30\" rx=\"1\" fill=\"#102040\"/>"), std::string::npos);
    EXPECT_NE(svg.find("<polygon points=\"8,25 16,25 16,27 8,27\" fill=\"#30D050\"/>"), std::string::npos);
    size_t shapes = 0;
    for (size_t at = 0; (at = svg.find(" fill=\"#", at)) != std::string::npos; ++at) ++shapes;
    EXPECT_EQ(shapes, sizeof ICON_SHAPES / sizeof ICON_SHAPES[0]);
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

}  // namespace
