// One fuzz input through the network port's Telnet parser, in chunks and with data
// room both given by the input itself. Aborts when the parser breaks a promise:
// reading past its input, overfilling a buffer, or making no progress (a spin).
#pragma once

#include <cstdint>
#include <cstdlib>

#include "platform/net/telnet.h"

inline void telnet_fuzz_one(const uint8_t* bytes, size_t size) {
    if (size < 2) return;
    TelnetParser t;
    uint8_t ask[16];
    telnet_request(&t, bytes[0] & 1, ask);
    uint32_t chunk = bytes[0] % 37 + 1, room = bytes[1] % 19 + 1;
    const uint8_t* in = bytes + 2;
    uint32_t left = static_cast<uint32_t>(size - 2);
    while (left > 0) {
        uint32_t n = left < chunk ? left : chunk;
        uint8_t data[32];
        uint32_t got = 0;
        TelnetEvent event;
        uint32_t used = telnet_parse(&t, in, n, data, room, &got, &event);
        if (used > n || got > room || t.reply_len > TELNET_REPLY_MAX || t.sb_len > TELNET_SB_MAX) std::abort();
        if (event.kind && event.value_len > TELNET_SB_MAX) std::abort();
        if (used == 0 && t.reply_len == 0) std::abort();  // room for data and answers: it must move
        t.reply_len = 0;                                    // sent
        in += used;
        left -= used;
    }
    // Our own data, escaped, comes back unchanged through a binary parser.
    TelnetParser peer;
    peer.him[TELNET_BINARY] = TELNET_YES;
    t.us[TELNET_BINARY] = TELNET_YES;
    uint32_t n = size - 2 < 64 ? static_cast<uint32_t>(size - 2) : 64;
    uint8_t wire[128], back[64];
    uint32_t used = 0, got = 0;
    uint32_t w = telnet_escape(&t, bytes + 2, n, wire, sizeof wire, &used);
    TelnetEvent event;
    if (used != n || telnet_parse(&peer, wire, w, back, sizeof back, &got, &event) != w || got != n) std::abort();
    for (uint32_t i = 0; i < n; ++i)
        if (back[i] != bytes[2 + i]) std::abort();
}
