// The link through the real Win32 serial layer against zorv-sim, which Wine maps to
// COM ports (tests/wine/with-sims starts one simulator per port before the run, with
// the options of LINK_SIMS): the host part of the shared cases (link_cases.cpp), and
// the registry's port list.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/ports.h"
#include "platform/serial.h"
#include "tests/integration/link_cases.h"

// The simulators run for the whole test: nothing to start or stop here. Run through
// tests/wine/with-ser2net, each is reached over the network instead (ZORV_NET_URLS).
bool host_sim_up(int port) {
    const char* urls = std::getenv("ZORV_NET_URLS");
    std::string key = ";" + std::to_string(port) + "=";
    std::string all = urls ? ";" + std::string(urls) + ";" : "";
    size_t at = all.find(key);
    if (at != std::string::npos) {
        size_t from = at + key.size();
        ports_assign(port, all.substr(from, all.find(';', from) - from).c_str());
    }
    return link_sim_options(port) && std::getenv("ZORV_SIM_DIR");
}
void host_sim_down(int) {}

std::string host_sim_log(int port) {
    const char* dir = std::getenv("ZORV_SIM_DIR");
    if (!dir) return std::string();
    std::ifstream in(std::string(dir) + "\\com" + std::to_string(port) + ".log", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void host_wait_handle(intptr_t handle, uint32_t ms) {
    if (handle == PLATFORM_NO_HANDLE)
        Sleep(ms);
    else
        WaitForSingleObject(reinterpret_cast<HANDLE>(handle), ms);
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

double cpu_seconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

namespace {

TEST(WinePorts, TheRegistryListsTheMappedPorts) {
    std::vector<std::string> seen;
    auto collect = [](const char* port, const char* device, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(std::string(port) + " (" + device + ")");
    };
    int n = ports_list_system(collect, &seen);
    EXPECT_EQ(n, static_cast<int>(seen.size()));
    bool found = false;
    for (const std::string& s : seen) found = found || s.rfind("COM11 (", 0) == 0;
    EXPECT_TRUE(found) << "COM11 missing from HARDWARE\\DEVICEMAP\\SERIALCOMM";

    char path[32];
    ASSERT_EQ(ports_device_path(12, path, sizeof path), 1);
    EXPECT_STREQ(path, "\\\\.\\COM12");
    EXPECT_EQ(ports_device_path(12, path, 9), 0);  // does not fit
    EXPECT_EQ(serial_open(99), nullptr);            // no such port
}

}  // namespace
