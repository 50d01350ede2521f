// The Telnet parser and encoders of a network port (see telnet.h).
#include "platform/net/telnet.h"

#include <cstring>

namespace {

enum State : uint8_t { DATA, COMMAND, OPTION, SUB, SUB_IAC };

// The options each side accepts: binary both ways, Com Port Control on ours,
// suppress-go-ahead both ways (harmless, and what servers offer first). Anything
// else is refused: no echo, no terminal type, nothing that would change the bytes.
bool we_accept(uint8_t option) {
    return option == TELNET_BINARY || option == TELNET_COM_PORT || option == TELNET_SGA;
}
bool he_may(uint8_t option) { return option == TELNET_BINARY || option == TELNET_SGA; }

void answer(TelnetParser* t, uint8_t verb, uint8_t option) {
    t->reply[t->reply_len++] = TELNET_IAC;
    t->reply[t->reply_len++] = verb;
    t->reply[t->reply_len++] = option;
}

// RFC 1143: answer only what changes a side, so two parties never loop.
void negotiate(TelnetParser* t, uint8_t verb, uint8_t option) {
    uint8_t& us = t->us[option];
    uint8_t& him = t->him[option];
    switch (verb) {
        case TELNET_WILL:
            if (him == TELNET_NO) {
                if (he_may(option)) {
                    him = TELNET_YES;
                    answer(t, TELNET_DO, option);
                } else {
                    answer(t, TELNET_DONT, option);
                }
            } else {
                him = TELNET_YES;
            }
            break;
        case TELNET_WONT:
            if (him == TELNET_YES) answer(t, TELNET_DONT, option);
            him = TELNET_NO;
            break;
        case TELNET_DO:
            if (us == TELNET_NO) {
                if (we_accept(option)) {
                    us = TELNET_YES;
                    answer(t, TELNET_WILL, option);
                } else {
                    answer(t, TELNET_WONT, option);
                }
            } else {
                us = TELNET_YES;
            }
            break;
        case TELNET_DONT:
            if (us == TELNET_YES) answer(t, TELNET_WONT, option);
            us = TELNET_NO;
            break;
        default: break;
    }
}

// A finished subnegotiation: only Com Port Control matters; the rest is ignored.
bool finish_sub(TelnetParser* t, TelnetEvent* event) {
    bool ours = !t->sb_cut && t->sb_len >= 2 && t->sb[0] == TELNET_COM_PORT;
    if (ours && event) {
        event->kind = 1;
        event->code = t->sb[1];
        event->value_len = t->sb_len - 2;
        std::memcpy(event->value, t->sb + 2, event->value_len);
    }
    t->sb_len = 0;
    t->sb_cut = false;
    return ours;
}

void sub_byte(TelnetParser* t, uint8_t b) {
    if (t->sb_len < TELNET_SB_MAX)
        t->sb[t->sb_len++] = b;
    else
        t->sb_cut = true;
}

}  // namespace

uint32_t telnet_request(TelnetParser* t, bool com_port, uint8_t* out) {
    uint32_t n = 0;
    auto ask = [&](uint8_t* side, uint8_t verb, uint8_t option) {
        if (side[option] != TELNET_NO) return;
        side[option] = TELNET_WANT_YES;
        out[n++] = TELNET_IAC;
        out[n++] = verb;
        out[n++] = option;
    };
    ask(t->us, TELNET_WILL, TELNET_BINARY);
    ask(t->him, TELNET_DO, TELNET_BINARY);
    if (com_port) ask(t->us, TELNET_WILL, TELNET_COM_PORT);
    return n;
}

uint32_t telnet_parse(TelnetParser* t, const uint8_t* in, uint32_t n, uint8_t* data, uint32_t data_cap,
                      uint32_t* data_len, TelnetEvent* event) {
    *data_len = 0;
    if (event) event->kind = 0;
    uint32_t i = 0;
    while (i < n) {
        uint8_t b = in[i];
        switch (t->state) {
            case DATA:
                if (b == TELNET_IAC) {
                    t->state = COMMAND;
                    break;
                }
                // Without binary from the server, CR NUL stands for CR alone.
                if (b == 0 && t->after_cr) {
                    t->after_cr = false;
                    break;
                }
                if (*data_len == data_cap) return i;
                data[(*data_len)++] = b;
                t->after_cr = b == 0x0D && t->him[TELNET_BINARY] != TELNET_YES;
                break;
            case COMMAND:
                t->after_cr = false;
                if (b == TELNET_IAC) {  // an escaped 0xFF data byte
                    if (*data_len == data_cap) return i;
                    data[(*data_len)++] = b;
                    t->state = DATA;
                } else if (b >= TELNET_WILL && b <= TELNET_DONT) {
                    if (t->reply_len + 3 > TELNET_REPLY_MAX) return i;
                    t->verb = b;
                    t->state = OPTION;
                } else if (b == TELNET_SB) {
                    t->sb_len = 0;
                    t->sb_cut = false;
                    t->state = SUB;
                } else {
                    t->state = DATA;  // NOP, GA, DM, AYT, ...: nothing for us
                }
                break;
            case OPTION:
                negotiate(t, t->verb, b);
                t->state = DATA;
                break;
            case SUB:
                if (b == TELNET_IAC)
                    t->state = SUB_IAC;
                else
                    sub_byte(t, b);
                break;
            case SUB_IAC:
                if (b == TELNET_IAC) {
                    sub_byte(t, b);
                    t->state = SUB;
                } else if (b == TELNET_SE) {
                    t->state = DATA;
                    if (finish_sub(t, event)) return i + 1;
                } else {
                    // A command inside a subnegotiation ends it unfinished; the command
                    // itself is read as usual.
                    t->sb_len = 0;
                    t->state = COMMAND;
                    continue;
                }
                break;
            default: t->state = DATA; break;
        }
        ++i;
    }
    return i;
}

uint32_t telnet_escape(const TelnetParser* t, const uint8_t* in, uint32_t n, uint8_t* out, uint32_t cap,
                       uint32_t* used) {
    bool binary = t->us[TELNET_BINARY] == TELNET_YES;
    uint32_t o = 0, i = 0;
    for (; i < n; ++i) {
        uint8_t b = in[i];
        bool twice = b == TELNET_IAC || (b == 0x0D && !binary);
        if (o + (twice ? 2 : 1) > cap) break;
        out[o++] = b;
        if (b == TELNET_IAC) out[o++] = TELNET_IAC;
        else if (twice) out[o++] = 0;
    }
    if (used) *used = i;
    return o;
}

uint32_t telnet_com_port(uint8_t command, const uint8_t* value, uint32_t value_len, uint8_t* out) {
    uint32_t o = 0;
    out[o++] = TELNET_IAC;
    out[o++] = TELNET_SB;
    out[o++] = TELNET_COM_PORT;
    out[o++] = command;
    for (uint32_t i = 0; i < value_len; ++i) {
        out[o++] = value[i];
        if (value[i] == TELNET_IAC) out[o++] = TELNET_IAC;
    }
    out[o++] = TELNET_IAC;
    out[o++] = TELNET_SE;
    return o;
}
