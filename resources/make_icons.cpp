// Build tool: writes the icon for the desktop's hicolor theme under DIR, as
// DIR/<n>x<n>/apps/zorvtalk.png for every installed size and
// DIR/scalable/apps/zorvtalk.svg. Usage: make_icons DIR
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

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons DIR\n");
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
