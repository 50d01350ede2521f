// The program icon, our own artwork: a navy tile in a grey frame, a white Z and a
// green cursor. Drawn at any size by sampling the shapes, so no size is hand-kept.
#include "resources/icon.h"

#include <cstdio>

const IconShape ICON_SHAPES[6] = {
    {ICON_ROUNDED_RECT, 0x404040, 0, {0, 0, 32, 32, 2}},                   // frame
    {ICON_ROUNDED_RECT, 0x102040, 0, {1, 1, 30, 30, 1}},                   // tile
    {ICON_POLYGON, 0xFFFFFF, 4, {8, 6, 24, 6, 24, 8, 8, 8}},               // Z, top bar
    {ICON_POLYGON, 0xFFFFFF, 4, {21, 8, 24, 8, 11, 20, 8, 20}},            // Z, diagonal
    {ICON_POLYGON, 0xFFFFFF, 4, {8, 20, 24, 20, 24, 22, 8, 22}},           // Z, bottom bar
    {ICON_POLYGON, 0x30D050, 4, {8, 25, 16, 25, 16, 27, 8, 27}},           // cursor
};

namespace {

// Samples per pixel edge: 64 per pixel keeps the small sizes' edges smooth; 16 are
// plenty where a pixel is a sixteenth of a grid unit or less.
int samples_for(int size) { return size >= 64 ? 4 : 8; }

bool inside(const IconShape& s, double x, double y) {
    if (s.kind == ICON_ROUNDED_RECT) {
        double left = s.v[0], top = s.v[1], right = left + s.v[2], bottom = top + s.v[3], r = s.v[4];
        if (x < left || x >= right || y < top || y >= bottom) return false;
        // Outside the corner squares the rectangle decides; inside them, the arc.
        double cx = x < left + r ? left + r : x > right - r ? right - r : x;
        double cy = y < top + r ? top + r : y > bottom - r ? bottom - r : y;
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    }
    // Convex polygon: the point lies on the same side of every edge.
    int sign = 0;
    for (int i = 0; i < s.points; ++i) {
        int j = (i + 1) % s.points;
        double cross = (s.v[2 * j] - s.v[2 * i]) * (y - s.v[2 * i + 1]) - (s.v[2 * j + 1] - s.v[2 * i + 1]) * (x - s.v[2 * i]);
        int side = cross > 0 ? 1 : cross < 0 ? -1 : 0;
        if (side == 0) continue;
        if (sign == 0) sign = side;
        else if (side != sign) return false;
    }
    return true;
}

const IconShape* shape_at(double x, double y) {
    for (int i = 5; i >= 0; --i)
        if (inside(ICON_SHAPES[i], x, y)) return &ICON_SHAPES[i];
    return nullptr;
}

void put_be32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put_chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put_be32(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_be32(out, crc32(out.data() + start, out.size() - start));
}

}  // namespace

std::vector<uint8_t> icon_rgba(int size) {
    std::vector<uint8_t> out;
    if (size < 1 || size > 1024) return out;
    out.resize(static_cast<size_t>(size) * static_cast<size_t>(size) * 4);
    const int samples = samples_for(size);
    const double unit = static_cast<double>(ICON_GRID) / size / samples;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            unsigned sum[3] = {0, 0, 0}, hits = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const IconShape* s = shape_at((px * samples + sx + 0.5) * unit, (py * samples + sy + 0.5) * unit);
                    if (!s) continue;
                    ++hits;
                    sum[0] += (s->rgb >> 16) & 0xFF;
                    sum[1] += (s->rgb >> 8) & 0xFF;
                    sum[2] += s->rgb & 0xFF;
                }
            }
            uint8_t* p = &out[(static_cast<size_t>(py) * static_cast<size_t>(size) + static_cast<size_t>(px)) * 4];
            for (int c = 0; c < 3; ++c) p[c] = hits ? static_cast<uint8_t>((sum[c] + hits / 2) / hits) : 0;
            p[3] = static_cast<uint8_t>((hits * 255 + static_cast<unsigned>(samples * samples / 2)) / static_cast<unsigned>(samples * samples));
        }
    }
    return out;
}

std::string icon_svg() {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">\n",
                  ICON_GRID, ICON_GRID, ICON_GRID, ICON_GRID);
    std::string out = buf;
    for (const IconShape& s : ICON_SHAPES) {
        if (s.kind == ICON_ROUNDED_RECT) {
            std::snprintf(buf, sizeof buf, "  <rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" rx=\"%g\" fill=\"#%06X\"/>\n",
                          s.v[0], s.v[1], s.v[2], s.v[3], s.v[4], static_cast<unsigned>(s.rgb));
            out += buf;
            continue;
        }
        out += "  <polygon points=\"";
        for (int i = 0; i < s.points; ++i) {
            std::snprintf(buf, sizeof buf, "%s%g,%g", i ? " " : "", s.v[2 * i], s.v[2 * i + 1]);
            out += buf;
        }
        std::snprintf(buf, sizeof buf, "\" fill=\"#%06X\"/>\n", static_cast<unsigned>(s.rgb));
        out += buf;
    }
    return out + "</svg>\n";
}

std::vector<uint8_t> icon_png(int size) {
    std::vector<uint8_t> rgba = icon_rgba(size);
    if (rgba.empty()) return {};
    const size_t row = static_cast<size_t>(size) * 4;
    // Each row behind a "none" filter byte, in stored deflate blocks: the build needs
    // no compression library for files this small.
    std::vector<uint8_t> raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgba.begin() + static_cast<long>(row * static_cast<size_t>(y)),
                   rgba.begin() + static_cast<long>(row * static_cast<size_t>(y + 1)));
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size();) {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
        at += n;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put_be32(z, (b << 16) | a);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put_be32(header, static_cast<uint32_t>(size));
    put_be32(header, static_cast<uint32_t>(size));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, not interlaced
    put_chunk(out, "IHDR", header);
    put_chunk(out, "IDAT", z);
    put_chunk(out, "IEND", {});
    return out;
}
