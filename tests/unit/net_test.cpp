// The network port's window-free parts: port names, the Telnet parser and encoders.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/net/net_url.h"
#include "platform/net/telnet.h"
#include "tests/fuzz/telnet_fuzz_body.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(NetUrl, ParsesOrSaysWhy) {
    const struct {
        const char* text;
        int kind;
        const char* host;
        int port;
        const char* error;
    } cases[] = {
        {"rfc2217://127.0.0.1:2000", NET_RFC2217, "127.0.0.1", 2000, nullptr},
        {"RFC2217://pi-lab.local:7001/", NET_RFC2217, "pi-lab.local", 7001, nullptr},
        {"tcp://[::1]:65535", NET_TCP, "::1", 65535, nullptr},
        {"tcp://host:0", NET_TCP, "", 0, "port number not 1..65535"},
        {"tcp://host:99999999999999999999", NET_TCP, "", 0, "port number not 1..65535"},
        {"rfc2217://host", NET_RFC2217, "", 0, "no port number"},
        {"rfc2217://:2000", NET_RFC2217, "", 0, "no host"},
        {"rfc2217://a b:1", NET_RFC2217, "", 0, "bad character in the host name"},
        {"rfc2217://[::1:1", NET_RFC2217, "", 0, "no ']' after the IPv6 address"},
        {"rfc2217://h:1/x", NET_RFC2217, "", 0, "unexpected text after the port number"},
        {"/dev/ttyUSB0", NET_NONE, "", 0, "not rfc2217:// or tcp://"},
        {nullptr, NET_NONE, "", 0, "not rfc2217:// or tcp://"},
    };
    for (const auto& c : cases) {
        NetUrl url;
        const char* error = nullptr;
        const char* name = c.text ? c.text : "null";
        EXPECT_EQ(net_url_kind(c.text), c.kind) << name;
        EXPECT_EQ(net_url_parse(c.text, &url, &error), c.error ? 0 : 1) << name;
        EXPECT_STREQ(c.error ? error : url.host, c.error ? c.error : c.host) << name;
        EXPECT_EQ(url.port, c.port) << name;
    }
    EXPECT_EQ(net_url_parse(("tcp://" + std::string(300, 'h') + ":1").c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(net_url_note("rfc2217://h:1"), nullptr);
    EXPECT_NE(net_url_note("TCP://h:1"), nullptr);
}

struct Parsed {
    Bytes data, reply;
    std::vector<Bytes> events;  // code, value...
};

Parsed parse(TelnetParser* t, const Bytes& in, uint32_t room = 64) {
    Parsed out;
    uint32_t at = 0;
    for (int guard = 0; at < in.size() && guard < 1000; ++guard) {
        uint8_t data[64];
        uint32_t got = 0;
        TelnetEvent e;
        at += telnet_parse(t, in.data() + at, static_cast<uint32_t>(in.size() - at), data, room, &got, &e);
        out.data.insert(out.data.end(), data, data + got);
        out.reply.insert(out.reply.end(), t->reply, t->reply + t->reply_len);
        t->reply_len = 0;
        if (e.kind) {
            Bytes ev{e.code};
            ev.insert(ev.end(), e.value, e.value + e.value_len);
            out.events.push_back(ev);
        }
    }
    return out;
}

constexpr uint8_t IAC = TELNET_IAC, WILL = TELNET_WILL, WONT = TELNET_WONT, DO = TELNET_DO, DONT = TELNET_DONT,
                  SB = TELNET_SB, SE = TELNET_SE, CP = TELNET_COM_PORT;

// What a server sends, what reaches the reply stream, what we answer, and the Com
// Port Control answers seen; starting from our requests (binary both ways, Com Port).
TEST(Telnet, ParserTable) {
    const struct {
        const char* name;
        Bytes in;
        Bytes data;
        Bytes reply;
        std::vector<Bytes> events;
    } cases[] = {
        {"plain data", {'o', 'k', 0x0D}, {'o', 'k', 0x0D}, {}, {}},
        {"IAC IAC is one 0xFF", {0x12, IAC, IAC, IAC, IAC, 0x41}, {0x12, 0xFF, 0xFF, 0x41}, {}, {}},
        {"ser2net's opening: SGA yes, ECHO refused, binary agreed, Com Port agreed",
         {IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 1, IAC, DONT, 1, IAC, DO, 0, IAC, WILL, 0, IAC, DO, CP},
         {},
         {IAC, DO, 3, IAC, WILL, 3, IAC, DONT, 1},
         {}},
        {"unknown options refused politely", {IAC, DO, 24, IAC, WILL, 31}, {}, {IAC, WONT, 24, IAC, DONT, 31}, {}},
        {"refusal of what we never had: no answer (no loop)", {IAC, WONT, 24, IAC, DONT, 24}, {}, {}, {}},
        {"rate answer, IAC doubled in the value",
         {IAC, SB, CP, 101, 0, 1, 0xC2, 0, IAC, SE, IAC, SB, CP, 101, 0, 0, IAC, IAC, IAC, IAC, IAC, SE},
         {},
         {},
         {{101, 0, 1, 0xC2, 0}, {101, 0, 0, 0xFF, 0xFF}}},
        {"notifications never reach the data", {'a', IAC, SB, CP, 107, 0x30, IAC, SE, IAC, SB, CP, 106, 0x61, IAC, SE, 'b'},
         {'a', 'b'}, {}, {{107, 0x30}, {106, 0x61}}},
        {"other subnegotiations ignored", {IAC, SB, 24, 1, IAC, SE, 'x'}, {'x'}, {}, {}},
        {"commands NOP, GA, DM dropped", {'a', IAC, 241, IAC, 249, IAC, 242, 'b'}, {'a', 'b'}, {}, {}},
        {"CR NUL stays CR NUL in binary", {0x0D, 0, 0x0D, 0x0A}, {0x0D, 0, 0x0D, 0x0A}, {}, {}},
        {"a command inside a subnegotiation ends it", {IAC, SB, CP, 101, 1, IAC, DO, 24, 'z'}, {'z'},
         {IAC, WONT, 24}, {}},
    };
    for (const auto& c : cases) {
        TelnetParser t;
        uint8_t ask[16];
        EXPECT_EQ(telnet_request(&t, true, ask), 9u);
        t.him[TELNET_BINARY] = TELNET_YES;  // as agreed by the server
        Parsed p = parse(&t, c.in);
        EXPECT_EQ(p.data, c.data) << c.name;
        EXPECT_EQ(p.reply, c.reply) << c.name;
        EXPECT_EQ(p.events, c.events) << c.name;
    }
}

TEST(Telnet, NotBinaryServerAndOverlongSubnegotiation) {
    TelnetParser t;
    // A server that refuses binary: its CR NUL is a CR; we then send CR as CR NUL.
    Parsed p = parse(&t, {IAC, WONT, 0, IAC, DONT, 0, 'a', 0x0D, 0, 'b', 0x0D, 0x0A});
    EXPECT_EQ(p.data, (Bytes{'a', 0x0D, 'b', 0x0D, 0x0A}));
    const uint8_t line[] = {'A', 0x0D, 0xFF};
    uint8_t wire[8];
    uint32_t used = 0;
    EXPECT_EQ(telnet_escape(&t, line, 3, wire, sizeof wire, &used), 5u);
    EXPECT_EQ(Bytes(wire, wire + 5), (Bytes{'A', 0x0D, 0, 0xFF, 0xFF}));
    // Room for one byte less than an escape needs: it stops before, never splits.
    EXPECT_EQ(telnet_escape(&t, line + 2, 1, wire, 1, &used), 0u);
    EXPECT_EQ(used, 0u);
    // A subnegotiation past the limit is read to its end and ignored.
    Bytes longer{IAC, SB, CP, 101};
    longer.insert(longer.end(), 500, 7);
    longer.insert(longer.end(), {IAC, SE, 'k'});
    p = parse(&t, longer);
    EXPECT_TRUE(p.events.empty());
    EXPECT_EQ(p.data, Bytes{'k'});
    uint8_t cmd[16];
    const uint8_t rate[4] = {0, 0, 0xFF, 0};
    EXPECT_EQ(telnet_com_port(CPC_SET_BAUDRATE, rate, 4, cmd), 11u);
    EXPECT_EQ(Bytes(cmd, cmd + 11), (Bytes{IAC, SB, CP, 1, 0, 0, 0xFF, 0xFF, 0, IAC, SE}));
}

// A hostile server's bytes: never a crash, an overflow or a spin (the fuzz target's
// body, over seeded inputs; tests/fuzz holds the libFuzzer target).
TEST(Telnet, SurvivesAnyBytes) {
    std::mt19937 random(2217);
    for (int i = 0; i < 20000; ++i) {
        Bytes in(random() % 200 + 2);
        // Mostly Telnet's own bytes, so that commands and subnegotiations are hit.
        for (auto& b : in) b = random() % 3 ? static_cast<uint8_t>(240 + random() % 16) : static_cast<uint8_t>(random());
        telnet_fuzz_one(in.data(), in.size());
    }
}

}  // namespace
