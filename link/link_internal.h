// The TargetLink record and the guards shared by the link's source files.
#pragma once

#include <cstdint>

#include "link/link.h"
#include "platform/lock.h"
#include "platform/serial.h"

struct TargetLink {
    SerialPort* port_handle = nullptr;
    PlatformLock* io_lock = nullptr;
    PlatformLock* exchange_lock = nullptr;
    PlatformLock* report_lock = nullptr;
    int32_t peeked = -1;
    uint8_t report_bytes[18] = {};
    int16_t q = 0;
    int32_t x = 0, y = 0, z = 0, w = 0;
    int32_t report_requested = 0;
    int32_t report_valid = 0;
    // Closed from a nested handler: the port is gone, the record waits for the
    // operations still on the stack (uses) to return.
    int32_t closed = 0;
    int32_t uses = 0;
    int32_t busy_depth = 0;  // exchanges and pin transactions under way
    int32_t cancel_wait = 0;  // link_cancel_wait: the reply wait under way gives up
    // A line error that a query other than link_healthy found; link_healthy still
    // reports it once.
    int32_t held_errors = 0;
};

// Keeps the record alive while an operation runs; ok() is false for a null or
// closed link. The last guard to leave a closed link frees it.
class LinkUse {
public:
    explicit LinkUse(TargetLink* link);
    ~LinkUse();
    LinkUse(const LinkUse&) = delete;
    LinkUse& operator=(const LinkUse&) = delete;
    bool ok() const;

private:
    TargetLink* link_;
};

// Holds a link lock for a scope (null-safe).
class LockHold {
public:
    explicit LockHold(PlatformLock* lock) : lock_(lock) { lock_enter(lock_); }
    ~LockHold() { lock_leave(lock_); }
    LockHold(const LockHold&) = delete;
    LockHold& operator=(const LockHold&) = delete;

private:
    PlatformLock* lock_;
};

// Failure reasons (link_error.cpp). Each returns 0 so a failing path can end with it.
int link_fail(int code);
// After a failed read or write: disconnected, port lost, a line error, or else
// the code given (LINK_ERROR_WRITE for writes).
int link_fail_on_port(TargetLink* link, int otherwise = LINK_ERROR_LINE);
// An answer (what: "reply", "pin reply") that began with a byte it cannot begin with.
int link_fail_bad_start(int byte, const char* what);
// A LinkUse that is not ok: not connected (null) or disconnected (closed).
int link_fail_use(TargetLink* link);

// Reads one byte of a line that has begun: waits at most LINE_BYTE_TIMEOUT_MS for
// it (timeout_ms). With dispatch set, window messages run between 1 ms waits;
// otherwise the wait blocks on the port alone. -1 on silence, a link error or a
// closed link, with the reason recorded.
int link_read_line_byte(TargetLink* link, bool dispatch = false, uint32_t timeout_ms = LINE_BYTE_TIMEOUT_MS);
