// Port names that are network addresses: rfc2217://HOST:PORT (a Telnet server with
// the Com Port Control Option, such as ser2net) and tcp://HOST:PORT (raw bytes, no
// modem lines). Plain code, no OS calls.
#pragma once

enum NetKind { NET_NONE = 0, NET_RFC2217 = 1, NET_TCP = 2 };

struct NetUrl {
    int kind = NET_NONE;
    char host[256] = "";  // a name or an address; IPv6 without its brackets
    int port = 0;         // 1..65535
};

// The kind a port name's prefix asks for (any case), NET_NONE for other names and
// for null.
int net_url_kind(const char* text);
// Reads a whole URL: scheme, host (a name, an IPv4 address or [IPv6]), ':' and a
// port number 1..65535, optionally one '/' after it. 1 on success; 0 with *error (may
// be null) set to why, in a few words ("no port number").
int net_url_parse(const char* text, NetUrl* out, const char** error);

// The note a window or runner shows after connecting through text, or nullptr when
// there is none: a raw TCP port cannot reset the controller.
const char* net_url_note(const char* text);
