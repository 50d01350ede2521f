// The program icon, our own artwork: a navy tile in a grey frame, a white Z and a
// green cursor. Drawn at any size by sampling the shapes, so no size is hand-kept.
#include "resources/icon.h"

#include <algorithm>
#include <cstdint>

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

// Deflate (RFC 1951) in one block of fixed Huffman codes, with greedy matches found
// through a hash of the next three bytes: the build needs no compression library, and
// the icon's flat shapes shrink about twentyfold.
struct BitWriter {
    std::vector<uint8_t>* out;
    uint32_t bits = 0;
    int count = 0;
    void put(uint32_t value, int n) {  // least significant bit first
        bits |= value << count;
        count += n;
        while (count >= 8) {
            out->push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    void put_reversed(uint32_t code, int n) {  // Huffman codes go most significant bit first
        uint32_t r = 0;
        for (int i = 0; i < n; ++i) r |= ((code >> i) & 1u) << (n - 1 - i);
        put(r, n);
    }
    void flush() {
        if (count > 0) out->push_back(static_cast<uint8_t>(bits));
        bits = 0;
        count = 0;
    }
};

void put_literal(BitWriter& w, unsigned v) {  // 0..287, the fixed literal/length code
    if (v < 144)
        w.put_reversed(0x30 + v, 8);
    else if (v < 256)
        w.put_reversed(0x190 + (v - 144), 9);
    else if (v < 280)
        w.put_reversed(v - 256, 7);
    else
        w.put_reversed(0xC0 + (v - 280), 8);
}

void put_match(BitWriter& w, unsigned length, unsigned distance) {
    static const unsigned LEN_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                          31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const unsigned LEN_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const unsigned DIST_BASE[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                           193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const unsigned DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int l = 28;
    while (LEN_BASE[l] > length) --l;
    put_literal(w, 257 + static_cast<unsigned>(l));
    w.put(length - LEN_BASE[l], static_cast<int>(LEN_EXTRA[l]));
    int d = 29;
    while (DIST_BASE[d] > distance) --d;
    w.put_reversed(static_cast<uint32_t>(d), 5);
    w.put(distance - DIST_BASE[d], static_cast<int>(DIST_EXTRA[d]));
}

void deflate_fixed(const std::vector<uint8_t>& data, std::vector<uint8_t>* out) {
    BitWriter w{out};
    w.put(1, 1);  // the last block
    w.put(1, 2);  // fixed codes
    constexpr size_t WINDOW = 32768, MAX_MATCH = 258, NONE = SIZE_MAX;
    std::vector<size_t> last(1u << 15, NONE);
    auto hash = [&](size_t i) {
        return ((static_cast<unsigned>(data[i]) << 10) ^ (static_cast<unsigned>(data[i + 1]) << 5) ^ data[i + 2]) &
               0x7FFFu;
    };
    size_t i = 0;
    while (i < data.size()) {
        size_t best = 0, distance = 0;
        if (i + 3 <= data.size()) {
            unsigned h = hash(i);
            size_t at = last[h];
            last[h] = i;
            if (at != NONE && i - at <= WINDOW) {
                size_t limit = std::min(MAX_MATCH, data.size() - i);
                while (best < limit && data[at + best] == data[i + best]) ++best;
                distance = i - at;
            }
        }
        if (best >= 3) {
            put_match(w, static_cast<unsigned>(best), static_cast<unsigned>(distance));
            for (size_t k = i + 1; k < i + best && k + 3 <= data.size(); ++k) last[hash(k)] = k;
            i += best;
        } else {
            put_literal(w, data[i]);
            ++i;
        }
    }
    put_literal(w, 256);  // end of block
    w.flush();
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
    // Each row behind a "sub" filter byte: flat colour becomes runs of zeros, which
    // the deflate below turns into back references.
    std::vector<uint8_t> raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(1);
        const uint8_t* line = rgba.data() + row * static_cast<size_t>(y);
        for (size_t i = 0; i < row; ++i) raw.push_back(static_cast<uint8_t>(line[i] - (i >= 4 ? line[i - 4] : 0)));
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    deflate_fixed(raw, &z);
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
