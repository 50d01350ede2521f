// Reads the Ports section through the settings layer, so it follows settings_path.
#include "settings/port_map.h"

#include <cstdlib>
#include <cstring>
#include <string>

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
