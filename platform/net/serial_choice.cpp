// platform/serial.h for every kind of port: the name behind "COM<n>" chooses a
// network port (rfc2217://, tcp://) or the local device backend.
#include <cstdio>
#include <new>

#include "platform/net/net_port.h"
#include "platform/net/net_url.h"
#include "platform/ports.h"
#include "platform/serial.h"
#include "platform/serial_device.h"

struct SerialPort {
    SerialDevice* device = nullptr;
    NetPort* net = nullptr;
};

namespace {

// What the last open on this thread was, for the questions about its failure.
thread_local bool g_last_net = false;
thread_local int g_net_error = SERIAL_OPEN_OK;
thread_local char g_net_path[300] = "";
thread_local char g_net_reason[200] = "";

}  // namespace

SerialPort* serial_open(int port_number) {
    char path[300];
    g_last_net = ports_device_path(port_number, path, sizeof path) && net_url_kind(path) != NET_NONE;
    SerialPort* p = new (std::nothrow) SerialPort;
    if (!g_last_net) {
        SerialDevice* device = serial_device_open(port_number);
        if (!device || !p) {
            serial_device_close(device);
            delete p;
            return nullptr;
        }
        p->device = device;
        return p;
    }
    std::snprintf(g_net_path, sizeof g_net_path, "%s", path);
    g_net_reason[0] = '\0';
    g_net_error = SERIAL_OPEN_FAILED;
    NetPort* net = p ? net_port_open(path, &g_net_error, g_net_reason, sizeof g_net_reason) : nullptr;
    if (!net) {
        delete p;
        return nullptr;
    }
    g_net_error = SERIAL_OPEN_OK;
    p->net = net;
    return p;
}

int serial_open_error(int* holder_pid) {
    if (!g_last_net) return serial_device_open_error(holder_pid);
    if (holder_pid) *holder_pid = 0;
    return g_net_error;
}

const char* serial_open_path() { return g_last_net ? g_net_path : serial_device_open_path(); }

const char* serial_open_reason() { return g_last_net ? g_net_reason : ""; }

void serial_cancel_open() { net_port_cancel_open(); }

const char* serial_denied_text() { return g_last_net ? "" : serial_device_denied_text(); }

int serial_configure(SerialPort* p, int baud) {
    if (!p) return 0;
    return p->net ? net_port_configure(p->net, baud) : serial_device_configure(p->device, baud);
}

int serial_escape(SerialPort* p, int function) {
    if (!p) return 0;
    return p->net ? net_port_escape(p->net, function) : serial_device_escape(p->device, function);
}

int serial_purge(SerialPort* p) {
    if (!p) return 0;
    return p->net ? net_port_purge(p->net) : serial_device_purge(p->device);
}

int serial_status(SerialPort* p, uint32_t* in_queue, uint32_t* errors) {
    if (!p) {
        if (in_queue) *in_queue = 0;
        if (errors) *errors = 0;
        return 0;
    }
    return p->net ? net_port_status(p->net, in_queue, errors) : serial_device_status(p->device, in_queue, errors);
}

int serial_alive(SerialPort* p) {
    if (!p) return 0;
    return p->net ? net_port_alive(p->net) : serial_device_alive(p->device);
}

int serial_read(SerialPort* p, uint8_t* buffer, uint32_t count, uint32_t* delivered) {
    if (!p) {
        if (delivered) *delivered = 0;
        return 0;
    }
    return p->net ? net_port_read(p->net, buffer, count, delivered)
                  : serial_device_read(p->device, buffer, count, delivered);
}

int serial_write(SerialPort* p, const uint8_t* buffer, uint32_t count, uint32_t* written) {
    if (!p) {
        if (written) *written = 0;
        return 0;
    }
    return p->net ? net_port_write(p->net, buffer, count, written)
                  : serial_device_write(p->device, buffer, count, written);
}

int serial_wait_event(SerialPort* p, uint32_t ms, int queued_counts) {
    if (!p) return 1;
    return p->net ? net_port_wait_event(p->net, ms, queued_counts)
                  : serial_device_wait_event(p->device, ms, queued_counts);
}

int serial_wait_handle(SerialPort* p, int queued_counts, intptr_t* handle) {
    if (!p) {
        if (handle) *handle = -1;
        return 0;
    }
    return p->net ? net_port_wait_handle(p->net, queued_counts, handle)
                  : serial_device_wait_handle(p->device, queued_counts, handle);
}

void serial_close(SerialPort* p) {
    if (!p) return;
    if (p->net) net_port_close(p->net);
    if (p->device) serial_device_close(p->device);
    delete p;
}
