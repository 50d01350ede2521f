// A serial port over the network (see net_port.h). Input goes socket -> raw buffer ->
// Telnet parser -> data buffer, each of fixed size: when the data buffer is full the
// socket is left unread and TCP holds the server back, so memory never grows.
#include "platform/net/net_port.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/dispatch.h"
#include "platform/net/net_socket.h"
#include "platform/net/net_url.h"
#include "platform/net/telnet.h"
#include "platform/serial.h"

struct NetPort {
    NetUrl url;
    NetSocket* sock = nullptr;
    bool telnet = false;  // rfc2217://: Telnet with Com Port Control
    TelnetParser parser;
    bool lost = false;
    bool pending_error = false;
    // Until the purge after the reset, whatever the controller says is thrown away
    // anyway: a full buffer is emptied rather than left to stop the reading.
    bool setting_up = true;
    bool purge_wait = false;
    // Until the server has shown that it speaks Telnet, its bytes are looked at, not
    // read: to a raw TCP server every Telnet byte of ours (0xFF...) would reach the
    // controller, which takes such a byte for a pin command.
    bool sniffing = false;
    uint32_t answers[16] = {};       // Com Port Control answers seen, by command
    uint8_t answer_value[16][4] = {};  // the last value of each (first 4 bytes)
    uint8_t raw[2048];
    uint32_t raw_head = 0, raw_tail = 0;
    uint8_t data[4096];
    uint32_t head = 0, tail = 0;
    // What the server said before it closed during the open (ser2net explains a busy
    // port in text).
    char said[120] = "";
    uint32_t said_len = 0;
};

namespace {

// Connecting, and each answer the server owes us, gets this long.
constexpr uint32_t ANSWER_MS = 3000;
// A server that says its port is in use may still be closing our own last
// connection (ser2net takes a moment): it is asked again for this long.
constexpr uint32_t BUSY_RETRY_MS = 1000, BUSY_PAUSE_MS = 100;
// How long a raw TCP server is given to turn us away.
constexpr uint32_t CLOSE_AT_ONCE_MS = 100;

thread_local int g_cancel_open = 0;
// The last attempt ended with the server closing on us (busy, or still closing our
// previous connection).
thread_local bool g_closed_early = false;

uint32_t buffered(const NetPort* p) { return p->tail - p->head; }

uint32_t room(NetPort* p) {
    if (p->head == p->tail) p->head = p->tail = 0;
    if (p->head > 0 && p->tail == sizeof p->data) {
        std::memmove(p->data, p->data + p->head, buffered(p));
        p->tail -= p->head;
        p->head = 0;
    }
    return static_cast<uint32_t>(sizeof p->data) - p->tail;
}

void mark_lost(NetPort* p) {
    if (!p->lost) p->pending_error = true;
    p->lost = true;
}

// Sends all of buffer, waiting for room at most 5 s in all while the server reads
// nothing. false when the connection failed (marked lost).
bool send_all(NetPort* p, const uint8_t* buffer, uint32_t n) {
    uint32_t done = 0;
    int idle_seconds = 0;
    while (done < n) {
        int sent = net_socket_send(p->sock, buffer + done, n - done);
        if (sent > 0) {
            done += static_cast<uint32_t>(sent);
            idle_seconds = 0;
            continue;
        }
        if (sent < 0 || ++idle_seconds > 5 || net_socket_wait(p->sock, 1000, 1) < 0) {
            mark_lost(p);
            return false;
        }
    }
    return true;
}

bool send_command(NetPort* p, uint8_t command, const uint8_t* value, uint32_t len) {
    uint8_t out[6 + 2 * 4];
    return !p->lost && send_all(p, out, telnet_com_port(command, value, len, out));
}

bool send_command1(NetPort* p, uint8_t command, uint8_t value) { return send_command(p, command, &value, 1); }

void keep_said(NetPort* p, const uint8_t* bytes, uint32_t n) {
    for (uint32_t i = 0; i < n && p->said_len + 1 < sizeof p->said; ++i)
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F) p->said[p->said_len++] = static_cast<char>(bytes[i]);
    p->said[p->said_len] = '\0';
}

void on_answer(NetPort* p, const TelnetEvent& e) {
    if (e.code < CPC_SERVER || e.code >= CPC_SERVER + 16) return;  // notifications and the unknown
    uint8_t command = static_cast<uint8_t>(e.code - CPC_SERVER);
    ++p->answers[command];
    std::memset(p->answer_value[command], 0, 4);
    std::memcpy(p->answer_value[command], e.value, e.value_len < 4 ? e.value_len : 4);
    // Everything before the purge's answer was sent before the purge: gone with it.
    if (command == CPC_PURGE_DATA && p->purge_wait) {
        p->head = p->tail = 0;
        p->purge_wait = false;
    }
}

// Takes in what the socket holds, as far as the data buffer has room. false when
// the connection is lost.
bool pump(NetPort* p) {
    if (p->lost) return false;
    for (;;) {
        if (room(p) == 0) {
            if (!p->setting_up) return true;
            p->head = p->tail = 0;
        }
        if (p->raw_head == p->raw_tail) {
            p->raw_head = p->raw_tail = 0;
            int got = net_socket_recv(p->sock, p->raw, sizeof p->raw);
            if (got < 0) {
                mark_lost(p);
                return false;
            }
            if (got == 0) return true;
            p->raw_tail = static_cast<uint32_t>(got);
        }
        if (p->sniffing) {
            if (p->raw[0] != TELNET_IAC) keep_said(p, p->raw, p->raw_tail);
            return true;
        }
        uint32_t cap = room(p), out = 0, used = 0;
        TelnetEvent event;
        if (p->telnet) {
            used = telnet_parse(&p->parser, p->raw + p->raw_head, p->raw_tail - p->raw_head, p->data + p->tail, cap,
                                &out, &event);
        } else {
            out = used = p->raw_tail - p->raw_head < cap ? p->raw_tail - p->raw_head : cap;
            std::memcpy(p->data + p->tail, p->raw + p->raw_head, out);
        }
        if (p->setting_up) keep_said(p, p->data + p->tail, out);
        p->tail += out;
        p->raw_head += used;
        if (p->parser.reply_len) {
            // Answers to the server's negotiation: small, and a server that does not
            // read them loses its connection rather than our memory.
            uint32_t n = p->parser.reply_len;
            p->parser.reply_len = 0;
            if (!send_all(p, p->parser.reply, n)) return false;
        }
        if (event.kind) on_answer(p, event);
    }
}

// Waits, with window events running, until done(p) or ms pass, the connection is
// lost or the open is cancelled. true when done.
template <class Done>
bool wait_until(NetPort* p, Done done, uint32_t ms) {
    uint64_t start = platform_now_ms();
    for (;;) {
        pump(p);
        if (done(p)) return true;
        if (p->lost || g_cancel_open) return false;
        uint64_t waited = platform_now_ms() - start;
        if (waited >= ms) return false;
        dispatch_pending_messages();
        if (g_cancel_open) return false;
        uint32_t left = static_cast<uint32_t>(ms - waited);
        uint32_t limit = platform_wait_limit();
        if (left > limit) left = limit;
        PlatformWait wait = platform_wait_hook();
        if (wait)
            wait(net_socket_handle(p->sock), left);
        else
            net_socket_wait(p->sock, left, 0);
    }
}

int keep_waiting(void*) {
    dispatch_pending_messages();
    return g_cancel_open ? 0 : 1;
}

void say(char* reason, uint32_t size, const char* format, const char* a, int port) {
    if (reason && size) std::snprintf(reason, size, format, a, port);
}

void say_closed(NetPort* p, char* reason, uint32_t size, int* error) {
    g_closed_early = true;
    if (p->said_len) {
        *error = std::strstr(p->said, "in use") ? SERIAL_OPEN_BUSY : SERIAL_OPEN_FAILED;
        if (reason && size)
            std::snprintf(reason, size, "the server at %s:%d refused: \"%s\"", p->url.host, p->url.port, p->said);
    } else {
        *error = SERIAL_OPEN_FAILED;
        say(reason, size, "the server at %s:%d closed the connection", p->url.host, p->url.port);
    }
}

// One attempt: connects and agrees the options. nullptr with *error and reason set.
NetPort* open_once(const NetUrl& url, int* error, char* reason, uint32_t size) {
    NetPort* p = new (std::nothrow) NetPort();
    if (!p) {
        *error = SERIAL_OPEN_FAILED;
        return nullptr;
    }
    p->url = url;
    p->telnet = url.kind == NET_RFC2217;
    int why = NET_CONNECT_FAILED;
    p->sock = net_socket_connect(url.host, url.port, ANSWER_MS, keep_waiting, nullptr, &why);
    if (!p->sock) {
        delete p;
        *error = why == NET_CONNECT_NO_HOST ? SERIAL_OPEN_NO_DEVICE : SERIAL_OPEN_FAILED;
        const char* h = url.host;
        switch (why) {
            case NET_CONNECT_NO_HOST: say(reason, size, "host not found: %s (port %d)", h, url.port); break;
            case NET_CONNECT_REFUSED: say(reason, size, "connection refused by %s:%d", h, url.port); break;
            case NET_CONNECT_TIMEOUT: say(reason, size, "no answer from %s:%d within 3 s", h, url.port); break;
            case NET_CONNECT_UNREACHABLE: say(reason, size, "%s:%d cannot be reached", h, url.port); break;
            case NET_CONNECT_CANCELLED: say(reason, size, "cancelled while connecting to %s:%d", h, url.port); break;
            default: say(reason, size, "cannot connect to %s:%d", h, url.port); break;
        }
        return nullptr;
    }
    if (!p->telnet) {
        // A server that turns us away (its port busy) closes at once: seen here, it
        // is said with the server's words instead of as a lost port at the greeting.
        wait_until(p, [](NetPort*) { return false; }, CLOSE_AT_ONCE_MS);
        if (!p->lost) return p;
        say_closed(p, reason, size, error);
        net_port_close(p);
        return nullptr;
    }
    // A Telnet server opens the negotiation (ser2net at once); we answer only then.
    p->sniffing = true;
    bool spoke = wait_until(p, [](NetPort* q) { return q->raw_tail > q->raw_head; }, ANSWER_MS);
    p->sniffing = false;
    bool telnet = spoke && p->raw[p->raw_head] == TELNET_IAC;
    if (spoke && !telnet) {
        // Text, not Telnet: perhaps a server turning us away (a port still closing).
        p->telnet = false;
        wait_until(p, [](NetPort*) { return false; }, CLOSE_AT_ONCE_MS);
    }
    uint8_t ask[16];
    uint8_t zero[4] = {0, 0, 0, 0};
    if (telnet) {
        pump(p);
        // Ask for what the server has not offered, quiet its notifications (they would
        // only be read and dropped), and ask for the rate: a server with Com Port
        // Control must answer that.
        uint32_t n = telnet_request(&p->parser, true, ask);
        if ((n == 0 || send_all(p, ask, n)) && send_command1(p, CPC_SET_LINESTATE_MASK, 0) &&
            send_command1(p, CPC_SET_MODEMSTATE_MASK, 0) && send_command(p, CPC_SET_BAUDRATE, zero, 4)) {
            spoke = wait_until(
                p,
                [](NetPort* q) {
                    return q->answers[CPC_SET_BAUDRATE] > 0 || q->parser.us[TELNET_COM_PORT] == TELNET_NO;
                },
                ANSWER_MS);
            if (spoke && p->parser.us[TELNET_COM_PORT] == TELNET_YES && p->answers[CPC_SET_BAUDRATE] > 0) return p;
        }
    }
    if (g_cancel_open) {
        *error = SERIAL_OPEN_FAILED;
        say(reason, size, "cancelled while connecting to %s:%d", url.host, url.port);
    } else if (p->lost) {
        say_closed(p, reason, size, error);
    } else {
        *error = SERIAL_OPEN_NOT_SERIAL;
        const char* how = !telnet && spoke ? " (it does not speak Telnet)" : !spoke ? " (no answer within 3 s)" : "";
        if (reason && size)
            std::snprintf(reason, size,
                          "the server at %s:%d does not offer modem control (RFC 2217)%s; tcp://%s:%d connects "
                          "without the reset",
                          url.host, url.port, how, url.host, url.port);
    }
    net_port_close(p);
    return nullptr;
}

}  // namespace

NetPort* net_port_open(const char* url_text, int* error, char* reason, uint32_t size) {
    g_cancel_open = 0;
    if (reason && size) reason[0] = '\0';
    NetUrl url;
    const char* why = "";
    if (!net_url_parse(url_text, &url, &why)) {
        *error = SERIAL_OPEN_NO_DEVICE;
        if (reason && size) std::snprintf(reason, size, "bad address %s: %s", url_text ? url_text : "", why);
        return nullptr;
    }
    uint64_t start = platform_now_ms();
    for (;;) {
        g_closed_early = false;
        NetPort* p = open_once(url, error, reason, size);
        if (p || !g_closed_early || g_cancel_open) return p;
        if (platform_now_ms() - start + BUSY_PAUSE_MS > BUSY_RETRY_MS) return nullptr;
        uint64_t pause = platform_now_ms();
        while (platform_now_ms() - pause < BUSY_PAUSE_MS && !g_cancel_open) {
            dispatch_pending_messages();
            platform_idle_wait(static_cast<uint32_t>(BUSY_PAUSE_MS - (platform_now_ms() - pause)));
        }
    }
}

void net_port_cancel_open() { g_cancel_open = 1; }

int net_port_configure(NetPort* p, int baud) {
    if (!p || p->lost || baud <= 0) return 0;
    if (!p->telnet) return 1;  // a raw server's line is set up on its side
    uint32_t before = p->answers[CPC_SET_BAUDRATE];
    uint8_t rate[4] = {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                       static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
    // 8 data bits, no parity (1), one stop bit (1), no flow control either way; the
    // rate last, so that its answer comes after the others'.
    if (!send_command1(p, CPC_SET_DATASIZE, 8) || !send_command1(p, CPC_SET_PARITY, 1) ||
        !send_command1(p, CPC_SET_STOPSIZE, 1) || !send_command1(p, CPC_SET_CONTROL, CPC_NO_FLOW_OUT) ||
        !send_command1(p, CPC_SET_CONTROL, CPC_NO_FLOW_IN) || !send_command(p, CPC_SET_BAUDRATE, rate, 4))
        return 0;
    if (!wait_until(p, [before](NetPort* q) { return q->answers[CPC_SET_BAUDRATE] > before; }, ANSWER_MS)) return 0;
    const uint8_t* got = p->answer_value[CPC_SET_BAUDRATE];
    long long set = static_cast<long long>(got[0]) << 24 | got[1] << 16 | got[2] << 8 | got[3];
    long long diff = set > baud ? set - baud : baud - set;
    if (diff * 50 > baud) return 0;  // within 2 %, as for a local port
    // An answer the server gave to the frame settings must be what was asked.
    struct {
        uint8_t command, value;
    } const FRAME[] = {{CPC_SET_DATASIZE, 8}, {CPC_SET_PARITY, 1}, {CPC_SET_STOPSIZE, 1}};
    for (const auto& f : FRAME)
        if (p->answers[f.command] && p->answer_value[f.command][0] != f.value) return 0;
    return 1;
}

int net_port_escape(NetPort* p, int function) {
    if (!p || p->lost || !p->telnet) return 0;
    uint8_t value = 0;
    switch (function) {
        case SERIAL_SETDTR: value = CPC_DTR_ON; break;
        case SERIAL_CLRDTR: value = CPC_DTR_OFF; break;
        case SERIAL_SETRTS: value = CPC_RTS_ON; break;
        case SERIAL_CLRRTS: value = CPC_RTS_OFF; break;
        default: return 0;
    }
    // Not waited for: servers need not answer, and the pulse's timing is ours.
    return send_command1(p, CPC_SET_CONTROL, value) ? 1 : 0;
}

int net_port_purge(NetPort* p) {
    if (!p || p->lost) return 0;
    p->head = p->tail = 0;
    int ok = 1;
    if (p->telnet) {
        // Receive and transmit buffers on the server (3); what arrives before its
        // answer was on the way before the purge and goes too.
        p->purge_wait = true;
        ok = send_command1(p, CPC_PURGE_DATA, 3) && wait_until(p, [](NetPort* q) { return !q->purge_wait; }, ANSWER_MS);
        if (!ok) p->head = p->tail = 0;
        p->purge_wait = false;
    } else {
        pump(p);
        p->head = p->tail = 0;
    }
    p->setting_up = false;
    return ok && !p->lost ? 1 : 0;
}

int net_port_status(NetPort* p, uint32_t* in_queue, uint32_t* errors) {
    if (in_queue) *in_queue = 0;
    if (errors) *errors = 0;
    if (!p || p->lost) return 0;
    if (buffered(p) == 0 && !pump(p)) return 0;
    if (in_queue) *in_queue = buffered(p);
    if (errors) *errors = p->pending_error ? 1u : 0u;
    p->pending_error = false;
    return 1;
}

int net_port_alive(NetPort* p) {
    if (!p || p->lost) return 0;
    if (net_socket_closed(p->sock)) {
        mark_lost(p);
        return 0;
    }
    return 1;
}

int net_port_read(NetPort* p, uint8_t* buffer, uint32_t count, uint32_t* delivered) {
    if (delivered) *delivered = 0;
    if (!p || !buffer) return 0;
    uint32_t got = 0;
    while (got < count) {
        if (buffered(p) == 0) {
            if (!pump(p)) break;
            if (buffered(p) == 0 && net_socket_wait(p->sock, UINT32_MAX, 0) < 0) {
                mark_lost(p);
                break;
            }
            continue;
        }
        uint32_t n = buffered(p) < count - got ? buffered(p) : count - got;
        std::memcpy(buffer + got, p->data + p->head, n);
        p->head += n;
        got += n;
    }
    if (delivered) *delivered = got;
    return got == count ? 1 : 0;
}

int net_port_write(NetPort* p, const uint8_t* buffer, uint32_t count, uint32_t* written) {
    if (written) *written = 0;
    if (!p || p->lost || (!buffer && count)) return 0;
    uint32_t done = 0;
    while (done < count) {
        uint8_t out[1024];
        uint32_t used = count - done, n = used;
        if (p->telnet)
            n = telnet_escape(&p->parser, buffer + done, count - done, out, sizeof out, &used);
        else if (n > sizeof out)
            n = used = sizeof out;
        if (!p->telnet) std::memcpy(out, buffer + done, n);
        if (!send_all(p, out, n)) return 0;
        done += used;
    }
    if (written) *written = done;
    return 1;
}

int net_port_wait_handle(NetPort* p, int queued_counts, intptr_t* handle) {
    if (handle) *handle = PLATFORM_NO_HANDLE;
    if (!p || p->lost || p->pending_error || (queued_counts && buffered(p) > 0)) return 0;
    // Take in what the socket holds, so that it signals only input nobody has seen.
    uint32_t before = buffered(p);
    if (!pump(p) || buffered(p) > before) return 0;
    // With the buffers full the socket stays readable: an event loop could only spin
    // on it, so it gets no handle and looks again shortly.
    bool full = p->raw_head != p->raw_tail || room(p) == 0;
    if (!full && handle) *handle = net_socket_handle(p->sock);
    return 1;
}

int net_port_wait_event(NetPort* p, uint32_t ms, int queued_counts) {
    if (!p || p->lost || p->pending_error || (queued_counts && buffered(p) > 0)) return 1;
    uint32_t before = buffered(p);
    if (!pump(p) || buffered(p) > before) return 1;
    bool full = p->raw_head != p->raw_tail || room(p) == 0;
    if (full) {
        // Only the peer's close can matter now; look for it now and then.
        platform_sleep_ms(ms < 10 ? ms : 10);
        return net_port_alive(p) ? 0 : 1;
    }
    int r = net_socket_wait(p->sock, ms, 0);
    if (r < 0) mark_lost(p);
    if (r != 0) pump(p);
    return r != 0 ? 1 : 0;
}

void net_port_close(NetPort* p) {
    if (!p) return;
    net_socket_close(p->sock);
    delete p;
}
