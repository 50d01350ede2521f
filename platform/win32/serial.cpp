// Win32 serial ports: "\\.\COM<n>" opened exclusively, 8N1 with the DCB's other
// fields as the driver has them, no time-outs. The handle is overlapped only so that
// a WaitCommEvent (EV_RXCHAR, EV_ERR) can stay pending while the link waits for input
// in the kernel; every read and write still completes before it returns. Reads take
// only what ClearCommError reports waiting (a zero-time-out read on a port whose peer
// has gone can block for good, as a pseudo-terminal under Wine does), all of it in one
// call into a small buffer, so that byte-at-a-time use costs no system call per byte.
#include "platform/serial_device.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/ports.h"

struct SerialDevice {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool lost = false;         // ClearCommError failed once: the device is gone
    DWORD pending_errors = 0;  // errors that a read's query consumed, for serial_status
    DWORD known = 0;           // input (buffered and queued) serial_status told of and not yet read
    DWORD os_waiting = 0;      // the driver's queue at the last query, less what we took since
    uint8_t buf[4096];
    DWORD head = 0, tail = 0;  // buffered bytes are buf[head..tail)
    HANDLE io_event = nullptr;  // completes reads and writes
    OVERLAPPED wait{};          // the WaitCommEvent; its hEvent is the wait handle
    DWORD wait_mask = 0;
    bool wait_pending = false;
    int failed_waits = 0;      // WaitCommEvents in a row that ended in an error
    bool wait_broken = false;  // the driver gives no usable WaitCommEvent: waits nap instead
    DWORD nap_ms = 1;          // the next nap; grows while nothing arrives
};

namespace {

// Where the port gives no event to wait on, a wait naps, longer while nothing comes.
constexpr DWORD LONGEST_NAP_MS = 10;
// A driver whose every WaitCommEvent ends in an error at once (Wine's on a
// pseudo-terminal cancels each within milliseconds) is given up after this many.
constexpr int FAILED_WAITS_LIMIT = 3;

// One ClearCommError: false when the port cannot be queried (sticky).
bool query(SerialDevice* p, DWORD* in_queue) {
    *in_queue = 0;
    if (p->lost) return false;
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(p->handle, &errors, &stat)) {
        p->lost = true;
        return false;
    }
    p->pending_errors |= errors;
    *in_queue = stat.cbInQue;
    p->os_waiting = stat.cbInQue;
    return true;
}

DWORD buffered(const SerialDevice* p) { return p->tail - p->head; }

// A read or write that returns when it has completed.
bool transfer(SerialDevice* p, bool write, void* buffer, DWORD count, DWORD* done) {
    *done = 0;
    OVERLAPPED ov{};
    ov.hEvent = p->io_event;
    BOOL ok = write ? WriteFile(p->handle, buffer, count, nullptr, &ov) : ReadFile(p->handle, buffer, count, nullptr, &ov);
    if (!ok && GetLastError() != ERROR_IO_PENDING) return false;
    return GetOverlappedResult(p->handle, &ov, done, TRUE) != 0;
}

// Keeps a WaitCommEvent pending. false when the port will not take one.
bool arm(SerialDevice* p) {
    if (p->wait_broken || p->lost) return false;
    if (p->wait_pending) {
        DWORD n = 0;
        if (GetOverlappedResult(p->handle, &p->wait, &n, FALSE)) {
            p->failed_waits = 0;
        } else {
            if (GetLastError() == ERROR_IO_INCOMPLETE) return true;
            if (++p->failed_waits >= FAILED_WAITS_LIMIT) p->wait_broken = true;
        }
        p->wait_pending = false;
        if (p->wait_broken) return false;
    }
    ResetEvent(p->wait.hEvent);
    p->wait_mask = 0;
    if (WaitCommEvent(p->handle, &p->wait_mask, &p->wait)) {
        SetEvent(p->wait.hEvent);  // already happened
        return true;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
        p->wait_pending = true;
        return true;
    }
    p->wait_broken = true;
    return false;
}

// Ends a pending WaitCommEvent before its OVERLAPPED goes away. false when it would
// not end (the memory must then stay).
bool disarm(SerialDevice* p) {
    if (!p->wait_pending) return true;
    CancelIo(p->handle);
    DWORD n = 0;
    if (WaitForSingleObject(p->wait.hEvent, 1000) != WAIT_OBJECT_0) return false;
    GetOverlappedResult(p->handle, &p->wait, &n, FALSE);
    p->wait_pending = false;
    return true;
}

// An armed event that is set at once would wake a wait for nothing: some drivers
// (Wine's) signal EV_RXCHAR while old input waits unread, not only for new input.
bool armed_and_clear(SerialDevice* p) { return arm(p) && WaitForSingleObject(p->wait.hEvent, 0) == WAIT_TIMEOUT; }

// Sleeps until the armed event is set or ms pass; naps where there is none to wait on.
void block(SerialDevice* p, bool armed, DWORD ms) {
    if (armed) {
        WaitForSingleObject(p->wait.hEvent, ms);
        return;
    }
    Sleep(ms < p->nap_ms ? ms : p->nap_ms);
    p->nap_ms = p->nap_ms * 2 < LONGEST_NAP_MS ? p->nap_ms * 2 : LONGEST_NAP_MS;
}

// Something the caller has not looked at yet: input beyond what serial_status told
// of, a line error, or a port that cannot be queried.
bool news(SerialDevice* p, bool queued_counts) {
    if (queued_counts && buffered(p) > 0) return true;
    DWORD waiting = 0;
    bool any = !query(p, &waiting) || buffered(p) + waiting > (queued_counts ? 0 : p->known) || p->pending_errors;
    if (any) p->nap_ms = 1;
    return any;
}

}  // namespace

namespace {

thread_local int g_open_error = SERIAL_OPEN_OK;
thread_local char g_open_path[300] = "";

}  // namespace

SerialDevice* serial_device_open(int port_number) {
    g_open_error = SERIAL_OPEN_NO_DEVICE;
    g_open_path[0] = '\0';
    char path[300];
    if (!ports_device_path(port_number, path, sizeof path)) return nullptr;
    // The operator knows "COM5", not the device namespace in front of it.
    const char* shown = std::strncmp(path, "\\\\.\\", 4) == 0 ? path + 4 : path;
    std::snprintf(g_open_path, sizeof g_open_path, "%s", shown);
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A COM port that another program holds answers "access denied".
        DWORD e = GetLastError();
        g_open_error = e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION ? SERIAL_OPEN_BUSY
                       : e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? SERIAL_OPEN_NO_DEVICE
                                                                                  : SERIAL_OPEN_FAILED;
        return nullptr;
    }
    // A file, NUL or a pipe opens as well; only a communications device has a state.
    DCB state{};
    state.DCBlength = sizeof state;
    if (GetFileType(h) != FILE_TYPE_CHAR || !GetCommState(h, &state)) {
        CloseHandle(h);
        g_open_error = SERIAL_OPEN_NOT_SERIAL;
        return nullptr;
    }
    SerialDevice* p = new (std::nothrow) SerialDevice;
    HANDLE io_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE wait_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!p || !io_event || !wait_event) {
        if (io_event) CloseHandle(io_event);
        if (wait_event) CloseHandle(wait_event);
        delete p;
        CloseHandle(h);
        g_open_error = SERIAL_OPEN_FAILED;
        return nullptr;
    }
    g_open_error = SERIAL_OPEN_OK;
    p->handle = h;
    p->io_event = io_event;
    p->wait.hEvent = wait_event;
    // A hint the driver may ignore: room for a burst at the line's speed while the
    // window is busy elsewhere.
    SetupComm(h, 16384, 4096);
    // Without the mask no wait is possible; the waits then nap.
    if (!SetCommMask(h, EV_RXCHAR | EV_ERR)) p->wait_broken = true;
    return p;
}

const char* serial_device_denied_text() { return ""; }

const char* serial_device_open_path() { return g_open_path; }

int serial_device_open_error(int* holder_pid) {
    if (holder_pid) *holder_pid = 0;
    return g_open_error;
}

int serial_device_configure(SerialDevice* p, int baud) {
    if (!p || p->lost || baud <= 0) return 0;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(p->handle, &dcb)) return 0;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    // The program drives DTR and RTS itself and wants every byte as sent: in the flag
    // word this is the AND with 0xFFFFC4CF; every other flag stays as the port has it.
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    if (!SetCommState(p->handle, &dcb)) return 0;
    COMMTIMEOUTS timeouts{};  // all zero: no read or write time-out
    if (!SetCommTimeouts(p->handle, &timeouts)) return 0;
    return 1;
}

int serial_device_escape(SerialDevice* p, int function) {
    if (!p || p->lost) return 0;
    return EscapeCommFunction(p->handle, static_cast<DWORD>(function)) ? 1 : 0;
}

int serial_device_purge(SerialDevice* p) {
    if (!p || p->lost) return 0;
    p->known = 0;
    p->os_waiting = 0;
    p->head = p->tail = 0;
    return PurgeComm(p->handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) ? 1 : 0;
}

int serial_device_status(SerialDevice* p, uint32_t* in_queue, uint32_t* errors) {
    if (in_queue) *in_queue = 0;
    if (errors) *errors = 0;
    if (!p || p->lost) return 0;
    DWORD waiting = 0;
    // Buffered input answers without a system call; the driver is asked once it is used.
    if (buffered(p) > 0)
        waiting = buffered(p) + p->os_waiting;
    else if (!query(p, &waiting))
        return 0;
    p->known = waiting;
    if (in_queue) *in_queue = waiting;
    if (errors) *errors = p->pending_errors;
    p->pending_errors = 0;
    return 1;
}

int serial_device_alive(SerialDevice* p) {
    DWORD waiting = 0;
    return p && query(p, &waiting) ? 1 : 0;
}

int serial_device_read(SerialDevice* p, uint8_t* buffer, uint32_t count, uint32_t* delivered) {
    if (delivered) *delivered = 0;
    if (!p || !buffer) return 0;
    uint32_t got = 0;
    while (got < count) {
        if (buffered(p) > 0) {
            DWORD n = count - got < buffered(p) ? count - got : buffered(p);
            std::memcpy(buffer + got, p->buf + p->head, n);
            p->head += n;
            got += n;
            continue;
        }
        DWORD waiting = 0;
        if (!query(p, &waiting)) break;
        if (waiting == 0) {
            // Sleeps until input comes or the port fails; never spins.
            bool armed = armed_and_clear(p);
            if (query(p, &waiting) && waiting == 0) block(p, armed, 1000);
            continue;
        }
        // All the driver holds, in one call.
        p->head = p->tail = 0;
        DWORD want = waiting < sizeof p->buf ? waiting : sizeof p->buf;
        DWORD n = 0;
        if (!transfer(p, false, p->buf, want, &n)) break;
        p->tail = n;
        p->os_waiting = p->os_waiting > n ? p->os_waiting - n : 0;
    }
    p->known = p->known > got ? p->known - got : 0;
    if (delivered) *delivered = got;
    return got == count ? 1 : 0;
}

int serial_device_write(SerialDevice* p, const uint8_t* buffer, uint32_t count, uint32_t* written) {
    if (written) *written = 0;
    if (!p || p->lost || (!buffer && count)) return 0;
    uint32_t done = 0;
    while (done < count) {
        DWORD n = 0;
        if (!transfer(p, true, const_cast<uint8_t*>(buffer) + done, count - done, &n)) return 0;
        if (n == 0) break;  // the driver took nothing: report what went, never spin
        done += n;
    }
    if (written) *written = done;
    return 1;
}

int serial_device_wait_handle(SerialDevice* p, int queued_counts, intptr_t* handle) {
    if (handle) *handle = -1;
    if (!p || (queued_counts && buffered(p) > 0)) return 0;
    bool armed = armed_and_clear(p);
    // Input that came before the wait was armed would not signal it: look once more.
    if (news(p, queued_counts)) return 0;
    if (armed && handle) *handle = reinterpret_cast<intptr_t>(p->wait.hEvent);
    return 1;
}

int serial_device_wait_event(SerialDevice* p, uint32_t ms, int queued_counts) {
    if (!p || (queued_counts && buffered(p) > 0)) return 1;
    bool armed = armed_and_clear(p);
    if (news(p, queued_counts)) return 1;
    block(p, armed, ms);
    return news(p, queued_counts) ? 1 : 0;
}

void serial_device_close(SerialDevice* p) {
    if (!p) return;
    SetCommMask(p->handle, 0);  // ends a pending WaitCommEvent
    bool ended = disarm(p);
    if (p->handle != INVALID_HANDLE_VALUE) CloseHandle(p->handle);
    if (!ended) return;  // the system may still write into it: keep the memory
    CloseHandle(p->io_event);
    CloseHandle(p->wait.hEvent);
    delete p;
}
