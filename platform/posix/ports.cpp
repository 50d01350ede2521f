// COM numbers to Linux device paths: explicit assignments first, then the fixed
// default numbering documented in platform/ports.h.
#include "platform/ports.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

constexpr int MAX_PORT = 255;
constexpr size_t MAX_PATH_CHARS = 259;

std::mutex g_mutex;
std::map<int, std::string>& assigned() {
    static std::map<int, std::string> table;
    return table;
}

}  // namespace

int ports_assign(int number, const char* device_path) {
    if (number < 1 || number > MAX_PORT) return 0;
    std::lock_guard<std::mutex> guard(g_mutex);
    if (!device_path || !*device_path) {
        assigned().erase(number);
        return 1;
    }
    if (std::strlen(device_path) > MAX_PATH_CHARS) return 0;
    assigned()[number] = device_path;
    return 1;
}

int ports_device_path(int number, char* out, int size) {
    if (!out || size <= 0 || number < 1) return 0;
    std::string path;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        auto it = assigned().find(number);
        if (it != assigned().end()) path = it->second;
    }
    if (path.empty()) {
        char buf[32];
        if (number <= 32)
            std::snprintf(buf, sizeof buf, "/dev/ttyS%d", number - 1);
        else if (number <= 64)
            std::snprintf(buf, sizeof buf, "/dev/ttyUSB%d", number - 33);
        else if (number <= 96)
            std::snprintf(buf, sizeof buf, "/dev/ttyACM%d", number - 65);
        else
            return 0;
        path = buf;
    }
    if (path.size() + 1 > static_cast<size_t>(size)) return 0;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return 1;
}
