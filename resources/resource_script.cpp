// Resource script and icon file from the dialog and icon tables, so the Windows
// resources and the Qt windows can never drift apart.
#include "resources/resource_script.h"

#include <cstdio>
#include <cstring>

#include "resources/icon.h"

namespace {

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

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// BITMAPINFOHEADER, 32-bit BGRA image and AND mask, rows bottom-up. The mask marks
// the fully transparent pixels for the systems that ignore the alpha channel.
std::vector<uint8_t> icon_image(int s) {
    std::vector<uint8_t> rgba = icon_rgba(s);
    const size_t side = static_cast<size_t>(s), and_row = (side + 31) / 32 * 4;
    std::vector<uint8_t> out;
    put32(out, 40);
    put32(out, static_cast<uint32_t>(s));
    put32(out, static_cast<uint32_t>(2 * s));  // XOR and AND parts stacked
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    put32(out, static_cast<uint32_t>((side * 4 + and_row) * side));
    for (int i = 0; i < 4; ++i) put32(out, 0);
    for (size_t y = side; y-- > 0;) {
        for (size_t x = 0; x < side; ++x) {
            const uint8_t* p = &rgba[(y * side + x) * 4];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    for (size_t y = side; y-- > 0;) {
        std::vector<uint8_t> row(and_row, 0);
        for (size_t x = 0; x < side; ++x)
            if (rgba[(y * side + x) * 4 + 3] == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

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

std::string resource_version_text(const char* version, const char* file_name, const char* description) {
    // FILEVERSION wants four numbers: "1.8" is 1,8,0,0; what is not a number counts 0.
    unsigned parts[4] = {0, 0, 0, 0};
    const char* p = version ? version : "";
    for (int i = 0; i < 4 && *p; ++i) {
        while (*p >= '0' && *p <= '9') {
            parts[i] = (parts[i] * 10 + static_cast<unsigned>(*p - '0')) & 0xFFFF;
            ++p;
        }
        while (*p && *p != '.') ++p;
        if (*p == '.') ++p;
    }
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%u,%u,%u,%u", parts[0], parts[1], parts[2], parts[3]);
    std::string out = "1 VERSIONINFO\nFILEVERSION " + std::string(numbers) + "\nPRODUCTVERSION " + numbers + "\n";
    out += "FILEOS 0x40004\nFILETYPE 0x1\nBEGIN\n    BLOCK \"StringFileInfo\"\n    BEGIN\n        BLOCK \"040904B0\"\n        BEGIN\n";
    const char* const values[][2] = {
        {"CompanyName", "ZORVTalk developers"}, {"FileDescription", description}, {"FileVersion", version},
        {"InternalName", file_name},           {"OriginalFilename", file_name},  {"ProductName", "ZORVTalk"},
        {"ProductVersion", version},
    };
    for (const auto& v : values) out += "            VALUE " + quoted(v[0]) + ", " + quoted(v[1]) + "\n";
    out += "        END\n    END\n    BLOCK \"VarFileInfo\"\n    BEGIN\n        VALUE \"Translation\", 0x409, 1200\n    END\nEND\n";
    return out;
}

std::string resource_script(const std::string& icon_path) {
    std::string out = "// Generated from the tables in resources/ at build time; not to be edited.\n\n";
    out += std::to_string(ICON_APP) + " ICON " + quoted(icon_path.c_str()) + "\n\n";
    out += resource_version_text(ZORV_VERSION, "zorvtalk.exe", "ZORVTalk - ZORV Controller Terminal") + "\n";
    out += resource_dialog_text(MAIN_DIALOG) + "\n";
    out += resource_dialog_text(PIN_PANEL_DIALOG) + "\n";
    out += resource_dialog_text(MONITOR_DIALOG);
    return out;
}

std::string resource_cli_script(const std::string& icon_path) {
    std::string out = "// Generated from the tables in resources/ at build time; not to be edited.\n\n";
    out += std::to_string(ICON_APP) + " ICON " + quoted(icon_path.c_str()) + "\n\n";
    return out + resource_version_text(ZORV_VERSION, "zorvtalk-cli.exe", "ZORVTalk command-line runner");
}

std::vector<uint8_t> resource_icon_file() {
    constexpr size_t COUNT = sizeof ICON_ICO_SIZES / sizeof ICON_ICO_SIZES[0];
    std::vector<uint8_t> out;
    put16(out, 0);
    put16(out, 1);  // an icon, not a cursor
    put16(out, COUNT);
    std::vector<std::vector<uint8_t>> images;
    for (int size : ICON_ICO_SIZES) images.push_back(icon_image(size));
    uint32_t offset = 6 + 16 * COUNT;
    for (size_t i = 0; i < COUNT; ++i) {
        // A byte holds the size; 0 stands for 256.
        out.push_back(static_cast<uint8_t>(ICON_ICO_SIZES[i] & 0xFF));
        out.push_back(static_cast<uint8_t>(ICON_ICO_SIZES[i] & 0xFF));
        out.push_back(0);  // no palette
        out.push_back(0);
        put16(out, 1);
        put16(out, 32);
        put32(out, static_cast<uint32_t>(images[i].size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}
