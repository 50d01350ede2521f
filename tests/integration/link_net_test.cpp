// The link's shared cases (link_cases.cpp) over the network: each simulator is served
// by its own ser2net and COM<n> names rfc2217://127.0.0.1:PORT. Then what only a
// network port does: 0xFF bytes both ways, a server killed mid-command, servers
// without Com Port Control, a busy port, a wrong host.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "link/link.h"
#include "platform/ports.h"
#include "tests/integration/link_cases.h"
#include "tests/integration/ser2net_process.h"
#include "tests/integration/sim_hosts.h"

namespace {

using Clock = std::chrono::steady_clock;

// A simulator behind a ser2net of its own, which its COM number names.
struct Served : SimHost {
    Ser2netProcess server;
    bool start(int port, const std::vector<std::string>& args) override {
        return SimHost::start(port, args) && ser2net_start(&server, sim.link_path) &&
               ports_assign(port, ser2net_url(&server).c_str()) == 1;
    }
    void stop() override {
        ser2net_stop(&server);
        SimHost::stop();
    }
};

Served* served(int port) { return static_cast<Served*>(sim_host(port)); }

}  // namespace

std::unique_ptr<SimHost> make_sim_host() { return std::make_unique<Served>(); }

namespace {

// Report values of -1 are 0xFF bytes on the wire, doubled by the server and undoubled
// here; a reply holding 0xFF comes through whole, and one we send arrives whole.
TEST_F(LinkSim, NetworkCarries0xFFBothWays) {
    connect(PORT_PLAIN);
    EXPECT_EQ(exchange("set x -1"), "ok");
    EXPECT_EQ(exchange("set q -1"), "ok");
    int16_t q = 0;
    int32_t x = 0, y = 1, z = 1, w = 1;
    ASSERT_EQ(link_query_report_within(link, 2000, &q, &x, &y, &z, &w), 1);
    EXPECT_EQ(q, -1);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(exchange("bytes ff 41 ff"), "\xff" "A\xff");
    EXPECT_EQ(exchange("echo \xff\xff x \xff"), "\xff\xff x \xff");
    EXPECT_EQ(exchange("pins data ff"), "ok");
    EXPECT_EQ(exchange("pins"), "data=FF status=78 control=00");
}

// A server that dies is a lost port: noticed within a second, whether a command waits
// or the link is idle (the window's once-a-second check).
TEST_F(LinkSim, ServerKilledIsALostPort) {
    for (bool mid_command : {true, false}) {
        connect(PORT_PLAIN);
        Served* it = served(PORT_PLAIN);
        ASSERT_NE(it, nullptr);
        auto t = Clock::now();
        if (mid_command) {
            on_event([&] {
                on_event(nullptr);
                ser2net_stop(&it->server, true);
            });
            EXPECT_EQ(link_exchange(link, "run 5000", nullptr), 0);
            EXPECT_EQ(link_last_error(nullptr, 0), LINK_ERROR_PORT_LOST);
        } else {
            ser2net_stop(&it->server, true);
        }
        EXPECT_EQ(link_port_lost(link), 1) << mid_command;
        EXPECT_LT(seconds_since(t), 1.0) << mid_command;
        link_close(&link);
        host_sim_down(PORT_PLAIN);
        sim_port = 0;
    }
}

// A port whose listener takes no more connections: a connect there gets no answer.
int full_listener(std::vector<int>* fds) {
    int l = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(l, 0) != 0 ||
        getsockname(l, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    fds->push_back(l);
    for (int i = 0; i < 3; ++i) {
        fds->push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        connect(fds->back(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    return ntohs(a.sin_port);
}

// Every failure says why; the first rows while our own link holds the port. Nothing
// of ours reaches the controller: not through a Telnet server without Com Port
// Control, nor through a raw one (we wait for the server to speak Telnet first).
TEST_F(LinkSim, NetworkFailuresSayWhy) {
    connect(PORT_PLAIN);
    std::string before = host_sim_log(PORT_PLAIN);
    ASSERT_NE(served(PORT_PLAIN), nullptr);
    const Ser2netProcess& s = served(PORT_PLAIN)->server;
    std::string local = "rfc2217://127.0.0.1:", at = "the server at 127.0.0.1:";
    std::vector<int> fds;
    std::string full = std::to_string(full_listener(&fds));
    const struct {
        bool held;
        std::string url;
        int code;
        std::string text;
    } cases[] = {
        {true, ser2net_url(&s), LINK_ERROR_BUSY,
         at + std::to_string(s.rfc2217_port) + " refused: \"Port already in use\""},
        {true, local + "1", LINK_ERROR_OPEN, "connection refused by 127.0.0.1:1"},
        {true, local + full, LINK_ERROR_OPEN, "no answer from 127.0.0.1:" + full + " within 3 s"},
        {true, "rfc2217://no-such-host.invalid:2000", LINK_ERROR_NO_DEVICE, "host not found: no-such-host.invalid"},
        {true, "rfc2217://host", LINK_ERROR_NO_DEVICE, "bad address rfc2217://host: no port number"},
        {false, local + std::to_string(s.telnet_port), LINK_ERROR_OPEN,
         at + std::to_string(s.telnet_port) + " does not offer modem control (RFC 2217); tcp://"},
        {false, local + std::to_string(s.raw_port), LINK_ERROR_OPEN,
         at + std::to_string(s.raw_port) + " does not offer modem control (RFC 2217) (no answer within 3 s)"},
    };
    for (const auto& c : cases) {
        if (!c.held) link_close(&link);
        ASSERT_EQ(ports_assign(40, c.url.c_str()), 1);
        auto t = Clock::now();
        EXPECT_EQ(link_connect("COM40: 115200"), nullptr) << c.url;
        char text[200];
        EXPECT_EQ(link_last_error(text, sizeof text), c.code) << c.url;
        EXPECT_EQ(std::string(text).substr(0, c.text.size()), c.text) << c.url;
        EXPECT_LT(seconds_since(t), 3.5) << c.url;
    }
    for (int fd : fds) close(fd);
    EXPECT_EQ(host_sim_log(PORT_PLAIN).find("line", before.size()), std::string::npos);
    EXPECT_EQ(host_sim_log(PORT_PLAIN).find("pin", before.size()), std::string::npos);
    // tcp:// connects and greets, without a reset.
    ASSERT_EQ(ports_assign(40, ("tcp://127.0.0.1:" + std::to_string(s.raw_port)).c_str()), 1);
    link = link_connect("COM40: 115200");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(exchange("echo raw \xff"), "raw \xff");
}

}  // namespace
