// Linux serial devices: the default COM numbering documented in platform/ports.h,
// and the list of devices present.
#include "platform/ports.h"
#include "platform/ports_default.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>
#include <string>

namespace {

// Device families and the first COM number of each: 32 numbers per family.
struct Family {
    const char* prefix;
    int first_com;
};
const Family FAMILIES[] = {
    {"ttyS", 1}, {"ttyUSB", 33}, {"ttyACM", 65}, {"ttyAMA", 97}, {"rfcomm", 129}, {"ttyXRUSB", 161},
};
constexpr int FAMILY_SIZE = 32;

}  // namespace

std::string ports_default_path(int number) {
    for (const Family& f : FAMILIES)
        if (number >= f.first_com && number < f.first_com + FAMILY_SIZE)
            return std::string("/dev/") + f.prefix + std::to_string(number - f.first_com);
    return std::string();
}

namespace {

// A ttyS node exists for every possible legacy UART; only those the driver found
// hardware for (a type other than 0) are real ports.
bool legacy_uart_present(const std::string& name) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int t = 0;
    if (!(type >> t)) return false;
    return t != 0;
}

}  // namespace

int ports_list_system(void (*fn)(const char* port_name, const char* device_name, void* context), void* context) {
    if (!fn) return 0;
    std::vector<std::pair<int, std::string>> found;
    DIR* dir = opendir("/dev");
    if (!dir) return 0;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        for (const Family& f : FAMILIES) {
            size_t n = std::strlen(f.prefix);
            if (name.size() <= n || name.compare(0, n, f.prefix) != 0) continue;
            std::string digits = name.substr(n);
            if (digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
            int k = std::atoi(digits.c_str());
            if (k >= FAMILY_SIZE) continue;
            if (std::strcmp(f.prefix, "ttyS") == 0 && !legacy_uart_present(name)) continue;
            found.emplace_back(f.first_com + k, "/dev/" + name);
        }
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    for (const auto& p : found) {
        std::string port = "COM" + std::to_string(p.first);
        fn(port.c_str(), p.second.c_str(), context);
    }
    return static_cast<int>(found.size());
}
