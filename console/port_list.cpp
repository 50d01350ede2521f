// Port entries read "COM<n> (<device>)" with the number first, because connecting
// takes the first run of digits of whatever the box shows. The list is read again
// whenever the operator opens it, so an adapter plugged in later shows up.
#include "console/port_list.h"

#include <cstring>
#include <set>
#include <string>

#include "common/digits.h"
#include "common/texts.h"
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

// Room for what the system says about an adapter; a longer text is cut.
constexpr int MAX_DESCRIPTION = 128;

struct Listing {
    UiWindow* dialog;
    std::set<int> assigned;  // numbers the settings file maps elsewhere
    int select_each;         // at start every entry is selected as it comes
    std::string keep;        // on a refresh: the box's text, selected again if listed
};

// "COM33 (/dev/ttyUSB0: FTDI FT232R USB UART, serial A5XK3RJH)" when the system
// knows the adapter; a description that would not fit is left off, never the port.
void add_entry(Listing* listing, const char* port_name, const char* device_name) {
    std::string entry = std::string(port_name) + " (" + device_name;
    char about[MAX_DESCRIPTION];
    if (ports_describe(device_name, about, sizeof about) > 0 && entry.size() + std::strlen(about) + 3 <= MAX_ENTRY)
        entry += std::string(": ") + about;
    entry += ")";
    if (entry.size() > MAX_ENTRY) return;
    ui_combo_add(listing->dialog, ID_PORT, entry.c_str(), listing->select_each || entry == listing->keep);
}

void add_system_port(const char* port_name, const char* device_name, void* context) {
    auto* listing = static_cast<Listing*>(context);
    int number = number_in_text(port_name);
    if (listing->assigned.count(number)) return;
    add_entry(listing, port_name, device_name);
}

void add_assigned_port(int number, const char* device_path, void* context) {
    auto* listing = static_cast<Listing*>(context);
    if (!ports_assign(number, device_path)) return;
    listing->assigned.insert(number);
    std::string name = com_port_name(number);
    add_entry(listing, name.c_str(), device_path);
}

// A port connected to before by name (rfc2217://pi-lab:2000, /dev/ttyUSB0), as typed.
void add_recent_port(const char* port, void* context) {
    auto* listing = static_cast<Listing*>(context);
    if (std::strlen(port) <= MAX_ENTRY)
        ui_combo_add(listing->dialog, ID_PORT, port, listing->select_each || listing->keep == port);
}

void list_ports(Listing* listing) {
    settings_read_recent_ports(add_recent_port, listing);
    // The settings file's Ports section maps COM<n> to a device path of the operator's
    // choice (an adapter that should keep its number, or the simulator).
    settings_read_port_map(add_assigned_port, listing);
    ports_list_system(add_system_port, listing);
}

}  // namespace

void fill_port_list(UiWindow* dialog) {
    Listing listing{dialog, {}, 1, std::string()};
    list_ports(&listing);

    // A device path is kept as it was typed; anything else is a COM number.
    std::string stored = settings_read_string("Connection", "Port");
    int32_t port = settings_read_int("Connection", "Port");
    if (ports_is_device_path(stored.c_str()))
        ui_set_text(dialog, ID_PORT, stored.c_str());
    else if (port != 0)
        ui_set_text(dialog, ID_PORT, com_port_name(port).c_str());

    for (const char* rate = BAUD_RATES; *rate; rate += std::strlen(rate) + 1) ui_combo_add(dialog, ID_BAUD, rate, 1);
    int32_t baud = settings_read_int("Connection", "Baud");
    if (baud != 0) ui_set_text(dialog, ID_BAUD, std::to_string(baud).c_str());
}

void refresh_port_list(UiWindow* dialog) {
    int n = ui_text_length(dialog, ID_PORT);
    std::string text(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
    int got = ui_get_text(dialog, ID_PORT, &text[0], static_cast<int>(text.size()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    ui_combo_clear(dialog, ID_PORT);
    Listing listing{dialog, {}, 0, text};
    list_ports(&listing);
}
