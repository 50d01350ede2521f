// ser2net as a child process (see ser2net_process.h).
#include "tests/integration/ser2net_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/integration/sim_process.h"

#ifndef ZORV_SER2NET_PATH
#error ZORV_SER2NET_PATH must name the ser2net executable
#endif

namespace {

int g_counter = 0;

// A port nobody listens on just now: the system's choice for an ephemeral bind.
int free_port() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

// true once something listens on the port (seen in /proc/net/tcp, so that no probe
// connection opens the device).
bool listening(int port) {
    std::ifstream f("/proc/net/tcp");
    std::string line;
    char want[48];
    std::snprintf(want, sizeof want, "0100007F:%04X 00000000:0000 0A", port);
    while (std::getline(f, line))
        if (line.find(want) != std::string::npos) return true;
    return false;
}

}  // namespace

bool ser2net_start(Ser2netProcess* server, const std::string& device) {
    if (test_temp_dir().empty()) return false;
    server->config_path = test_temp_dir() + "/ser2net-" + std::to_string(g_counter++) + ".yaml";
    server->rfc2217_port = free_port();
    server->telnet_port = free_port();
    server->raw_port = free_port();
    {
        std::ofstream f(server->config_path);
        const struct {
            const char* name;
            const char* accepter;
            int port;
        } ENTRIES[] = {{"rfc2217", "telnet(rfc2217),tcp", server->rfc2217_port},
                       {"telnet", "telnet,tcp", server->telnet_port},
                       {"raw", "tcp", server->raw_port}};
        for (const auto& e : ENTRIES)
            f << "connection: &" << e.name << "\n  accepter: " << e.accepter << ",127.0.0.1," << e.port
              << "\n  connector: serialdev," << device << ",115200n81,local"
              << "\n  options:\n    chardelay: false\n";
        if (!f) return false;
    }
    std::string pid_arg = server->config_path;
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        int null = open("/dev/null", 0);
        dup2(null, 1);
        dup2(null, 2);
        execl(ZORV_SER2NET_PATH, "ser2net", "-n", "-c", pid_arg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    server->pid = pid;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (listening(server->rfc2217_port) && listening(server->telnet_port) && listening(server->raw_port))
            return true;
        if (waitpid(pid, nullptr, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ser2net_stop(server, true);
    return false;
}

void ser2net_stop(Ser2netProcess* server, bool kill_hard) {
    // A server that will not go on SIGTERM within 2 s is killed.
    for (int i = 0; server->pid > 0 && i <= 200; ++i) {
        if (i == 0 || i == 200) kill(server->pid, kill_hard || i == 200 ? SIGKILL : SIGTERM);
        if (waitpid(server->pid, nullptr, i == 200 ? 0 : WNOHANG) == server->pid)
            server->pid = -1;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!server->config_path.empty()) unlink(server->config_path.c_str());
}

std::string ser2net_url(const Ser2netProcess* server) {
    return "rfc2217://127.0.0.1:" + std::to_string(server->rfc2217_port);
}
