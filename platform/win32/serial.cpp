// Win32 serial ports: "\\.\COM<n>" opened exclusively and synchronously, 8N1 with the
// DCB's other fields as the driver has them, no time-outs. Reads take only what
// ClearCommError reports waiting: a zero-time-out ReadFile on a port whose peer has
// gone can block for good (a pseudo-terminal under Wine does), so a read that has to
// wait polls the queue and fails once the port can no longer be queried.
#include "platform/serial.h"

#include <windows.h>

#include <new>

#include "platform/ports.h"

struct SerialPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool lost = false;         // ClearCommError failed once: the device is gone
    DWORD pending_errors = 0;  // errors that a read's query consumed, for serial_status
};

namespace {

// After this long with nothing arriving, a blocked read polls less often.
constexpr DWORD FAST_POLL_MS = 50, SLOW_POLL_MS = 10;

// One ClearCommError: false when the port cannot be queried (sticky).
bool query(SerialPort* p, DWORD* in_queue) {
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
    return true;
}

void pause_poll(DWORD waited_ms) { Sleep(waited_ms < FAST_POLL_MS ? 1 : SLOW_POLL_MS); }

}  // namespace

namespace {

thread_local int g_open_error = SERIAL_OPEN_OK;

}  // namespace

SerialPort* serial_open(int port_number) {
    g_open_error = SERIAL_OPEN_NO_DEVICE;
    char path[300];
    if (!ports_device_path(port_number, path, sizeof path)) return nullptr;
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A COM port that another program holds answers "access denied".
        DWORD e = GetLastError();
        g_open_error = e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION ? SERIAL_OPEN_BUSY
                       : e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? SERIAL_OPEN_NO_DEVICE
                                                                                  : SERIAL_OPEN_FAILED;
        return nullptr;
    }
    SerialPort* p = new (std::nothrow) SerialPort;
    if (!p) {
        CloseHandle(h);
        g_open_error = SERIAL_OPEN_FAILED;
        return nullptr;
    }
    g_open_error = SERIAL_OPEN_OK;
    p->handle = h;
    SetupComm(h, 256, 256);  // a hint the driver may ignore
    return p;
}

const char* serial_denied_text() { return "permission denied"; }

int serial_open_error(int* holder_pid) {
    if (holder_pid) *holder_pid = 0;
    return g_open_error;
}

int serial_configure(SerialPort* p, int baud) {
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

int serial_escape(SerialPort* p, int function) {
    if (!p || p->lost) return 0;
    return EscapeCommFunction(p->handle, static_cast<DWORD>(function)) ? 1 : 0;
}

int serial_purge(SerialPort* p) {
    if (!p || p->lost) return 0;
    return PurgeComm(p->handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) ? 1 : 0;
}

int serial_status(SerialPort* p, uint32_t* in_queue, uint32_t* errors) {
    if (in_queue) *in_queue = 0;
    if (errors) *errors = 0;
    if (!p) return 0;
    DWORD waiting = 0;
    if (!query(p, &waiting)) return 0;
    if (in_queue) *in_queue = waiting;
    if (errors) *errors = p->pending_errors;
    p->pending_errors = 0;
    return 1;
}

int serial_alive(SerialPort* p) {
    DWORD waiting = 0;
    return p && query(p, &waiting) ? 1 : 0;
}

int serial_read(SerialPort* p, uint8_t* buffer, uint32_t count, uint32_t* delivered) {
    if (delivered) *delivered = 0;
    if (!p || !buffer) return 0;
    uint32_t got = 0;
    DWORD wait_start = GetTickCount();
    while (got < count) {
        DWORD waiting = 0;
        if (!query(p, &waiting)) break;
        if (waiting == 0) {
            pause_poll(GetTickCount() - wait_start);
            continue;
        }
        DWORD want = count - got < waiting ? count - got : waiting;
        DWORD n = 0;
        if (!ReadFile(p->handle, buffer + got, want, &n, nullptr)) break;
        got += n;
        wait_start = GetTickCount();
    }
    if (delivered) *delivered = got;
    return got == count ? 1 : 0;
}

int serial_write(SerialPort* p, const uint8_t* buffer, uint32_t count, uint32_t* written) {
    if (written) *written = 0;
    if (!p || p->lost || (!buffer && count)) return 0;
    uint32_t done = 0;
    while (done < count) {
        DWORD n = 0;
        if (!WriteFile(p->handle, buffer + done, count - done, &n, nullptr)) return 0;
        if (n == 0) break;  // the driver took nothing: report what went, never spin
        done += n;
    }
    if (written) *written = done;
    return 1;
}

int serial_wait_input(SerialPort* p, uint32_t ms) {
    if (!p) return 0;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD waiting = 0;
        if (!query(p, &waiting)) return 0;
        if (waiting > 0) return 1;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) return 0;
        DWORD left = ms - elapsed;
        DWORD nap = elapsed < FAST_POLL_MS ? 1 : SLOW_POLL_MS;
        Sleep(nap < left ? nap : left);
    }
}

void serial_close(SerialPort* p) {
    if (!p) return;
    if (p->handle != INVALID_HANDLE_VALUE) CloseHandle(p->handle);
    delete p;
}
