// Build tool: writes zorvtalk.rc, zorvtalk-cli.rc and zorvtalk.ico into the current
// directory.
// Usage: make_resources <icon path to name in the script>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource_script.h"
#include "resources/tool_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_resources ICON_PATH\n");
        return 2;
    }
    std::string script = resource_script(argv[1]), cli_script = resource_cli_script(argv[1]);
    std::vector<uint8_t> icon = resource_icon_file();
    if (!tool_write_file("zorvtalk.ico", icon.data(), icon.size()) || !tool_write_file("zorvtalk.rc", script.data(), script.size()) ||
        !tool_write_file("zorvtalk-cli.rc", cli_script.data(), cli_script.size())) {
        std::fprintf(stderr, "make_resources: cannot write the output files\n");
        return 1;
    }
    return 0;
}
