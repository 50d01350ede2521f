// The Telnet side of a network port (RFC 854/855, binary transmission RFC 856 and
// the Com Port Control Option RFC 2217): a parser of what the server sends and the
// encoders of what we send. Plain code, no OS calls; a hostile server can make it
// neither grow nor spin: every buffer here is fixed.
#pragma once

#include <cstdint>

constexpr uint8_t TELNET_IAC = 255, TELNET_DONT = 254, TELNET_DO = 253, TELNET_WONT = 252, TELNET_WILL = 251,
                  TELNET_SB = 250, TELNET_SE = 240;
constexpr uint8_t TELNET_BINARY = 0, TELNET_ECHO = 1, TELNET_SGA = 3, TELNET_COM_PORT = 44;

// Com Port Control commands as the client sends them; the server answers each with
// the same code plus CPC_SERVER.
enum ComPortCommand : uint8_t {
    CPC_SIGNATURE = 0,
    CPC_SET_BAUDRATE = 1,
    CPC_SET_DATASIZE = 2,
    CPC_SET_PARITY = 3,
    CPC_SET_STOPSIZE = 4,
    CPC_SET_CONTROL = 5,
    CPC_NOTIFY_LINESTATE = 6,
    CPC_NOTIFY_MODEMSTATE = 7,
    CPC_FLOWCONTROL_SUSPEND = 8,
    CPC_FLOWCONTROL_RESUME = 9,
    CPC_SET_LINESTATE_MASK = 10,
    CPC_SET_MODEMSTATE_MASK = 11,
    CPC_PURGE_DATA = 12,
};
constexpr uint8_t CPC_SERVER = 100;
// SET-CONTROL values used here.
constexpr uint8_t CPC_NO_FLOW_OUT = 1, CPC_DTR_ON = 8, CPC_DTR_OFF = 9, CPC_RTS_ON = 11, CPC_RTS_OFF = 12,
                  CPC_NO_FLOW_IN = 14;

// Where an option stands on one side (RFC 1143, without the queue bits we never need).
enum TelnetSide : uint8_t { TELNET_NO = 0, TELNET_YES = 1, TELNET_WANT_YES = 2 };

// The longest subnegotiation kept; longer ones are read to their end and ignored.
constexpr uint32_t TELNET_SB_MAX = 64;
// At most this many reply bytes are queued by one telnet_parse call (each command
// read gives at most one 3-byte answer, and a call stops before the queue could
// overflow).
constexpr uint32_t TELNET_REPLY_MAX = 96;

struct TelnetParser {
    uint8_t state = 0;   // where in a command the last byte left us
    uint8_t verb = 0;    // WILL/WONT/DO/DONT waiting for its option
    bool after_cr = false;  // the server's side is not binary: a NUL after CR is dropped
    uint8_t us[256] = {};   // our side of each option (we WILL)
    uint8_t him[256] = {};  // the server's side (it WILLs)
    uint8_t sb[TELNET_SB_MAX] = {};
    uint32_t sb_len = 0;
    bool sb_cut = false;
    uint8_t reply[TELNET_REPLY_MAX] = {};
    uint32_t reply_len = 0;
};

// A finished Com Port Control subnegotiation from the server: code (100 and up) and
// its value bytes. kind 0: nothing finished.
struct TelnetEvent {
    int kind = 0;  // 1: a Com Port Control answer or notification
    uint8_t code = 0;
    uint8_t value[TELNET_SB_MAX] = {};
    uint32_t value_len = 0;
};

// Writes into out our requests for what the server has not yet agreed: we WILL
// BINARY and COM-PORT (when com_port), and ask it to DO BINARY. Returns the bytes
// written (at most 9; out must hold them).
uint32_t telnet_request(TelnetParser* t, bool com_port, uint8_t* out);

// Parses in[0..n): data bytes go to data (at most data_cap; *data_len set), answers
// to the server's negotiation to t->reply (the caller sends and empties it). Stops
// after a finished Com Port Control subnegotiation (*event filled), when data is
// full, or when the reply queue has no room for another answer. Returns how many
// input bytes were consumed.
uint32_t telnet_parse(TelnetParser* t, const uint8_t* in, uint32_t n, uint8_t* data, uint32_t data_cap,
                      uint32_t* data_len, TelnetEvent* event);

// Data for the wire: IAC doubled, and a CR followed by NUL while our side is not
// binary. Takes from in until out (cap bytes) could not hold the next byte; *used
// tells how many input bytes were taken. Returns the bytes written.
uint32_t telnet_escape(const TelnetParser* t, const uint8_t* in, uint32_t n, uint8_t* out, uint32_t cap,
                       uint32_t* used);

// IAC SB COM-PORT command value... IAC SE, with IAC in the value doubled. out must
// hold 6 + 2 * value_len bytes. Returns the bytes written.
uint32_t telnet_com_port(uint8_t command, const uint8_t* value, uint32_t value_len, uint8_t* out);
