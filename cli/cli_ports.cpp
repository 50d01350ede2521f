// The runner's ports: the listing and the choice, numbered as the window's Port box
// numbers them.
#include "cli/cli_ports.h"

#include <cstring>
#include <set>

#include "cli/cli_options.h"
#include "common/digits.h"
#include "common/texts.h"
#include "platform/ports.h"
#include "settings/port_map.h"
#include "settings/settings.h"

namespace {

struct Listing {
    FILE* to;
    std::set<int> assigned;
    int count;
};

void list_assigned(int number, const char* device_path, void* context) {
    auto* listing = static_cast<Listing*>(context);
    if (!ports_assign(number, device_path)) return;
    listing->assigned.insert(number);
    std::fprintf(listing->to, "%s %s\n", com_port_name(number).c_str(), device_path);
    ++listing->count;
}

void list_system(const char* port_name, const char* device_name, void* context) {
    auto* listing = static_cast<Listing*>(context);
    // A number the settings give to another device is not this one's any more.
    if (listing->assigned.count(number_in_text(port_name))) return;
    std::fprintf(listing->to, "%s %s\n", port_name, device_name);
    ++listing->count;
}

void assign_port(int number, const char* device_path, void*) { ports_assign(number, device_path); }

}  // namespace

int cli_list_ports(FILE* to) {
    Listing listing{to, {}, 0};
    settings_read_port_map(list_assigned, &listing);
    ports_list_system(list_system, &listing);
    return listing.count;
}

bool cli_choose_port(CliOptions* opt, int* port, int* baud, std::string* error) {
    *port = opt->port_number;
    if (!opt->have_port) {
        // The window stores a typed device path as it was typed.
        std::string stored = settings_read_string("Connection", "Port");
        if (ports_is_device_path(stored.c_str()))
            opt->port_path = stored;
        else
            *port = settings_read_int("Connection", "Port");
    }
    *baud = opt->baud ? opt->baud : settings_read_int("Connection", "Baud");
    std::string window = settings_path();
    std::string where_stored = window.empty() ? "no settings file" : "settings file " + window;
    if (*port <= 0 && opt->port_path.empty()) {
        *error = "no port: give --port (the window has stored none; " + where_stored + ")";
        return false;
    }
    if (*baud <= 0) {
        *error = "no baud rate: give --baud (the window has stored none; " + where_stored + ")";
        return false;
    }
    if (!opt->port_path.empty()) {
        *port = ports_assign_free(opt->port_path.c_str());
        if (!*port) {
            *error = "device path too long";
            return false;
        }
    } else {
        settings_read_port_map(assign_port, nullptr);
    }
    return true;
}

std::string cli_port_name(const CliOptions& opt, int port) {
    if (!opt.port_path.empty()) return opt.port_path;
    char path[300];
    std::string name = com_port_name(port);
    if (ports_device_path(port, path, sizeof path)) name += std::string(" (") + path + ")";
    return name;
}
