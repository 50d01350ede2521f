// Build tool: writes zorvtalk.rc, zorvtalk-cli.rc and zorvtalk.ico into the current
// directory.
// Usage: make_resources <icon path to name in the script>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource_script.h"

namespace {

bool write_file(const char* name, const void* data, size_t size) {
    std::FILE* f = std::fopen(name, "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_resources ICON_PATH\n");
        return 2;
    }
    std::string script = resource_script(argv[1]), cli_script = resource_cli_script(argv[1]);
    std::vector<uint8_t> icon = resource_icon_file();
    if (!write_file("zorvtalk.ico", icon.data(), icon.size()) || !write_file("zorvtalk.rc", script.data(), script.size()) ||
        !write_file("zorvtalk-cli.rc", cli_script.data(), cli_script.size())) {
        std::fprintf(stderr, "make_resources: cannot write the output files\n");
        return 1;
    }
    return 0;
}
