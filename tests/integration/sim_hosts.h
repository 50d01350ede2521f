// The host side of the shared link cases (link_cases.h) for a POSIX test program:
// one simulator per port, started with the options its case asks for. The program
// defines make_sim_host(), which says how a simulator is served (on its pty, or behind
// a server of its own).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/integration/sim_process.h"

struct SimHost {
    SimProcess sim;
    virtual ~SimHost() = default;
    virtual bool start(int port, const std::vector<std::string>& args) { return sim_start(&sim, port, args); }
    virtual void stop() { sim_stop(&sim); }
};

std::unique_ptr<SimHost> make_sim_host();

// The host serving port, or null when none is up.
SimHost* sim_host(int port);
