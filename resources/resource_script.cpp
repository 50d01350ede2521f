// Resource script and icon file from the dialog and icon tables, so the Windows
// resources and the Qt windows can never drift apart.
#include "resources/resource_script.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int TRANSPARENT_INDEX = 15;
// XOR colour of transparent pixels: the palette's black, so the mask alone decides.
constexpr int BLACK_INDEX = 0;

std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '"')
            out += "\"\"";
        else if (*p == '\\')
            out += "\\\\";
        else
            out += *p;
    }
    return out + "\"";
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v));
    return buf;
}

int pixel_index(const IconImage& image, int x, int y) {
    const char* row = image.rows ? image.rows[y] : nullptr;
    char ch = row && static_cast<size_t>(x) < std::strlen(row) ? row[x] : '0';
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return 0;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

size_t row_bytes(int width, int bits) { return static_cast<size_t>((width * bits + 31) / 32 * 4); }

// BITMAPINFOHEADER, palette, XOR image and AND mask, rows bottom-up.
std::vector<uint8_t> icon_image(const IconImage& image) {
    int s = image.size;
    size_t xor_row = row_bytes(s, 4), and_row = row_bytes(s, 1);
    std::vector<uint8_t> out;
    put32(out, 40);
    put32(out, static_cast<uint32_t>(s));
    put32(out, static_cast<uint32_t>(2 * s));  // XOR and AND parts stacked
    put16(out, 1);
    put16(out, 4);
    put32(out, 0);
    put32(out, static_cast<uint32_t>((xor_row + and_row) * static_cast<size_t>(s)));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    for (uint32_t rgb : ICON_PALETTE) {
        out.push_back(static_cast<uint8_t>(rgb));
        out.push_back(static_cast<uint8_t>(rgb >> 8));
        out.push_back(static_cast<uint8_t>(rgb >> 16));
        out.push_back(0);
    }
    for (int y = s - 1; y >= 0; --y) {
        std::vector<uint8_t> row(xor_row, 0);
        for (int x = 0; x < s; ++x) {
            int index = pixel_index(image, x, y);
            if (index == TRANSPARENT_INDEX) index = BLACK_INDEX;
            row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = s - 1; y >= 0; --y) {
        std::vector<uint8_t> row(and_row, 0);
        for (int x = 0; x < s; ++x)
            if (pixel_index(image, x, y) == TRANSPARENT_INDEX) row[static_cast<size_t>(x / 8)] |= 0x80 >> (x % 8);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

const char* resource_class_name(UiClass cls) {
    switch (cls) {
    case UI_STATIC: return "Static";
    case UI_BUTTON:
    case UI_CHECKBOX: return "Button";
    case UI_EDIT: return "Edit";
    case UI_COMBO: return "ComboBox";
    case UI_LISTVIEW: return "SysListView32";
    }
    return "Static";
}

std::string resource_dialog_text(const DialogTemplate& d) {
    std::string out = std::to_string(d.id) + " DIALOG 0, 0, " + std::to_string(d.width) + ", " +
                      std::to_string(d.height) + "\n";
    out += "STYLE " + hex(d.style) + "\n";
    out += "CAPTION " + quoted(d.caption) + "\n";
    out += "FONT " + std::to_string(d.point_size) + ", " + quoted(d.font) + "\n";
    out += "BEGIN\n";
    for (int i = 0; i < d.count; ++i) {
        const DialogControl& c = d.controls[i];
        out += "    CONTROL " + quoted(c.text) + ", " + std::to_string(c.id) + ", " + quoted(resource_class_name(c.cls)) +
               ", " + hex(c.style | STYLE_CHILD | STYLE_VISIBLE) + ", " + std::to_string(c.x) + ", " +
               std::to_string(c.y) + ", " + std::to_string(c.width) + ", " + std::to_string(c.height) + "\n";
    }
    out += "END\n";
    return out;
}

std::string resource_script(const std::string& icon_path) {
    std::string out = "// Generated from the tables in resources/ at build time; not to be edited.\n\n";
    out += std::to_string(ICON_APP) + " ICON " + quoted(icon_path.c_str()) + "\n\n";
    out += resource_dialog_text(MAIN_DIALOG) + "\n";
    out += resource_dialog_text(PIN_PANEL_DIALOG);
    return out;
}

std::vector<uint8_t> resource_icon_file() {
    std::vector<uint8_t> out;
    put16(out, 0);
    put16(out, 1);  // an icon, not a cursor
    put16(out, 2);
    std::vector<std::vector<uint8_t>> images;
    for (const IconImage& image : ICON_IMAGES) images.push_back(icon_image(image));
    uint32_t offset = 6 + 16 * 2;
    for (size_t i = 0; i < 2; ++i) {
        const IconImage& image = ICON_IMAGES[i];
        out.push_back(static_cast<uint8_t>(image.size));
        out.push_back(static_cast<uint8_t>(image.size));
        out.push_back(16);  // colours
        out.push_back(0);
        put16(out, 1);
        put16(out, 4);
        put32(out, static_cast<uint32_t>(images[i].size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}
