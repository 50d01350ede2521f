// The simulators of the shared link cases, by port, and the window's wait on a
// descriptor as poll() does it.
#include "tests/integration/sim_hosts.h"

#include <poll.h>

#include <map>
#include <sstream>

#include "platform/dispatch.h"
#include "tests/integration/link_cases.h"

namespace {

std::map<int, std::unique_ptr<SimHost>> g_hosts;

}  // namespace

SimHost* sim_host(int port) {
    auto it = g_hosts.find(port);
    return it == g_hosts.end() ? nullptr : it->second.get();
}

bool host_sim_up(int port) {
    watchdog_arm(300);
    const char* options = link_sim_options(port);
    if (!options) return false;
    std::vector<std::string> args;
    std::istringstream words(options);
    for (std::string w; words >> w;) args.push_back(w);
    host_sim_down(port);
    auto& host = g_hosts[port];
    host = make_sim_host();
    return host->start(port, args);
}

void host_sim_down(int port) {
    auto it = g_hosts.find(port);
    if (it == g_hosts.end()) return;
    it->second->stop();
    g_hosts.erase(it);
}

std::string host_sim_log(int port) {
    SimHost* host = sim_host(port);
    return host ? sim_log(&host->sim) : std::string();
}

void host_wait_handle(intptr_t handle, uint32_t ms) {
    pollfd pfd{static_cast<int>(handle), POLLIN, 0};
    ::poll(&pfd, handle >= 0 ? 1 : 0, ms == PLATFORM_WAIT_FOREVER ? -1 : static_cast<int>(ms));
}
