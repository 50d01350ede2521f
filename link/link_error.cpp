// The reason for the last failure of a link operation, kept per thread so that a
// front end can tell the operator why, after the operation has returned 0.
#include <cstdio>
#include <cstring>
#include <string>

#include "link/link_internal.h"

namespace {

thread_local int g_code = LINK_ERROR_NONE;
thread_local char g_text[160] = "";

const char* default_text(int code) {
    switch (code) {
        case LINK_ERROR_NOT_CONNECTED: return "not connected";
        case LINK_ERROR_DISCONNECTED: return "disconnected";
        case LINK_ERROR_PORT_LOST: return "port lost";
        case LINK_ERROR_LINE: return "line error (overrun, framing, parity or break)";
        case LINK_ERROR_WRITE: return "the port took no bytes";
        case LINK_ERROR_BAD_START: return "the answer began with an unexpected byte";
        case LINK_ERROR_STALLED: return "line stalled for 2 s";
        case LINK_ERROR_TIMEOUT: return "no answer in time";
        case LINK_ERROR_BAD_ADDRESS: return "no port number";
        case LINK_ERROR_NO_DEVICE: return "no such device";
        case LINK_ERROR_BUSY: return "the port is used by another program";
        case LINK_ERROR_DENIED: return "permission denied";
        case LINK_ERROR_OPEN: return "the port cannot be opened";
        case LINK_ERROR_CONFIGURE: return "the port cannot be configured";
        case LINK_ERROR_NO_GREETING: return "the controller did not answer the greeting";
        case LINK_ERROR_TOO_LONG: return "reply line longer than 65536 bytes";
        case LINK_ERROR_NOT_SENT: return "not sent";
        default: return "";
    }
}

}  // namespace

void link_set_error(int code, const char* text) {
    g_code = code;
    std::snprintf(g_text, sizeof g_text, "%s", text && *text ? text : default_text(code));
}

int link_last_error(char* text, uint32_t size) {
    if (text && size > 0) std::snprintf(text, size, "%s", g_text);
    return g_code;
}

int link_fail(int code) {
    link_set_error(code, nullptr);
    return 0;
}

int link_fail_on_port(TargetLink* link, int otherwise) {
    if (!link) return link_fail(LINK_ERROR_NOT_CONNECTED);
    if (link->closed || !link->port_handle) return link_fail(LINK_ERROR_DISCONNECTED);
    uint32_t in_queue = 0, errors = 0;
    if (!serial_status(link->port_handle, &in_queue, &errors)) return link_fail(LINK_ERROR_PORT_LOST);
    // The query cleared the error it found; keep it for the next health check.
    if (errors) {
        link->held_errors = 1;
        return link_fail(LINK_ERROR_LINE);
    }
    return link_fail(otherwise);
}

int link_fail_bad_start(int byte, const char* what) {
    char text[160];
    // A controller that ends its lines with CR LF leaves the LF at the head of the
    // input: name the likely cause, since every later exchange fails the same way.
    if (byte == 0x0A)
        std::snprintf(text, sizeof text, "%s began with byte 0x0A; does the controller end lines with CR LF?", what);
    else
        std::snprintf(text, sizeof text, "%s began with byte 0x%02X", what, static_cast<unsigned>(byte & 0xFF));
    link_set_error(LINK_ERROR_BAD_START, text);
    return 0;
}

int link_fail_use(TargetLink* link) {
    return link_fail(link ? LINK_ERROR_DISCONNECTED : LINK_ERROR_NOT_CONNECTED);
}

void link_quote_bytes(const uint8_t* bytes, uint32_t kept, uint32_t count, char* out, uint32_t size) {
    if (!out || size == 0) return;
    // Room for one screen line inside a failure text of 160 bytes.
    constexpr size_t SHOWN = 56;
    std::string q = "\"";
    uint32_t used = 0;
    if (kept > count) kept = count;
    for (; used < kept; ++used) {
        uint8_t b = bytes[used];
        char piece[8];
        if (b < 0x20 || b >= 0x7F || b == '"' || b == '\\')
            std::snprintf(piece, sizeof piece, "\\x%02x", static_cast<unsigned>(b));
        else
            std::snprintf(piece, sizeof piece, "%c", static_cast<char>(b));
        if (q.size() - 1 + std::strlen(piece) > SHOWN) break;
        q += piece;
    }
    if (used < count) {
        q += "...\" (" + std::to_string(count) + " bytes)";
    } else {
        q += "\"";
    }
    std::snprintf(out, size, "%s", q.c_str());
}

int link_fail_bad_start_dropped(int byte, const char* what, const uint8_t* dropped, uint32_t kept, uint32_t count) {
    char quoted[96], text[160];
    link_quote_bytes(dropped, kept, count, quoted, sizeof quoted);
    std::snprintf(text, sizeof text, "%s began with byte 0x%02X: %s", what, static_cast<unsigned>(byte & 0xFF),
                  quoted);
    link_set_error(LINK_ERROR_BAD_START, text);
    return 0;
}

void link_append_received(const uint8_t* bytes, uint32_t kept, uint32_t count) {
    if (count == 0) return;
    char quoted[96];
    link_quote_bytes(bytes, kept, count, quoted, sizeof quoted);
    std::string text = std::string(g_text) + " after " + quoted;
    std::snprintf(g_text, sizeof g_text, "%s", text.c_str());
}
