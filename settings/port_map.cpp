// Reads the Ports section through the settings layer, so it follows settings_path.
#include "settings/port_map.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/settings.h"

int settings_read_port_map(void (*fn)(int number, const char* device_path, void* context), void* context) {
    if (!fn) return 0;
    char keys[4096];
    if (settings_read_keys("Ports", keys, sizeof keys) <= 0) return 0;
    int passed = 0;
    for (const char* key = keys; *key; key += std::strlen(key) + 1) {
        if ((key[0] != 'C' && key[0] != 'c') || (key[1] != 'O' && key[1] != 'o') || (key[2] != 'M' && key[2] != 'm'))
            continue;
        char* end = nullptr;
        long number = std::strtol(key + 3, &end, 10);
        if (!end || *end || number < 1 || number > 255) continue;
        // The value buffer is shared by every read: copy before the next one.
        std::string path = settings_read_string("Ports", key);
        if (path.empty()) continue;
        fn(static_cast<int>(number), path.c_str(), context);
        ++passed;
    }
    return passed;
}

namespace {

std::vector<std::string> recent_ports() {
    std::vector<std::string> ports;
    for (int i = 1; i <= SETTINGS_RECENT_PORTS; ++i) {
        std::string port = settings_read_string("Recent Ports", ("Port" + std::to_string(i)).c_str());
        if (!port.empty()) ports.push_back(port);
    }
    return ports;
}

}  // namespace

int settings_read_recent_ports(void (*fn)(const char* port, void* context), void* context) {
    if (!fn) return 0;
    std::vector<std::string> ports = recent_ports();
    for (const std::string& port : ports) fn(port.c_str(), context);
    return static_cast<int>(ports.size());
}

int settings_add_recent_port(const char* port) {
    if (!port || !*port) return 0;
    std::vector<std::string> ports = recent_ports();
    ports.erase(std::remove(ports.begin(), ports.end(), std::string(port)), ports.end());
    ports.insert(ports.begin(), port);
    int ok = 1;
    for (int i = 1; i <= SETTINGS_RECENT_PORTS; ++i) {
        const char* value = i <= static_cast<int>(ports.size()) ? ports[i - 1].c_str() : nullptr;
        std::string key = "Port" + std::to_string(i);
        if (value || *settings_read_string("Recent Ports", key.c_str()))
            ok &= settings_write_string("Recent Ports", key.c_str(), value ? value : "") ? 1 : 0;
    }
    return ok;
}
