// COM numbers on Windows: "COM<n>" is the device "\\.\COM<n>" unless the settings file
// assigned it another device; the system's ports come from the registry.
#include "platform/ports.h"
#include "platform/ports_default.h"
#include "platform/net/net_url.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Registry limits of one SERIALCOMM value, NUL included.
constexpr DWORD NAME_CAPACITY = 261, DATA_CAPACITY = 261;

}  // namespace

// The "\\.\" form opens COM10 and above too, which the bare name does not.
std::string ports_default_path(int number) { return "\\\\.\\COM" + std::to_string(number); }

// A network address (platform/net/net_url.h) is opened as typed, like a path.
int ports_is_device_path(const char* text) {
    return text && (std::strncmp(text, "\\\\.\\", 4) == 0 || net_url_kind(text) != NET_NONE) ? 1 : 0;
}

int ports_list_system(void (*fn)(const char* port_name, const char* device_name, void* context), void* context) {
    if (!fn) return 0;
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", &key) != ERROR_SUCCESS) return 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        values = 0;
    int listed = 0;
    for (DWORD i = 0; i < values; ++i) {
        char name[NAME_CAPACITY];
        char data[DATA_CAPACITY + 1];
        DWORD name_len = NAME_CAPACITY, data_len = DATA_CAPACITY;
        // A value beyond either limit fails with ERROR_MORE_DATA and is left out.
        if (RegEnumValueA(key, i, name, &name_len, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &data_len) !=
            ERROR_SUCCESS)
            continue;
        // Registry data need not end in NUL; never read past what was returned.
        data[data_len < DATA_CAPACITY ? data_len : DATA_CAPACITY] = '\0';
        name[name_len < NAME_CAPACITY ? name_len : NAME_CAPACITY - 1] = '\0';
        fn(data, name, context);
        ++listed;
    }
    RegCloseKey(key);
    return listed;
}

// The registry's list names its ports already; nothing more is looked up.
int ports_describe(const char*, char* out, int size) {
    if (out && size > 0) out[0] = '\0';
    return 0;
}

void ports_set_system_root(const char*) {}
