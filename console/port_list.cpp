// Port entries read "COM<n> (<device>)" with the number first, because connecting
// takes the first run of digits of whatever the box shows.
#include "console/port_list.h"

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "console/log_view.h"
#include "platform/ports.h"
#include "settings/port_map.h"
#include "settings/settings.h"

const char BAUD_RATES[] =
    "300\0" "600\0" "1200\0" "1800\0" "2400\0" "4800\0" "7200\0" "9600\0"
    "14400\0" "19200\0" "38400\0" "57600\0" "115200\0" "230400\0" "460800\0" "921600\0";

namespace {

// The longest entry the box takes: a port name of 261 bytes, " (", a device name
// of 260 characters and ")".
constexpr size_t MAX_ENTRY = 263;

struct Listing {
    UiWindow* dialog;
    std::set<int> assigned;  // numbers the settings file maps elsewhere
};

void add_entry(UiWindow* dialog, const char* port_name, const char* device_name) {
    std::string entry = std::string(port_name) + " (" + device_name + ")";
    if (entry.size() > MAX_ENTRY) return;
    combo_add_item(dialog, ID_PORT, entry.c_str(), 1);
}

void add_system_port(const char* port_name, const char* device_name, void* context) {
    auto* listing = static_cast<Listing*>(context);
    int number = std::atoi(port_name + std::strcspn(port_name, "0123456789"));
    if (listing->assigned.count(number)) return;
    add_entry(listing->dialog, port_name, device_name);
}

void add_assigned_port(int number, const char* device_path, void* context) {
    auto* listing = static_cast<Listing*>(context);
    if (!ports_assign(number, device_path)) return;
    listing->assigned.insert(number);
    std::string name = "COM" + std::to_string(number);
    add_entry(listing->dialog, name.c_str(), device_path);
}

}  // namespace

void fill_port_list(UiWindow* dialog) {
    Listing listing{dialog, {}};
    // The settings file's Ports section maps COM<n> to a device path of the operator's
    // choice (an adapter that should keep its number, or the simulator).
    settings_read_port_map(add_assigned_port, &listing);
    ports_list_system(add_system_port, &listing);

    int32_t port = settings_read_int("Connection", "Port");
    if (port != 0) ui_set_text(dialog, ID_PORT, ("COM" + std::to_string(port)).c_str());

    for (const char* rate = BAUD_RATES; *rate; rate += std::strlen(rate) + 1) combo_add_item(dialog, ID_BAUD, rate, 1);
    int32_t baud = settings_read_int("Connection", "Baud");
    if (baud != 0) ui_set_text(dialog, ID_BAUD, std::to_string(baud).c_str());
}
