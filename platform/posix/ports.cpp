// Linux serial devices: the default COM numbering documented in platform/ports.h,
// the list of devices present, and what sysfs says about the adapter behind each.
#include "platform/ports.h"
#include "platform/ports_default.h"
#include "platform/net/net_url.h"

#include <dirent.h>
#include <limits.h>
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

// Where /dev and /sys are: "" for the real ones, a fake tree's folder in tests.
std::string g_root;

}  // namespace

void ports_set_system_root(const char* root) { g_root = root ? root : ""; }

// A network address (platform/net/net_url.h) is opened as typed, like a path.
int ports_is_device_path(const char* text) { return text && (text[0] == '/' || net_url_kind(text) != NET_NONE) ? 1 : 0; }

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
    std::ifstream type(g_root + "/sys/class/tty/" + name + "/type");
    int t = 0;
    if (!(type >> t)) return false;
    return t != 0;
}

}  // namespace

int ports_list_system(void (*fn)(const char* port_name, const char* device_name, void* context), void* context) {
    if (!fn) return 0;
    std::vector<std::pair<int, std::string>> found;
    DIR* dir = opendir((g_root + "/dev").c_str());
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

namespace {

// The USB strings come from the device itself: one line, no control bytes, and short
// enough that the Port box entry keeps its port.
constexpr size_t MAX_ATTRIBUTE = 64;
// From the tty's device up to the USB device: the port's own node (usb-serial), the
// interface, then the device; a little slack for hubs of other drivers.
constexpr int MAX_LEVELS = 4;

std::string read_attribute(const std::string& dir, const char* name) {
    std::ifstream f(dir + "/" + name, std::ios::binary);
    std::string line;
    if (!f || !std::getline(f, line)) return std::string();
    for (char& ch : line)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = ' ';
    size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    line = line.substr(first, line.find_last_not_of(' ') - first + 1);
    if (line.size() > MAX_ATTRIBUTE) {
        size_t n = MAX_ATTRIBUTE;
        while (n > 0 && (static_cast<unsigned char>(line[n]) & 0xC0) == 0x80) --n;  // whole UTF-8 characters
        line.resize(n);
    }
    return line;
}

bool is_dir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string describe_usb(const std::string& dir) {
    std::string manufacturer = read_attribute(dir, "manufacturer");
    std::string product = read_attribute(dir, "product");
    std::string serial = read_attribute(dir, "serial");
    std::string text;
    // Many adapters repeat the maker in the product name.
    if (!manufacturer.empty() && product.compare(0, manufacturer.size(), manufacturer) != 0) text = manufacturer;
    if (!product.empty()) text += (text.empty() ? "" : " ") + product;
    if (text.empty()) {
        std::string vendor = read_attribute(dir, "idVendor"), id = read_attribute(dir, "idProduct");
        if (!vendor.empty() && !id.empty()) text = "USB device " + vendor + ":" + id;
    }
    if (!serial.empty()) text += (text.empty() ? "serial " : ", serial ") + serial;
    return text;
}

// The kernel's name of the tty behind a device path, following symlinks.
std::string tty_name(const char* device_path) {
    std::string path = device_path;
    if (!path.empty() && path[0] == '/') path = g_root + path;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) path = resolved;
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name == "." || name == ".." ? std::string() : name;
}

}  // namespace

int ports_describe(const char* device_path, char* out, int size) {
    if (!out || size <= 0) return 0;
    out[0] = '\0';
    if (!device_path || !*device_path) return 0;
    std::string name = tty_name(device_path);
    if (name.empty()) return 0;
    std::string sys = g_root + "/sys";
    char resolved[PATH_MAX];
    if (!realpath((sys + "/class/tty/" + name + "/device").c_str(), resolved)) return 0;
    char sys_resolved[PATH_MAX];
    if (realpath(sys.c_str(), sys_resolved)) sys = sys_resolved;
    std::string text;
    std::string dir = resolved;
    const std::string inside = sys + "/";
    for (int level = 0; level < MAX_LEVELS && dir.compare(0, inside.size(), inside) == 0; ++level) {
        if (is_dir(dir) && !read_attribute(dir, "idVendor").empty()) {
            text = describe_usb(dir);
            break;
        }
        dir = dir.substr(0, dir.find_last_of('/'));
    }
    if (text.empty()) return 0;
    size_t n = text.size() < static_cast<size_t>(size) - 1 ? text.size() : static_cast<size_t>(size) - 1;
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<int>(n);
}
