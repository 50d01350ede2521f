// COM numbers on Windows: "COM<n>" is the device "\\.\COM<n>" unless the settings file
// assigned it another device; the system's ports come from the registry.
#include "platform/ports.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

constexpr int MAX_ASSIGNED = 255;
constexpr size_t MAX_PATH_CHARS = 259;
// Registry limits of one SERIALCOMM value, NUL included.
constexpr DWORD NAME_CAPACITY = 261, DATA_CAPACITY = 261;

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
    // The "\\.\" form opens COM10 and above too, which the bare name does not.
    if (path.empty()) path = "\\\\.\\COM" + std::to_string(number);
    if (path.size() + 1 > static_cast<size_t>(size)) return 0;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return 1;
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
