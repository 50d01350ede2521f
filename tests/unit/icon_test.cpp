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

// A reader of deflate streams made of fixed-code blocks, as the icon's are, written
// from the format's description apart from the writer. false on anything else.
bool inflate_fixed(const std::vector<uint8_t>& z, std::vector<uint8_t>* out) {
    size_t bit = 16;  // after the zlib header
    auto take = [&](int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++bit) v |= uint32_t{(z.at(bit / 8) >> (bit % 8)) & 1u} << i;
        return v;
    };
    auto code = [&](int n) {  // Huffman bits, most significant first
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 1 | take(1);
        return v;
    };
    const unsigned LB[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    const unsigned DB[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    for (bool last = false; !last;) {
        last = take(1);
        if (take(2) != 1) return false;
        for (;;) {
            uint32_t c = code(7), sym;
            if (c <= 0x17) sym = 256 + c;
            else if ((c = c << 1 | take(1)) >= 0x30 && c <= 0xBF) sym = c - 0x30;
            else if (c >= 0xC0 && c <= 0xC7) sym = 280 + c - 0xC0;
            else sym = 144 + ((c << 1 | take(1)) - 0x190);
            if (sym < 256) {
                out->push_back(static_cast<uint8_t>(sym));
                continue;
            }
            if (sym == 256) break;
            unsigned l = sym - 257, length = LB[l] + take(l < 8 || l == 28 ? 0 : static_cast<int>((l - 4) / 4));
            unsigned d = code(5), distance = DB[d] + take(d < 4 ? 0 : static_cast<int>((d - 2) / 2));
            if (l > 28 || d > 29 || distance > out->size()) return false;
            for (unsigned i = 0; i < length; ++i) out->push_back((*out)[out->size() - distance]);
        }
    }
    return true;
}

TEST(Icon, PngDecodesToThePixels) {
    for (int size : {16, 256}) {
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
        ASSERT_TRUE(inflate_fixed(z, &raw)) << size;
        if (size == 256) {
            EXPECT_LT(png.size() * 8, static_cast<size_t>(size * size * 4)) << "compressed";
        }
        std::vector<uint8_t> want = icon_rgba(size), got;
        const size_t row = static_cast<size_t>(size) * 4;
        ASSERT_EQ(raw.size(), (row + 1) * static_cast<size_t>(size));
        for (size_t y = 0; y < static_cast<size_t>(size); ++y) {
            ASSERT_EQ(raw[y * (row + 1)], 1) << "sub filter";
            for (size_t i = 0; i < row; ++i)
                got.push_back(static_cast<uint8_t>(raw[y * (row + 1) + 1 + i] + (i >= 4 ? got[got.size() - 4] : 0)));
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
