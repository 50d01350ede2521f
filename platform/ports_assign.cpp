// COM numbers to devices, the same on every platform: an assignment made with
// ports_assign wins, else the platform's default numbering.
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/ports.h"
#include "platform/ports_default.h"

namespace {

constexpr int MAX_ASSIGNED = 255;
constexpr size_t MAX_PATH_CHARS = 259;

std::mutex g_mutex;
std::map<int, std::string>& assigned() {
    static std::map<int, std::string> table;
    return table;
}

}  // namespace

int ports_assign(int number, const char* device_path) {
    if (number < 1 || number > MAX_ASSIGNED) return 0;
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
    if (path.empty()) path = ports_default_path(number);
    if (path.empty() || path.size() + 1 > static_cast<size_t>(size)) return 0;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return 1;
}

int ports_assign_free(const char* device_path) {
    if (!device_path || !*device_path) return 0;
    {
        // Connecting to the same path again takes the same number, not the next one.
        std::lock_guard<std::mutex> guard(g_mutex);
        for (const auto& entry : assigned())
            if (entry.second == device_path) return entry.first;
    }
    int number = MAX_ASSIGNED;
    char path[MAX_PATH_CHARS + 2];
    for (int n = MAX_ASSIGNED; n >= 1; --n) {
        if (!ports_device_path(n, path, sizeof path)) {
            number = n;
            break;
        }
    }
    return ports_assign(number, device_path) ? number : 0;
}
