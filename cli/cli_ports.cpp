// The runner's port listing, numbered as the window's Port box numbers them.
#include "cli/cli_ports.h"

#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/ports.h"
#include "settings/port_map.h"

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
    std::fprintf(listing->to, "COM%d %s\n", number, device_path);
    ++listing->count;
}

void list_system(const char* port_name, const char* device_name, void* context) {
    auto* listing = static_cast<Listing*>(context);
    // A number the settings give to another device is not this one's any more.
    if (listing->assigned.count(std::atoi(port_name + std::strcspn(port_name, "0123456789")))) return;
    std::fprintf(listing->to, "%s %s\n", port_name, device_name);
    ++listing->count;
}

}  // namespace

int cli_list_ports(FILE* to) {
    Listing listing{to, {}, 0};
    settings_read_port_map(list_assigned, &listing);
    ports_list_system(list_system, &listing);
    return listing.count;
}
