// ser2net as a child process serving a simulator's pseudo-terminal on free local
// ports, for the tests and benchmarks of network ports.
#pragma once

#include <string>

struct Ser2netProcess {
    int pid = -1;
    int rfc2217_port = 0;  // telnet(rfc2217): the full Com Port Control
    int telnet_port = 0;   // telnet without Com Port Control
    int raw_port = 0;      // plain TCP
    std::string config_path;
};

// Starts ser2net for device (a pty path) with a generated configuration and waits (at
// most 5 s) until it listens. false when it cannot (ser2net missing or failing).
bool ser2net_start(Ser2netProcess* server, const std::string& device);
// Ends it: SIGTERM, or SIGKILL when kill_hard (a server that dies mid-command).
void ser2net_stop(Ser2netProcess* server, bool kill_hard = false);
// "rfc2217://127.0.0.1:<rfc2217_port>".
std::string ser2net_url(const Ser2netProcess* server);
