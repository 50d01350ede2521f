// The in-memory port behind platform/serial.h for unit tests: time only moves when
// the link sleeps or waits, so waits of seconds take no real time.
#include "tests/unit/fake_serial.h"

#include <cstring>

#include "platform/dispatch.h"
#include "platform/serial.h"

struct SerialPort {
    int number;
};

namespace {

FakeSerial g_fake;
SerialPort g_port{0};
bool g_port_open = false;

void advance(uint64_t ms) {
    g_fake.now_ms += ms;
    g_fake.slept_ms += ms;
    if (g_fake.on_time) g_fake.on_time(g_fake.now_ms);
}

uint64_t fake_clock() { return g_fake.now_ms; }
void fake_sleep(uint32_t ms) { advance(ms); }

}  // namespace

FakeSerial& fake_serial() { return g_fake; }

void fake_serial_reset() {
    g_fake = FakeSerial();
    g_port_open = false;
    platform_set_clock(fake_clock);
    platform_set_sleep(fake_sleep);
    platform_set_wait(nullptr);
    platform_set_wait_limit(nullptr);
    platform_set_dispatch(nullptr);
}

void fake_push(const std::vector<uint8_t>& bytes) { g_fake.input.insert(g_fake.input.end(), bytes.begin(), bytes.end()); }

void fake_push(const char* text) { fake_push(std::vector<uint8_t>(text, text + std::strlen(text))); }

const char* serial_denied_text() { return ""; }
const char* serial_open_reason() { return ""; }
void serial_cancel_open() {}

const char* serial_open_path() { return g_fake.open_fails ? g_fake.open_path.c_str() : ""; }

int serial_open_error(int* holder_pid) {
    if (holder_pid) *holder_pid = 0;
    return g_fake.open_fails ? g_fake.open_error : g_port_open ? SERIAL_OPEN_BUSY : SERIAL_OPEN_OK;
}

SerialPort* serial_open(int port_number) {
    if (g_fake.open_fails || g_port_open) return nullptr;
    g_port_open = true;
    g_fake.opened_port = port_number;
    ++g_fake.open_count;
    g_port.number = port_number;
    return &g_port;
}

int serial_configure(SerialPort*, int baud) {
    g_fake.configured_baud = baud;
    return g_fake.configure_fails ? 0 : 1;
}

int serial_escape(SerialPort*, int function) {
    g_fake.escapes.push_back(function);
    return 0;  // like a pseudo-terminal: no modem lines
}

int serial_purge(SerialPort*) {
    ++g_fake.purge_count;
    g_fake.input.clear();
    return 1;
}

int serial_alive(SerialPort*) { return g_fake.lost ? 0 : 1; }

int serial_status(SerialPort*, uint32_t* in_queue, uint32_t* errors) {
    ++g_fake.status_calls;
    if (g_fake.on_status) g_fake.on_status(g_fake.status_calls);
    if (in_queue) *in_queue = 0;
    if (errors) *errors = 0;
    if (g_fake.lost) return 0;
    if (in_queue) *in_queue = static_cast<uint32_t>(g_fake.input.size());
    if (errors) *errors = g_fake.pending_errors;
    g_fake.pending_errors = 0;
    return 1;
}

int serial_read(SerialPort*, uint8_t* buffer, uint32_t count, uint32_t* delivered) {
    uint32_t got = 0;
    // A real read would block for ever on an empty queue; the fake fails instead.
    while (got < count && !g_fake.lost && !g_fake.input.empty()) {
        buffer[got++] = g_fake.input.front();
        g_fake.input.pop_front();
    }
    if (delivered) *delivered = got;
    return got == count ? 1 : 0;
}

int serial_write(SerialPort*, const uint8_t* buffer, uint32_t count, uint32_t* written) {
    if (written) *written = 0;
    if (g_fake.lost) return 0;
    uint32_t room = g_fake.write_limit;
    uint32_t n = count < room ? count : room;
    std::vector<uint8_t> chunk(buffer, buffer + n);
    g_fake.output.insert(g_fake.output.end(), chunk.begin(), chunk.end());
    g_fake.write_limit -= (g_fake.write_limit == UINT32_MAX ? 0 : n);
    if (n < count) return 0;
    if (written) *written = n;
    if (g_fake.on_write) g_fake.on_write(chunk);
    return 1;
}

int serial_wait_event(SerialPort*, uint32_t ms, int queued_counts) {
    ++g_fake.waits;
    size_t had = queued_counts ? 0 : g_fake.input.size();
    for (uint64_t waited = 0;; ++waited) {
        if (g_fake.lost || g_fake.pending_errors || g_fake.input.size() > had) return 1;
        if (g_fake.now_ms >= g_fake.event_at_ms) {
            g_fake.event_at_ms = UINT64_MAX;
            return 1;
        }
        if (waited >= ms || (g_fake.event_every_ms && waited >= g_fake.event_every_ms)) return 0;
        // A wait nothing can end would hang the test: give up after a fake hour.
        if (waited >= 3600000) return 0;
        advance(1);
    }
}

int serial_wait_handle(SerialPort*, int queued_counts, intptr_t* handle) {
    if (handle) *handle = -1;
    return g_fake.lost || g_fake.pending_errors || (queued_counts && !g_fake.input.empty()) ? 0 : 1;
}

void serial_close(SerialPort*) {
    g_port_open = false;
    ++g_fake.close_count;
}
