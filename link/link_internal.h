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
    // Counts reads and writes on the link, so a wait can tell that a handler nested
    // in its dispatch used the link (and perhaps took in what it waits for).
    uint32_t activity = 0;
    // A reply line was given up mid-line (stalled, a front end's deadline): the rest
    // of it, up to and including its CR, belongs to no command. Ends at that CR only,
    // however late: the controller ends every line it began.
    int32_t resync = 0;
    // An operation up the stack owns the input (a reply wait, a line, a drop, a report
    // body): a nested report request then drops nothing, and a health check keeps the
    // error it finds for that owner.
    int32_t owned = 0;
    // A reply line is partly in: a report request waits for its end (report_deferred).
    int32_t line_open = 0;
    int32_t report_deferred = 0;
    // Input that belonged to nothing and was dropped by the exchange or pin transaction
    // under way (link_dropped_input): how many bytes, and the first of them; of them
    // dropped_rest were the rest of a line given up earlier.
    uint32_t dropped = 0;
    uint32_t dropped_rest = 0;
    uint32_t dropped_kept = 0;
    uint8_t dropped_head[48] = {};
    uint32_t reply_length = 0;  // link_reply_length: a reply may hold NUL bytes
    // When a look from an event loop nested in the reply wait (a menu held open) first
    // found the reply's input waiting (platform_now_ms); 0: it was read as it came.
    uint64_t reply_seen_at = 0;
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

// The port's query: 0 when it cannot be queried, else 1 with the count and errors
// (including one held back by an earlier query, which this one hands over).
int link_port_status(TargetLink* link, uint32_t* in_queue, uint32_t* errors);

// Failure reasons (link_error.cpp). Each returns 0 so a failing path can end with it.
int link_fail(int code);
// After a failed read or write: disconnected, port lost, a line error, or else
// the code given (LINK_ERROR_WRITE for writes).
int link_fail_on_port(TargetLink* link, int otherwise = LINK_ERROR_LINE);
// An answer (what: "reply", "pin reply") that began with a byte it cannot begin with.
int link_fail_bad_start(int byte, const char* what);
// An answer that began with a byte it cannot begin with, with what was dropped up
// to the line's end shown after it (escaped, cut to a screen line).
int link_fail_bad_start_dropped(int byte, const char* what, const uint8_t* dropped, uint32_t kept, uint32_t count);
// Adds the received bytes to the reason just recorded: `<reason> after "hello "`.
void link_append_received(const uint8_t* bytes, uint32_t kept, uint32_t count);
// Writes the first kept of count bytes as a quoted, escaped text for one screen line
// (control bytes, quote, backslash and bytes from 0x7F as \xNN); longer input is cut
// with "..." and its length.
void link_quote_bytes(const uint8_t* bytes, uint32_t kept, uint32_t count, char* out, uint32_t size);
// A LinkUse that is not ok: not connected (null) or disconnected (closed).
int link_fail_use(TargetLink* link);

// The step of every waiting loop of the link once it has looked at what it waits
// for: runs pending window messages, then sleeps in the kernel until the port has new
// input or hangs up, a window event arrives, or ms pass (PLATFORM_WAIT_FOREVER: no
// limit). Returns at once when a handler used or closed the link meanwhile, so that
// the caller looks again first; the caller checks for a close afterwards.
void link_wait(TargetLink* link, uint32_t ms);

// Reads one byte of a line that has begun: waits at most LINE_BYTE_TIMEOUT_MS for
// it (timeout_ms). With dispatch set, the wait is link_wait (window messages run);
// otherwise it blocks on the port alone. -1 on silence, a link error or a closed
// link, with the reason recorded.
int link_read_line_byte(TargetLink* link, bool dispatch = false, uint32_t timeout_ms = LINE_BYTE_TIMEOUT_MS);

// Drops what waits before a command, pin or report request goes out (a requested
// report is taken in): LF and NUL silently, anything else counted for
// link_dropped_input. Once something was dropped it goes on until the input has been
// quiet at a line's end, so that no reply begins with the tail of an unasked line;
// 0 (LINK_ERROR_NOT_SENT) when input kept coming for LINK_STRAY_LIMIT_MS, or on a
// closed or failed link.
int link_drop_stray_input(TargetLink* link);
// Forgets the dropped-input note: a new command, pin or report request begins.
void link_reset_dropped(TargetLink* link);
// Takes in the body of a requested report whose 0x12 was just consumed; its bytes wait
// at most byte_timeout_ms each. 1 when whole.
int link_report_body(TargetLink* link, uint32_t byte_timeout_ms);
// Sends a report request that waited for a line's end. 1, or 0 when it failed.
int link_send_deferred_report(TargetLink* link);
// Counts a scope in which an operation owns the input (TargetLink::owned).
class OwnInput {
public:
    explicit OwnInput(TargetLink* link) : link_(link) { ++link_->owned; }
    ~OwnInput() { --link_->owned; }
    OwnInput(const OwnInput&) = delete;
    OwnInput& operator=(const OwnInput&) = delete;

private:
    TargetLink* link_;
};
// Remembers dropped bytes for link_dropped_input.
void link_note_dropped(TargetLink* link, uint8_t byte);
