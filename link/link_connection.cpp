// Opening, resetting and greeting the controller, closing, and the byte primitives.
#include <cstdio>
#include <new>

#include "common/digits.h"
#include "link/link_internal.h"
#include "platform/dispatch.h"

namespace {

// The controller has this long to answer the greeting.
constexpr uint32_t GREETING_MS = 1000;
// After the reset pulse the controller starts up for this long.
constexpr uint32_t START_UP_MS = 1000;

// link_cancel_connect: the connect under way on this thread gives up before it writes.
thread_local int g_connect_cancelled = 0;

// The controller's start-up quiet. Window events run meanwhile, as in every other
// wait: a close handled here cancels the connect before anything is written, and
// the front end's guard turns away a second Connect. 1 unless cancelled.
int start_up_quiet() {
    uint64_t start = platform_now_ms();
    for (;;) {
        dispatch_pending_messages();
        if (g_connect_cancelled) return 0;
        uint64_t waited = platform_now_ms() - start;
        if (waited >= START_UP_MS) return 1;
        platform_idle_wait(static_cast<uint32_t>(START_UP_MS - waited));
    }
}
// A front end's event loop that cannot watch the port just now (serial_wait_handle)
// is woken this often, so that input and a hang-up are still seen.
constexpr uint32_t UNWATCHED_PORT_MS = 10;


int open_failure_code(int serial_reason) {
    switch (serial_reason) {
        case SERIAL_OPEN_NO_DEVICE: return LINK_ERROR_NO_DEVICE;
        case SERIAL_OPEN_BUSY: return LINK_ERROR_BUSY;
        case SERIAL_OPEN_DENIED: return LINK_ERROR_DENIED;
        default: return LINK_ERROR_OPEN;
    }
}

// Records why the port did not open, naming the device (the operator may have
// typed a number and not know which device it means) and the holder when known.
void record_open_failure() {
    int holder = 0;
    int why = serial_open_error(&holder);
    int code = why == SERIAL_OPEN_NOT_SERIAL ? LINK_ERROR_OPEN : open_failure_code(why);
    const char* path = serial_open_path();
    const char* hint = serial_denied_text();
    char text[400] = "";  // left empty: the link's own text for the code
    char process[32] = "";
    if (holder > 0) std::snprintf(process, sizeof process, " (process %d)", holder);
    if (*serial_open_reason())
        std::snprintf(text, sizeof text, "%s", serial_open_reason());
    else if (why == SERIAL_OPEN_NOT_SERIAL)
        std::snprintf(text, sizeof text, "not a serial port (%s)", path);
    else if (code == LINK_ERROR_BUSY)
        std::snprintf(text, sizeof text, "the port%s%s is used by another program%s", *path ? " " : "", path, process);
    else if (*path && code == LINK_ERROR_NO_DEVICE)
        std::snprintf(text, sizeof text, "no such device (%s)", path);
    else if (*path && code == LINK_ERROR_DENIED)
        std::snprintf(text, sizeof text, "permission denied (%s%s%s)", path, *hint ? "; " : "", hint);
    else if (*path)
        std::snprintf(text, sizeof text, "the port %s cannot be opened", path);
    link_set_error(code, text);
}

}  // namespace

int link_port_status(TargetLink* link, uint32_t* in_queue, uint32_t* errors) {
    *in_queue = 0;
    *errors = 0;
    int ok = serial_status(link->port_handle, in_queue, errors);
    if (ok && link->held_errors) *errors = 1;
    link->held_errors = 0;
    return ok;
}

int link_parse_connect_string(const char* text, int* port, int* baud) {
    if (!text || !*text) return 0;
    DigitRun p = read_first_digits(text);
    if (!p.fits || p.value == 0) return 0;
    // An overflowing rate is refused, not silently replaced by the default.
    DigitRun b = read_first_digits(p.end);
    if (!b.fits) return 0;
    if (port) *port = static_cast<int>(p.value);
    if (baud) *baud = b.value ? static_cast<int>(b.value) : 921600;
    return 1;
}

TargetLink* link_open_port(int port_number, int baud_rate) {
    if (port_number <= 0 || baud_rate <= 0) {
        link_fail(LINK_ERROR_BAD_ADDRESS);
        return nullptr;
    }
    g_connect_cancelled = 0;
    SerialPort* port = serial_open(port_number);
    if (!port) {
        record_open_failure();
        return nullptr;
    }
    if (!serial_configure(port, baud_rate)) {
        char text[400];
        std::snprintf(text, sizeof text, "the port %s cannot be configured (%d baud)", serial_open_path(), baud_rate);
        serial_close(port);
        link_set_error(LINK_ERROR_CONFIGURE, *serial_open_path() ? text : nullptr);
        return nullptr;
    }
    // Reset pulse: DTR high for 100 ms with RTS low, then let the controller start
    // and throw away whatever it said while starting. Modem-line failures (a
    // pseudo-terminal has none) do not matter.
    serial_escape(port, SERIAL_CLRRTS);
    serial_escape(port, SERIAL_SETDTR);
    platform_sleep_ms(100);
    serial_escape(port, SERIAL_CLRDTR);
    if (!start_up_quiet()) {
        serial_close(port);
        link_set_error(LINK_ERROR_DISCONNECTED, "cancelled while connecting");
        return nullptr;
    }
    serial_purge(port);

    TargetLink* link = new (std::nothrow) TargetLink();
    if (link) {
        link->io_lock = lock_create();
        link->exchange_lock = lock_create();
        link->report_lock = lock_create();
    }
    if (!link || !link->io_lock || !link->exchange_lock || !link->report_lock) {
        link_close(&link);  // frees the bare record; the port is not in it yet
        serial_close(port);
        link_fail(LINK_ERROR_OPEN);
        return nullptr;
    }
    link->port_handle = port;
    return link;
}

TargetLink* link_connect(const char* connect_string) {
    int port = 0, baud = 0;
    if (!link_parse_connect_string(connect_string, &port, &baud)) {
        link_fail(LINK_ERROR_BAD_ADDRESS);
        return nullptr;
    }
    TargetLink* link = link_open_port(port, baud);
    if (!link) return nullptr;

    const uint8_t greeting[2] = {'A', 0x0D};
    uint32_t written = 0;
    if (!link_write(link, greeting, 2, &written)) {
        link_fail_on_port(link, LINK_ERROR_WRITE);
        link_close(&link);
        return nullptr;
    }
    link_fail(LINK_ERROR_NO_GREETING);
    uint64_t start = platform_now_ms();
    for (;;) {
        uint32_t waiting = 0, errors = 0;
        if (g_connect_cancelled) {
            link_set_error(LINK_ERROR_DISCONNECTED, "cancelled while connecting");
            break;
        }
        // A lost port cannot answer: do not sit out the rest of the second.
        if (!serial_status(link->port_handle, &waiting, &errors)) {
            link_fail(LINK_ERROR_PORT_LOST);
            break;
        }
        if (waiting == 0) {
            // Given up only after a look at the input: a wait that ran long (a box
            // opened inside it) may have let the answer arrive meanwhile.
            uint64_t waited = platform_now_ms() - start;
            if (waited >= GREETING_MS) break;
            link_wait(link, static_cast<uint32_t>(GREETING_MS - waited));
            continue;
        }
        uint8_t b = 0;
        uint32_t delivered = 0;
        if (!link_read(link, &b, 1, &delivered) || delivered != 1) {
            link_fail_on_port(link);
            break;
        }
        if (b != 0x0D) {
            char text[160];
            std::snprintf(text, sizeof text, "the controller answered the greeting with byte 0x%02X, not CR", b);
            link_set_error(LINK_ERROR_NO_GREETING, text);
            break;
        }
        // The greeting's reason was recorded ahead of the wait: a success clears it.
        link_set_error(LINK_ERROR_NONE, nullptr);
        return link;
    }
    link_close(&link);
    return nullptr;
}

int link_cancel_connect() {
    g_connect_cancelled = 1;
    serial_cancel_open();  // a network port may still be waiting for its server
    return 1;
}

uint32_t link_bytes_waiting(TargetLink* link) {
    LinkUse use(link);
    uint32_t in_queue = 0, errors = 0;
    if (!use.ok() || !link_port_status(link, &in_queue, &errors)) return 0;
    // Not ours to report: the next health check still sees it.
    if (errors) link->held_errors = 1;
    return in_queue;
}

int link_healthy(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    uint32_t in_queue = 0, errors = 0;
    // Unread input must not hide a hang-up: a wait that holds a byte it cannot use
    // (a stray 0x12) would otherwise never end. With nothing queued the query itself
    // looked at the port.
    if (!link_port_status(link, &in_queue, &errors) || (in_queue > 0 && !serial_alive(link->port_handle)))
        return link_fail(LINK_ERROR_PORT_LOST);
    return errors == 0 ? 1 : link_fail(LINK_ERROR_LINE);
}

int link_port_lost(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return 0;
    LockHold io(link->io_lock);
    uint32_t in_queue = 0, errors = 0;
    if (serial_alive(link->port_handle) && link_port_status(link, &in_queue, &errors)) {
        // Not ours to report: the next health check still sees it.
        if (errors) link->held_errors = 1;
        return 0;
    }
    link_fail(LINK_ERROR_PORT_LOST);
    return 1;
}

int link_peek(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return -1;
    if (link->peeked >= 0) return link->peeked;
    if (link_bytes_waiting(link) == 0) return -1;
    uint8_t b = 0;
    uint32_t delivered = 0;
    if (!serial_read(link->port_handle, &b, 1, &delivered) || delivered != 1) return -1;
    link->peeked = b;
    ++link->activity;
    return b;
}

int link_read(TargetLink* link, uint8_t* buffer, uint32_t count, uint32_t* delivered) {
    if (delivered) *delivered = 0;
    LinkUse use(link);
    if (!use.ok() || count == 0 || !buffer) return 0;
    uint32_t got = 0;
    ++link->activity;
    if (link->peeked >= 0) {
        buffer[0] = static_cast<uint8_t>(link->peeked);
        link->peeked = -1;
        got = 1;
        if (count > 1) {
            uint32_t more = 0;
            if (serial_read(link->port_handle, buffer + 1, count - 1, &more)) got += more;
        }
        if (delivered) *delivered = got;
        return 1;
    }
    if (!serial_read(link->port_handle, buffer, count, &got)) return 0;
    if (delivered) *delivered = got;
    return 1;
}

int link_write(TargetLink* link, const uint8_t* buffer, uint32_t count, uint32_t* written) {
    if (written) *written = 0;
    LinkUse use(link);
    if (!use.ok()) return 0;
    uint32_t done = 0;
    ++link->activity;
    if (!serial_write(link->port_handle, buffer, count, &done)) return 0;
    if (written) *written = done;
    return 1;
}

void link_idle(uint32_t ms) {
    dispatch_pending_messages();
    if (ms > 0) platform_idle_wait(ms);
}

void link_wait(TargetLink* link, uint32_t ms) {
    LinkUse use(link);
    if (!use.ok()) return;
    uint32_t before = link->activity;
    int32_t cancelled = link->cancel_wait;
    dispatch_pending_messages();
    // A handler used the link, closed it or cancelled the wait: look again first.
    if (!use.ok() || link->activity != before || link->cancel_wait != cancelled) return;
    uint32_t limit = platform_wait_limit();
    if (limit < ms) ms = limit;
    // A look since the caller's (a health check, say) may have taken in input that
    // the port will not signal again: with no byte peeked, any input waiting is a new
    // head to look at. A byte already peeked stays the head whatever comes behind it.
    int queued_counts = link->peeked < 0 ? 1 : 0;
    PlatformWait wait = platform_wait_hook();
    if (!wait) {
        serial_wait_event(link->port_handle, ms, queued_counts);
        return;
    }
    intptr_t handle = PLATFORM_NO_HANDLE;
    if (!serial_wait_handle(link->port_handle, queued_counts, &handle)) return;
    wait(handle, handle == PLATFORM_NO_HANDLE && ms > UNWATCHED_PORT_MS ? UNWATCHED_PORT_MS : ms);
}

int link_read_line_byte(TargetLink* link, bool dispatch, uint32_t timeout_ms) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link) - 1;
    if (link->peeked < 0) {
        uint64_t start = platform_now_ms();
        for (;;) {
            if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED) - 1;
            uint32_t waiting = 0, errors = 0;
            if (!link_port_status(link, &waiting, &errors)) return link_fail(LINK_ERROR_PORT_LOST) - 1;
            if (errors) return link_fail(LINK_ERROR_LINE) - 1;
            if (waiting > 0) break;
            uint64_t elapsed = platform_now_ms() - start;
            if (elapsed >= timeout_ms) {
                char text[64];
                if (timeout_ms % 1000 == 0)
                    std::snprintf(text, sizeof text, "line stalled for %u s", static_cast<unsigned>(timeout_ms / 1000));
                else
                    std::snprintf(text, sizeof text, "line stalled for %u ms", static_cast<unsigned>(timeout_ms));
                link_set_error(LINK_ERROR_STALLED, text);
                return -1;
            }
            uint32_t left = static_cast<uint32_t>(timeout_ms - elapsed);
            if (dispatch) {
                link_wait(link, left);
                if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED) - 1;
                // A front end's deadline ends a line that trickles in, too.
                if (link->cancel_wait) return link_fail(LINK_ERROR_TIMEOUT) - 1;
            } else {
                serial_wait_event(link->port_handle, left, 1);
            }
        }
    }
    uint8_t b = 0;
    uint32_t delivered = 0;
    if (!link_read(link, &b, 1, &delivered) || delivered != 1) return link_fail_on_port(link) - 1;
    return b;
}
