// The Windows resources read back: the .ico decodes to the icon table's artwork with
// index 15 transparent, and the script's dialogs parse back to the dialog tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource_script.h"

namespace {

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
uint32_t le32(const std::vector<uint8_t>& b, size_t at) { return le16(b, at) | (le16(b, at + 2) << 16); }

int table_index(const IconImage& image, int x, int y) {
    char ch = image.rows[y][x];
    return ch <= '9' ? ch - '0' : ch - 'a' + 10;
}

TEST(IconFile, DecodesToTheTableArtwork) {
    std::vector<uint8_t> ico = resource_icon_file();
    ASSERT_GE(ico.size(), 6u + 2 * 16);
    EXPECT_EQ(le16(ico, 0), 0u);
    EXPECT_EQ(le16(ico, 2), 1u);  // icon
    ASSERT_EQ(le16(ico, 4), 2u);
    size_t end = 6 + 2 * 16;
    for (int i = 0; i < 2; ++i) {
        const IconImage& image = ICON_IMAGES[i];
        const int s = image.size;
        size_t entry = 6 + 16 * static_cast<size_t>(i);
        EXPECT_EQ(ico[entry], s);
        EXPECT_EQ(ico[entry + 1], s);
        EXPECT_EQ(ico[entry + 2], 16);
        EXPECT_EQ(le16(ico, entry + 6), 4u);
        size_t bytes = le32(ico, entry + 8), at = le32(ico, entry + 12);
        ASSERT_EQ(at, end) << "images follow each other";
        ASSERT_LE(at + bytes, ico.size());
        end = at + bytes;

        EXPECT_EQ(le32(ico, at), 40u);
        EXPECT_EQ(le32(ico, at + 4), static_cast<uint32_t>(s));
        EXPECT_EQ(le32(ico, at + 8), static_cast<uint32_t>(2 * s));
        EXPECT_EQ(le16(ico, at + 14), 4u);
        for (int c = 0; c < 16; ++c) {
            size_t p = at + 40 + 4 * static_cast<size_t>(c);
            uint32_t rgb = (ico[p + 2] << 16) | (ico[p + 1] << 8) | ico[p];
            EXPECT_EQ(rgb, ICON_PALETTE[c]) << c;
        }
        size_t xor_row = static_cast<size_t>((s * 4 + 31) / 32 * 4), and_row = static_cast<size_t>((s + 31) / 32 * 4);
        size_t xor_at = at + 40 + 64, and_at = xor_at + xor_row * static_cast<size_t>(s);
        ASSERT_EQ(and_at + and_row * static_cast<size_t>(s), end);
        int mismatches = 0;
        for (int y = 0; y < s; ++y) {
            size_t row = static_cast<size_t>(s - 1 - y);  // bottom-up
            for (int x = 0; x < s; ++x) {
                uint8_t packed = ico[xor_at + row * xor_row + static_cast<size_t>(x / 2)];
                int index = x % 2 ? packed & 0x0F : packed >> 4;
                bool clear = (ico[and_at + row * and_row + static_cast<size_t>(x / 8)] >> (7 - x % 8)) & 1;
                int want = table_index(image, x, y);
                bool ok = want == 15 ? (clear && ICON_PALETTE[index] == 0) : (!clear && index == want);
                if (!ok && ++mismatches < 5) ADD_FAILURE() << "size " << s << " pixel " << x << "," << y;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
    EXPECT_EQ(end, ico.size());
}

// Reads one quoted resource-script string at p, undoing the "" and \\ escapes.
std::string unquote(const std::string& line, size_t* p) {
    std::string out;
    EXPECT_EQ(line.at(*p), '"');
    for (size_t i = *p + 1; i < line.size(); ++i) {
        if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            out += '"';
            ++i;
        } else if (line[i] == '"') {
            *p = i + 1;
            return out;
        } else if (line[i] == '\\' && i + 1 < line.size()) {
            out += line[++i];
        } else {
            out += line[i];
        }
    }
    ADD_FAILURE() << "unterminated string: " << line;
    return out;
}

struct ParsedControl {
    std::string text, cls;
    long id = 0, style = 0, x = 0, y = 0, w = 0, h = 0;
};

ParsedControl parse_control(const std::string& line) {
    ParsedControl c;
    size_t p = line.find("CONTROL ");
    EXPECT_NE(p, std::string::npos) << line;
    p += 8;
    c.text = unquote(line, &p);
    c.id = std::strtol(line.c_str() + line.find(',', p) + 1, nullptr, 0);
    p = line.find('"', p);
    c.cls = unquote(line, &p);
    long* fields[] = {&c.style, &c.x, &c.y, &c.w, &c.h};
    for (long* f : fields) {
        p = line.find(',', p) + 1;
        *f = static_cast<long>(std::strtoul(line.c_str() + p, nullptr, 0));
    }
    return c;
}

TEST(ResourceScript, DialogsParseBackToTheTables) {
    std::string script = resource_script("/some where/zorvtalk.ico");
    EXPECT_NE(script.find("102 ICON \"/some where/zorvtalk.ico\""), std::string::npos);
    for (const DialogTemplate* d : {&MAIN_DIALOG, &PIN_PANEL_DIALOG}) {
        std::istringstream in(script);
        std::string line, head = std::to_string(d->id) + " DIALOG 0, 0, " + std::to_string(d->width) + ", " +
                                 std::to_string(d->height);
        while (std::getline(in, line) && line != head) {
        }
        ASSERT_EQ(line, head);
        std::getline(in, line);
        EXPECT_EQ(std::strtoul(line.c_str() + 6, nullptr, 0), d->style);
        std::getline(in, line);
        size_t p = 8;
        EXPECT_EQ(unquote(line, &p), d->caption);
        std::getline(in, line);
        EXPECT_EQ(line, "FONT " + std::to_string(d->point_size) + ", \"" + d->font + "\"");
        std::getline(in, line);
        EXPECT_EQ(line, "BEGIN");
        for (int i = 0; i < d->count; ++i) {
            ASSERT_TRUE(std::getline(in, line));
            const DialogControl& want = d->controls[i];
            ParsedControl got = parse_control(line);
            EXPECT_EQ(got.text, want.text) << line;
            EXPECT_EQ(got.id, want.id) << line;
            EXPECT_EQ(got.cls, resource_class_name(want.cls)) << line;
            EXPECT_EQ(static_cast<uint32_t>(got.style), want.style | STYLE_CHILD | STYLE_VISIBLE) << line;
            EXPECT_EQ(got.x, want.x);
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.w, want.width);
            EXPECT_EQ(got.h, want.height);
        }
        std::getline(in, line);
        EXPECT_EQ(line, "END");
    }
}

TEST(ResourceScript, QuotesAndBackslashesSurvive) {
    const DialogControl controls[] = {{7, UI_BUTTON, "say \"hi\" C:\\x", 1, 2, 3, 4, 0}};
    const DialogTemplate d = {200, "A \"q\"", 10, 20, "Tahoma", 8, 0, controls, 1};
    std::string text = resource_dialog_text(d);
    size_t at = text.find("CONTROL");
    ASSERT_NE(at, std::string::npos);
    ParsedControl c = parse_control(text.substr(at, text.find('\n', at) - at));
    EXPECT_EQ(c.text, "say \"hi\" C:\\x");
    EXPECT_EQ(c.id, 7);
    EXPECT_EQ(c.cls, "Button");
}

}  // namespace
