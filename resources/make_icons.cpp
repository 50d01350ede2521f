// Build tool: writes the icon for the desktop's hicolor theme under DIR, as
// DIR/<n>x<n>/apps/zorvtalk.png for every installed size and
// DIR/scalable/apps/zorvtalk.svg; or, with --cpp, a C++ source holding the same
// sizes as pixels (ICON_IMAGES), so the window takes them instead of drawing them, or
// decoding PNGs, at every start.
// Usage: make_icons DIR | make_icons --cpp FILE
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "resources/icon.h"
#include "resources/tool_file.h"

namespace {

bool write_file(const std::string& dir, const char* name, const void* data, size_t size) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) return false;
    return tool_write_file((dir + "/" + name).c_str(), data, size);
}

}  // namespace

bool write_cpp(const char* path) {
    std::string out = "// Written by make_icons from the icon's artwork; do not edit.\n#include \"resources/icon.h\"\n\n";
    std::string table = "const IconImage ICON_IMAGES[ICON_IMAGE_COUNT] = {\n";
    for (int size : ICON_SIZES) {
        std::vector<uint8_t> rgba = icon_rgba(size);
        std::string name = "RGBA_" + std::to_string(size);
        out += "static const unsigned char " + name + "[] = {";
        for (size_t i = 0; i < rgba.size(); ++i) out += (i == 0 ? "\n    " : i % 32 ? "," : ",\n    ") + std::to_string(rgba[i]);
        out += "};\n";
        table += "    {" + std::to_string(size) + ", " + name + "},\n";
    }
    out += "\n" + table + "};\n";
    return tool_write_file(path, out.data(), out.size());
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--cpp") {
        if (write_cpp(argv[2])) return 0;
        std::fprintf(stderr, "make_icons: cannot write %s\n", argv[2]);
        return 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons DIR | make_icons --cpp FILE\n");
        return 2;
    }
    std::string root = argv[1];
    bool ok = true;
    for (int size : ICON_SIZES) {
        std::vector<uint8_t> png = icon_png(size);
        std::string dir = root + "/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        ok = ok && write_file(dir, "zorvtalk.png", png.data(), png.size());
    }
    std::string svg = icon_svg();
    ok = ok && write_file(root + "/scalable/apps", "zorvtalk.svg", svg.data(), svg.size());
    if (!ok) {
        std::fprintf(stderr, "make_icons: cannot write under %s\n", root.c_str());
        return 1;
    }
    return 0;
}
