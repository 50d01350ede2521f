// The Windows resources read back: the .ico decodes to the drawn artwork, the version
// block carries the version, and the script's dialogs parse back to the dialog tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "resources/icon.h"
#include "resources/resource_script.h"

namespace {

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
uint32_t le32(const std::vector<uint8_t>& b, size_t at) { return le16(b, at) | (le16(b, at + 2) << 16); }

TEST(IconFile, HoldsTheArtworkAtEachSizeWithAlphaAndMask) {
    std::vector<uint8_t> ico = resource_icon_file();
    ASSERT_GE(ico.size(), 6u + 4 * 16);
    EXPECT_EQ(le16(ico, 0), 0u);
    EXPECT_EQ(le16(ico, 2), 1u);  // icon
    ASSERT_EQ(le16(ico, 4), 4u);
    size_t end = 6 + 4 * 16;
    for (int i = 0; i < 4; ++i) {
        const int s = ICON_ICO_SIZES[i];
        const size_t side = static_cast<size_t>(s);
        size_t entry = 6 + 16 * static_cast<size_t>(i);
        EXPECT_EQ(ico[entry], s % 256) << "256 is written as 0";
        EXPECT_EQ(le16(ico, entry + 6), 32u);
        size_t bytes = le32(ico, entry + 8), at = le32(ico, entry + 12);
        ASSERT_EQ(at, end) << "images follow each other";
        ASSERT_LE(at + bytes, ico.size());
        end = at + bytes;
        EXPECT_EQ(le32(ico, at + 4), side);
        EXPECT_EQ(le32(ico, at + 8), 2 * side);
        size_t and_row = (side + 31) / 32 * 4, pixels = at + 40, mask = pixels + 4 * side * side;
        ASSERT_EQ(mask + and_row * side, end);
        std::vector<uint8_t> want = icon_rgba(s);
        int mismatches = 0;
        for (size_t y = 0; y < side; ++y) {
            size_t row = side - 1 - y;  // bottom-up
            for (size_t x = 0; x < side; ++x) {
                const uint8_t* got = &ico[pixels + (row * side + x) * 4];
                const uint8_t* rgba = &want[(y * side + x) * 4];
                bool clear = (ico[mask + row * and_row + x / 8] >> (7 - x % 8)) & 1;
                bool ok = got[0] == rgba[2] && got[1] == rgba[1] && got[2] == rgba[0] && got[3] == rgba[3] &&
                          clear == (rgba[3] == 0);
                if (!ok && ++mismatches < 5) ADD_FAILURE() << "size " << s << " pixel " << x << "," << y;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
    EXPECT_EQ(end, ico.size());
}

TEST(VersionResource, NumbersAndTextsFromTheVersion) {
    struct Case {
        const char* version;
        const char* numbers;
    } cases[] = {{"1.8", "1,8,0,0"}, {"2.10.3", "2,10,3,0"}, {"1.2.3.4.5", "1,2,3,4"}, {"3.x-rc", "3,0,0,0"}, {"", "0,0,0,0"}};
    for (const Case& c : cases) {
        std::string text = resource_version_text(c.version, "a \"b\".exe", "d");
        EXPECT_NE(text.find(std::string("FILEVERSION ") + c.numbers + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("PRODUCTVERSION ") + c.numbers + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("VALUE \"ProductVersion\", \"") + c.version + "\""), std::string::npos) << text;
        EXPECT_NE(text.find("VALUE \"OriginalFilename\", \"a \"\"b\"\".exe\""), std::string::npos) << text;
    }
    for (const std::string& script : {resource_script("i.ico"), resource_cli_script("i.ico")})
        EXPECT_NE(script.find("VALUE \"FileVersion\", \"" ZORV_VERSION "\""), std::string::npos);
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
    for (const DialogTemplate* d : {&MAIN_DIALOG, &PIN_PANEL_DIALOG, &MONITOR_DIALOG}) {
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

TEST(ResourceScript, ControlClassesAreTheWindowsOnes) {
    const struct { UiClass cls; const char* name; } cases[] = {
        {UI_STATIC, "Static"}, {UI_BUTTON, "Button"}, {UI_CHECKBOX, "Button"}, {UI_EDIT, "Edit"},
        {UI_COMBO, "ComboBox"}, {UI_LISTVIEW, "SysListView32"}, {UI_CANVAS, "ZorvCanvas"}};
    for (const auto& c : cases) EXPECT_STREQ(resource_class_name(c.cls), c.name) << c.cls;
    // A drawing area names the class the Windows backend registers before any dialog.
    const DialogControl controls[] = {{9, UI_CANVAS, "", 1, 2, 3, 4, 0}};
    const DialogTemplate d = {201, "Monitor", 10, 20, "Tahoma", 8, 0, controls, 1};
    EXPECT_NE(resource_dialog_text(d).find("CONTROL \"\", 9, \"ZorvCanvas\", "), std::string::npos);
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
