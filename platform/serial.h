// The serial port as the link sees it: open by COM number, configure 8N1 raw, drive
// the modem lines, purge, query (errors cleared on read + input count), read, write.
// "COM<n>" may stand for a device or for a network address (rfc2217://, tcp://; see
// platform/net/): the same operations serve both.
#pragma once

#include <cstdint>

struct SerialPort;

// Modem-line functions, numbered as the Windows escape functions.
constexpr int SERIAL_SETRTS = 3, SERIAL_CLRRTS = 4, SERIAL_SETDTR = 5, SERIAL_CLRDTR = 6;

// Opens the device behind "COM<port_number>" (see platform/ports.h) for exclusive
// read/write use. nullptr when the number has no device, it is missing, in use or
// not a serial port.
SerialPort* serial_open(int port_number);
// Why the last serial_open on this thread failed. *holder_pid (may be null) is the
// process that holds the port when the system tells it, else 0.
enum SerialOpenError {
    SERIAL_OPEN_OK,
    SERIAL_OPEN_NO_DEVICE,
    SERIAL_OPEN_BUSY,
    SERIAL_OPEN_DENIED,
    SERIAL_OPEN_FAILED,
    SERIAL_OPEN_NOT_SERIAL,  // it opened, but is a file, a FIFO, /dev/null...
};
int serial_open_error(int* holder_pid);
// The device the last serial_open on this thread tried, as the operator knows it
// ("/dev/ttyUSB0", "COM5"); "" when the number named none.
const char* serial_open_path();
// Why the last serial_open on this thread failed in the operator's words, where the
// code and path do not say it (a network port: "connection refused by HOST:PORT");
// "" otherwise.
const char* serial_open_reason();
// Makes a serial_open under way on this thread (one that waits for a network server
// while window events run) give up at its next look.
void serial_cancel_open();
// A hint for the operator when the device refused us (SERIAL_OPEN_DENIED); "" when
// the system has none to give.
const char* serial_denied_text();
// 8 data bits, no parity, one stop bit, raw bytes, no flow control, at baud.
// 0 when the device refuses the settings or the rate.
int serial_configure(SerialPort* port, int baud);
// Sets or clears a modem line. 0 when the device has no such line (a pseudo-terminal);
// callers treat that as harmless.
int serial_escape(SerialPort* port, int function);
// Discards everything queued in both directions. 1 or 0.
int serial_purge(SerialPort* port);
// The input-queue count and the error indication, which reading clears. Returns 0
// when the port cannot be queried (it was lost or hung up; this is sticky), else 1
// with *errors non-zero when a line error or a hang-up arose since the last query.
int serial_status(SerialPort* port, uint32_t* in_queue, uint32_t* errors);
// 0 when the device has hung up or gone, looked at even while received bytes wait
// unread (serial_status may answer from buffered input alone). Keeps any line error
// for the next serial_status. 1 otherwise.
int serial_alive(SerialPort* port);
// Reads exactly count bytes, waiting as long as it takes. 1 with *delivered = count,
// or 0 when the port fails (delivered then holds what arrived before the failure).
int serial_read(SerialPort* port, uint8_t* buffer, uint32_t count, uint32_t* delivered);
// Writes all count bytes. 1 with *written as sent, 0 on failure (*written = 0).
int serial_write(SerialPort* port, const uint8_t* buffer, uint32_t count, uint32_t* written);
// Blocks on the port alone, in the kernel, until there is something to look at or
// ms pass (PLATFORM_WAIT_FOREVER: no limit): input that the last serial_status did
// not count, or with queued_counts any input waiting at all; a hang-up; a line
// error. May return early. 1 when something happened, 0 on time-out.
int serial_wait_event(SerialPort* port, uint32_t ms, int queued_counts);
// For a wait in a front end's event loop instead: 0 when there is already something
// to look at (as above), so the caller must not block. Else 1 with *handle what to
// watch (see PLATFORM_NO_HANDLE in platform/dispatch.h): the descriptor (POSIX) or
// an armed event (Windows), or PLATFORM_NO_HANDLE when the port cannot be watched
// just now; the caller then looks again within a short while.
int serial_wait_handle(SerialPort* port, int queued_counts, intptr_t* handle);
// Closes and frees; null is ignored.
void serial_close(SerialPort* port);
