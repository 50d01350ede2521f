// The serial link to the controller: connection, byte primitives with one byte of
// look-ahead, command exchange, control bytes, status report and pin transaction.
// Every operation accepts a null link and then fails (0, -1 or nullptr).
#pragma once

#include <cstdint>

struct TargetLink;

constexpr uint8_t CTRL_STOP = 0x01, CTRL_PAUSE = 0x02, CTRL_CONTINUE = 0x03, CTRL_REPORT = 0x12;

// Sentinels handed out when no report is available.
constexpr int16_t REPORT_NO_Q = -1;
constexpr int32_t REPORT_NO_VALUE = INT32_MIN;

// A line that has begun waits at most this long for each next byte.
constexpr uint32_t LINE_BYTE_TIMEOUT_MS = 2000;

// --- why an operation failed ------------------------------------------------------
// Every failing operation records its reason for this thread; a success leaves the
// last reason as it was (but a successful link_connect clears it). The codes are for programs, the texts for people: short,
// lower case, e.g. "port lost" or "no such device".
enum LinkErrorCode {
    LINK_ERROR_NONE = 0,
    LINK_ERROR_NOT_CONNECTED,  // a null link
    LINK_ERROR_DISCONNECTED,   // closed while the operation was under way
    LINK_ERROR_PORT_LOST,      // the device hung up or went away
    LINK_ERROR_LINE,           // overrun, framing, parity or break on the line
    LINK_ERROR_WRITE,          // the port took no bytes
    LINK_ERROR_BAD_START,      // a reply or pin reply began with a byte it cannot begin with
    LINK_ERROR_STALLED,        // a line that had begun stopped for LINE_BYTE_TIMEOUT_MS
    LINK_ERROR_TIMEOUT,        // a bounded wait ran out before an answer began
    // link_connect only
    LINK_ERROR_BAD_ADDRESS,    // no port number in the connect string
    LINK_ERROR_NO_DEVICE,
    LINK_ERROR_BUSY,           // another program holds the port
    LINK_ERROR_DENIED,         // no permission to open the device
    LINK_ERROR_OPEN,           // the port failed to open for another reason
    LINK_ERROR_CONFIGURE,      // the port refused 8N1 or the baud rate
    LINK_ERROR_NO_GREETING,    // the controller did not answer "A" CR with CR
    LINK_ERROR_TOO_LONG,       // a reply line passed LINK_WHOLE_REPLY_MAX bytes without its CR
    LINK_ERROR_NOT_SENT,       // the line was refused before anything went out (the text says why)
};
// The last failure's code on this thread; its text into text (size bytes incl. the
// NUL, cut to fit) when text is given.
int link_last_error(char* text, uint32_t size);
// Records a failure (code and text) as the link does; front ends use it for their
// own waits, e.g. a time-out, so that one place holds the reason.
void link_set_error(int code, const char* text);

// --- connection -------------------------------------------------------------
// Opens "COM<port>: <baud>" (see link_parse_connect_string), resets the controller,
// sends "A" CR and waits up to 1000 polls for a CR. nullptr on any failure, with
// nothing left open.
TargetLink* link_connect(const char* connect_string);
// Opens and configures the port, pulses DTR, waits 1.1 s and purges. No greeting.
// Window events run during the last 1 s (see link_cancel_connect).
// nullptr when port_number or baud_rate is not positive, or the port fails.
TargetLink* link_open_port(int port_number, int baud_rate);
// Makes the link_connect or link_open_port under way on this thread (a handler runs
// nested in its waits) give up at its next look: before the greeting nothing is
// written, the port is closed, and it fails with LINK_ERROR_DISCONNECTED. Each
// connect starts uncancelled. 1.
int link_cancel_connect();
// Closes the port at once and sets *link to nullptr. Safe from a handler nested in a
// wait on the same link: the operations still on the stack fail, and the record is
// freed when the last of them returns.
void link_close(TargetLink** link);
// Reads the port number and baud rate out of a connect string: the first run of
// digits, then the next run (absent or 0: 921600). 0 for a null or empty string, a
// port of 0, or a number beyond the 32-bit range.
int link_parse_connect_string(const char* connect_string, int* port, int* baud);

// --- byte primitives (callers hold io_lock) -----------------------------------
// Bytes waiting in the port's input queue (a peeked byte is not counted); 0 on failure.
uint32_t link_bytes_waiting(TargetLink* link);
// 1 when the port answers and reported no error since the last query.
int link_healthy(TargetLink* link);
// 1 when the port has hung up or gone (an idle check); a line error it comes upon is
// kept for the next link_healthy. 0 for a live port and for a null or closed link.
int link_port_lost(TargetLink* link);
// The next byte without consuming it, or -1 when none is waiting. Never waits.
int link_peek(TargetLink* link);
// Reads count bytes (the peeked byte first), waiting for each. 1 or 0.
int link_read(TargetLink* link, uint8_t* buffer, uint32_t count, uint32_t* delivered);
// Writes count bytes. 1 with *written as sent, or 0 with *written = 0.
int link_write(TargetLink* link, const uint8_t* buffer, uint32_t count, uint32_t* written);
// Dispatches pending messages, then waits ms (0: dispatch only).
void link_idle(uint32_t ms);

// --- command exchange ------------------------------------------------------------
// Sends command + CR and reads one reply line into reply (256 bytes: at most 255
// characters, longer replies are cut and the rest consumed). A line the controller
// would not read as text (link_line_refusal) fails with LINK_ERROR_NOT_SENT and
// nothing goes out. Input waiting before the command goes out belongs to nothing and
// is dropped (link_dropped_input), whole lines of it: while it keeps coming the
// command waits (at most LINK_STRAY_LIMIT_MS, then LINK_ERROR_NOT_SENT). A requested
// report is taken in wherever it begins, also inside the reply line. Waits
// without a limit for the reply to begin, dispatching messages, also while the line
// comes in. LF or NUL where the reply would begin are dropped; any other byte that
// cannot begin a reply fails the exchange and its line is dropped up to its CR.
// 1 on a whole line; 0 otherwise, and reply then holds "".
int link_exchange(TargetLink* link, const char* command, char* reply /* 256 bytes, or nullptr */);
// 0 when text may go out as a command line; else LINK_ERROR_NOT_SENT with the reason
// in why (size bytes): a first byte the controller takes as a pin command (bits 7 and
// 3 set, e.g. a UTF-8 byte order mark or a Windows-1252 letter), or a control byte or
// CR anywhere, which the controller acts on instead of reading it as text.
int link_line_refusal(const char* text, char* why, uint32_t size);
// Unasked input that keeps coming holds a command back at most this long.
constexpr uint32_t LINK_STRAY_LIMIT_MS = 5000;
int link_send_line(TargetLink* link, const char* text);
int link_await_reply(TargetLink* link);
// Makes the reply wait under way on this link (link_await_reply, and so an exchange
// or pin transaction) give up at its next poll with LINK_ERROR_TIMEOUT. For a handler
// nested in that wait which bounds it (a time-out, an interrupt); each wait starts
// uncancelled. 0 for a null or closed link.
int link_cancel_wait(TargetLink* link);
int link_read_reply(TargetLink* link, char* reply);

// Replies up to this many bytes are handed back whole by link_exchange_whole.
constexpr uint32_t LINK_WHOLE_REPLY_MAX = 65536;
// As link_exchange, but the reply buffer holds size bytes (a line of up to size - 1
// characters, at most LINK_WHOLE_REPLY_MAX). A longer line fails with
// LINK_ERROR_TOO_LONG once its CR has come: until then the command is still the
// running one (Stop and Pause go out, a stop's line end ends it). On 0 the buffer holds what had arrived of the reply line ("" when
// it never began), so that a front end can tell a reply cut short from none.
int link_exchange_whole(TargetLink* link, const char* command, char* reply, uint32_t size);
// Bytes of the reply that the last link_exchange_whole or link_read_reply on this link
// put into its buffer, NULs inside the reply included (the closing NUL not). 0 for a
// null or closed link.
uint32_t link_reply_length(TargetLink* link);
// Input that was waiting before the last exchange, pin transaction or report request
// (with no command waiting) on this link went out, belonging to nothing (no report
// requested), and so dropped; also the rest of a line given up earlier (a stall, a
// front end's deadline), which link_dropped_rest counts apart. The count of bytes (0: none), and when text is given a
// quoted, escaped excerpt of them for one screen line. LF and NUL alone (the end of a
// CR LF line, noise) are dropped without counting.
uint32_t link_dropped_input(TargetLink* link, char* text, uint32_t size);
// Of link_dropped_input's count, the bytes that were the rest of a reply line given up
// earlier (they followed that command, not this one).
uint32_t link_dropped_rest(TargetLink* link);
// When the last exchange's reply was first found waiting by a look from an event loop
// nested in its wait (platform_now_ms), where such a loop held the reading up; 0 when
// it was read as it came. The time the reply came, for its log row.
uint64_t link_reply_seen_ms(TargetLink* link);
// 1 while a command exchange, pin transaction or the reading of a report on this link
// is under way (on this thread's stack, too): a nested handler must not start another.
int link_busy(TargetLink* link);

// --- control bytes and status report ------------------------------------------------
int link_stop(TargetLink* link);
int link_pause(TargetLink* link);
int link_continue(TargetLink* link);
// With no command waiting, unasked input is dropped first (link_dropped_input), so the
// report that comes is the answer to this request. While a reply line is partly in,
// the request waits for the line's end and goes out then (counted as sent).
int link_request_report(TargetLink* link);
// A line error found by the health check in front of the byte stays for the exchange
// or report under way that owns it.
int link_send_control(TargetLink* link, uint8_t byte);
// Takes in a requested report whose 0x12 is at the head of the input; the value of
// report_valid afterwards.
int link_take_report(TargetLink* link);
// 1 with the values of the last complete report, else 0 with the sentinels.
int link_fetch_report(TargetLink* link, int16_t* q, int32_t* x, int32_t* y, int32_t* z, int32_t* w);
// Requests a fresh report and waits for it (no limit; ends on a link error).
int link_query_report(TargetLink* link, int16_t* q, int32_t* x, int32_t* y, int32_t* z, int32_t* w);
// As link_query_report, but gives up (0, sentinels) when no report has begun within
// ms, or at once when other input stands at the head. The request then stays
// outstanding, so a late report is still taken in by the next exchange.
int link_query_report_within(TargetLink* link, uint32_t ms, int16_t* q, int32_t* x, int32_t* y, int32_t* z,
                             int32_t* w);
// The report state as it stands, reading nothing from the port, so a handler nested in
// any wait (also one taking a report in) may look: 1 while a request is outstanding.
// 0 for a null or closed link.
int link_report_outstanding(TargetLink* link);
// Gives up on the outstanding report request, as a controller that dropped it will
// never answer: the next link_request_report sends a new one. 1 when one was
// outstanding; 0 otherwise and for a null or closed link.
int link_forget_report(TargetLink* link);
// 1 with the values of the last report taken in completely, until the next request;
// else 0 with the sentinels. Reads nothing from the port.
int link_report_values(TargetLink* link, int16_t* q, int32_t* x, int32_t* y, int32_t* z, int32_t* w);
// Decodes an 18-byte report body (little-endian Q, X, Y, Z, W).
void link_decode_report(const uint8_t body[18], int16_t* q, int32_t* x, int32_t* y, int32_t* z, int32_t* w);

// --- pin transaction -------------------------------------------------------------
// Writes the given values to ports 1..3 and reads the given slots back. 1 on success
// (slots the reply did not announce keep their values); 0 with every given slot 0.
int link_pin_transaction(TargetLink* link, const uint8_t* write1, const uint8_t* write2, const uint8_t* write3,
                         uint8_t* read1, uint8_t* read2, uint8_t* read3);
// The command byte for the given writes and reads.
uint8_t link_pin_command(bool write1, bool write2, bool write3, bool read1, bool read2, bool read3);
// 1 when (reply AND 0x8F) = 0x80.
int link_pin_reply_valid(uint8_t reply);
