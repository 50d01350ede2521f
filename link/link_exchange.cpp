// One command line out, one reply line back; the wait for the reply dispatches
// window messages so that control bytes can go out meanwhile.
#include <cstdio>
#include <cstring>
#include <string>

#include "link/link_internal.h"
#include "platform/dispatch.h"

namespace {

constexpr uint32_t REPLY_CHARS = 255;
constexpr uint32_t LINE_IN_ONE_WRITE = 510;

// Counts an exchange or pin transaction under way for link_busy.
class BusyMark {
public:
    explicit BusyMark(TargetLink* link) : link_(link) { ++link_->busy_depth; }
    ~BusyMark() { --link_->busy_depth; }
    BusyMark(const BusyMark&) = delete;
    BusyMark& operator=(const BusyMark&) = delete;

private:
    TargetLink* link_;
};

}  // namespace

int link_line_refusal(const char* text, char* why, uint32_t size) {
    if (why && size) why[0] = '\0';
    if (!text) return 0;
    char reason[160] = "";
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    if ((bytes[0] & 0x88) == 0x88) {
        std::snprintf(reason, sizeof reason, "the line begins with byte 0x%02X, which the controller takes as a pin command",
                      bytes[0]);
    } else {
        for (const uint8_t* p = bytes; *p; ++p) {
            if (*p == CTRL_STOP || *p == CTRL_PAUSE || *p == CTRL_CONTINUE || *p == CTRL_REPORT) {
                std::snprintf(reason, sizeof reason,
                              "the line holds byte 0x%02X, which the controller takes as a control byte", *p);
                break;
            }
            if (*p == 0x0D) {
                std::snprintf(reason, sizeof reason, "the line holds a CR, which would end it early");
                break;
            }
        }
    }
    if (!reason[0]) return 0;
    if (why && size) std::snprintf(why, size, "%s", reason);
    return LINK_ERROR_NOT_SENT;
}

int link_send_line(TargetLink* link, const char* text) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    char why[160];
    if (link_line_refusal(text, why, sizeof why)) {
        link_set_error(LINK_ERROR_NOT_SENT, why);
        return 0;
    }
    uint32_t count = text ? static_cast<uint32_t>(std::strlen(text)) : 0;
    LockHold io(link->io_lock);
    uint32_t written = 0;
    // A usual line goes out in one write: the controller then wakes once for it, not
    // once for the text and again for the CR. The CR still goes only after the
    // whole text, since it is the last byte.
    uint8_t line[LINE_IN_ONE_WRITE + 1];
    if (count <= LINE_IN_ONE_WRITE) {
        if (count) std::memcpy(line, text, count);
        line[count] = 0x0D;
        return link_write(link, line, count + 1, &written) && written == count + 1
                   ? 1
                   : link_fail_on_port(link, LINK_ERROR_WRITE);
    }
    if (count > 0) {
        if (!link_write(link, reinterpret_cast<const uint8_t*>(text), count, &written) || written != count)
            return link_fail_on_port(link, LINK_ERROR_WRITE);
    }
    const uint8_t cr = 0x0D;
    written = 0;
    return link_write(link, &cr, 1, &written) && written == 1 ? 1 : link_fail_on_port(link, LINK_ERROR_WRITE);
}

namespace {

// After unasked input, the command waits for this much quiet: at a line's end a
// flood's writer refills the queue within a millisecond; inside a line a slow
// controller may pause longer between bytes.
constexpr uint32_t QUIET_AT_LINE_END_MS = 20;
constexpr uint32_t QUIET_IN_LINE_MS = 500;

// A line whose bytes never stop coming never lets the byte wait sleep, and so never
// runs window events by itself: run them every so often. 0 when a handler closed the
// link or cancelled the wait meanwhile.
constexpr uint64_t EVENTS_EVERY_MS = 50;

int let_events_run(TargetLink* link, uint64_t* last) {
    uint64_t now = platform_now_ms();
    if (now - *last < EVENTS_EVERY_MS) return 1;
    *last = now;
    LinkUse use(link);
    dispatch_pending_messages();
    if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
    if (link->cancel_wait) return link_fail(LINK_ERROR_TIMEOUT);
    return 1;
}

// Reads the byte at the head (peeked or queued); -1 when none could be read.
int take_head(TargetLink* link) {
    uint8_t b = 0;
    uint32_t delivered = 0;
    return link_read(link, &b, 1, &delivered) && delivered == 1 ? b : -1;
}

// One byte of the rest of a line given up earlier, dropped; its CR ends the rest.
void drop_rest_byte(TargetLink* link, int b) {
    if (b == 0x0D) {
        link->resync = 0;
        link_send_deferred_report(link);
    }
    link_note_dropped(link, static_cast<uint8_t>(b));
    if (link->dropped_rest < UINT32_MAX) ++link->dropped_rest;
}

// A line given up before its CR (stalled, too long for the front end's patience, a
// deadline): its rest belongs to no command and is dropped up to that CR, however
// late it comes, since the controller answers every line with exactly one CR.
void give_up_line(TargetLink* link) { link->resync = 1; }

}  // namespace

void link_note_dropped(TargetLink* link, uint8_t byte) {
    if (link->dropped_kept < sizeof link->dropped_head) link->dropped_head[link->dropped_kept++] = byte;
    if (link->dropped < UINT32_MAX) ++link->dropped;
}

void link_reset_dropped(TargetLink* link) {
    link->dropped = 0;
    link->dropped_rest = 0;
    link->dropped_kept = 0;
}

int link_drop_stray_input(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    LockHold io(link->io_lock);
    OwnInput own(link);
    bool counting = false;  // a byte other than LF or NUL was dropped
    bool in_line = false;   // the last byte dropped was not a line's end
    bool any = false;
    const uint64_t start = platform_now_ms();
    uint64_t last_input = start;
    for (;;) {
        bool got = false;
        for (;;) {
            int b = link_peek(link);
            if (b < 0) break;
            got = true;
            if (b == CTRL_REPORT && link->report_requested) {
                link_take_report(link);
                if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
                continue;
            }
            if (take_head(link) < 0) break;
            if (link->resync) {
                drop_rest_byte(link, b);
                in_line = link->resync != 0;
                continue;
            }
            if (!counting && (b == 0x0A || b == 0x00)) continue;  // the end of a CR LF line, or noise
            counting = true;
            in_line = b != 0x0D;
            link_note_dropped(link, static_cast<uint8_t>(b));
        }
        if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
        if (!got && !any) return 1;  // nothing unasked: the usual case costs no wait
        any = true;
        uint64_t now = platform_now_ms();
        if (got) last_input = now;
        if (!counting && !in_line && !link->resync) return 1;  // only a CR LF's LF
        uint32_t quiet = in_line ? QUIET_IN_LINE_MS : QUIET_AT_LINE_END_MS;
        if (now - last_input >= quiet) return 1;
        if (now - start >= LINK_STRAY_LIMIT_MS) {
            link_set_error(LINK_ERROR_NOT_SENT, "the controller keeps sending input nobody asked for");
            return 0;
        }
        if (!link_healthy(link)) return 0;
        uint64_t left = quiet - (now - last_input);
        if (left > LINK_STRAY_LIMIT_MS - (now - start)) left = LINK_STRAY_LIMIT_MS - (now - start);
        link_wait(link, static_cast<uint32_t>(left));
        if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
        if (link->cancel_wait) {
            link->cancel_wait = 0;
            return link_fail(LINK_ERROR_TIMEOUT);
        }
    }
}

uint32_t link_dropped_input(TargetLink* link, char* text, uint32_t size) {
    if (text && size) text[0] = '\0';
    LinkUse use(link);
    if (!use.ok() || link->dropped == 0) return 0;
    if (text && size) {
        link_quote_bytes(link->dropped_head, link->dropped_kept, link->dropped, text, size);
    }
    return link->dropped;
}

uint32_t link_dropped_rest(TargetLink* link) {
    LinkUse use(link);
    return use.ok() ? link->dropped_rest : 0;
}

int link_await_reply(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    OwnInput own(link);
    link->cancel_wait = 0;
    uint64_t events_at = platform_now_ms();
    for (;;) {
        if (!let_events_run(link, &events_at)) {
            if (link->cancel_wait) link->cancel_wait = 0;
            return 0;
        }
        link_take_report(link);
        if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
        int b = -1;
        {
            LockHold io(link->io_lock);
            // One look at the port serves as the health check and the count; the
            // peek then reads from what that look took in.
            if (link->peeked >= 0) {
                b = link->peeked;
            } else {
                uint32_t waiting = 0, errors = 0;
                if (!link_port_status(link, &waiting, &errors)) return link_fail(LINK_ERROR_PORT_LOST);
                if (errors) return link_fail(LINK_ERROR_LINE);
                if (waiting) b = link_peek(link);
            }
            if (b >= 0 && link->resync) {
                // The rest of an earlier line: not this command's reply.
                take_head(link);
                drop_rest_byte(link, b);
                continue;
            }
            // LF or NUL where a reply would begin: the second half of a CR LF line
            // end, or noise. The reply that follows is read normally.
            if (b == 0x0A || b == 0x00) {
                take_head(link);
                continue;
            }
        }
        // A 0x12 with no report outstanding begins a reply like any other byte (and
        // fails it as a bad first byte); one that is a report was taken in above.
        if (b >= 0 && !(b == CTRL_REPORT && link->report_requested)) return 1;
        // A byte that cannot be used yet must not hide a hang-up behind it.
        if (b >= 0 && !link_healthy(link)) return 0;
        // No limit: a command may run for minutes. Input, a hang-up or a window
        // event ends the sleep.
        link_wait(link, PLATFORM_WAIT_FOREVER);
        if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);  // closed by a handler during the wait
        if (link->cancel_wait) {
            link->cancel_wait = 0;
            return link_fail(LINK_ERROR_TIMEOUT);
        }
    }
}

int link_cancel_wait(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return 0;
    link->cancel_wait = 1;
    return 1;
}

namespace {

// Marks a reply line partly in for its scope; at its end a report request that waited
// for it goes out.
class OpenLine {
public:
    explicit OpenLine(TargetLink* link) : link_(link) { link_->line_open = 1; }
    ~OpenLine() {
        link_->line_open = 0;
        if (!link_->closed) link_send_deferred_report(link_);
    }
    OpenLine(const OpenLine&) = delete;
    OpenLine& operator=(const OpenLine&) = delete;

private:
    TargetLink* link_;
};

// Reads one reply line into reply (size bytes, may be null). Bytes past size - 1
// are dropped when cut is set, else the line fails once its CR has come
// (LINK_ERROR_TOO_LONG). The line is read to its CR whatever its length: until then
// the command is still running, and window events run while it comes in, so Stop and
// Disconnect act on a line that never ends. A requested report is taken in wherever
// it begins. On 0, reply holds what arrived (cut: "").
int read_line(TargetLink* link, char* reply, uint32_t size, bool cut) {
    LinkUse use(link);
    if (reply && size) reply[0] = '\0';
    if (!use.ok()) return link_fail_use(link);
    link->reply_length = 0;
    LockHold io(link->io_lock);
    OwnInput own(link);
    int first = link_peek(link);
    while (first == 0x0A || first == 0x00) {
        take_head(link);
        first = link_peek(link);
    }
    if (first < 0) return link_fail_on_port(link);
    OpenLine open(link);
    const bool bad_start = first != 0x0D && first <= 0x20;
    const uint32_t keep = reply && size ? size - 1 : 0;
    const uint32_t limit = cut || bad_start ? UINT32_MAX : keep;
    uint8_t head[48];  // the line's beginning, for the failure text
    uint32_t n = 0;
    uint64_t events_at = platform_now_ms();
    for (;;) {
        int b = let_events_run(link, &events_at) ? link_read_line_byte(link, true) : -1;
        if (b == 0x0D) break;
        if (b == CTRL_REPORT && link->report_requested && n > 0) {
            // The controller answered a request that went out before this line came.
            link_report_body(link, LINE_BYTE_TIMEOUT_MS);
            if (!use.ok()) b = link_fail(LINK_ERROR_DISCONNECTED) - 1;
            else continue;
        }
        if (b < 0) {
            if (!use.ok()) {
                if (reply && size) reply[0] = '\0';
                return 0;
            }
            int code = link_last_error(nullptr, 0);
            if (code == LINK_ERROR_TIMEOUT) {
                link->cancel_wait = 0;
                link_set_error(LINK_ERROR_TIMEOUT, "gave up in the middle of the reply line");
            }
            // Whatever ended it, the rest of this line is no later command's reply.
            if (code == LINK_ERROR_TIMEOUT || code == LINK_ERROR_STALLED) give_up_line(link);
            if (bad_start && code == LINK_ERROR_STALLED)
                link_fail_bad_start_dropped(first, "reply", head, n < sizeof head ? n : sizeof head, n);
            else
                link_append_received(head, n < sizeof head ? n : sizeof head, n);
            if (reply && size) reply[(cut || bad_start) ? 0 : (n < keep ? n : keep)] = '\0';
            if (reply && size && !cut && !bad_start) link->reply_length = n < keep ? n : keep;
            return 0;
        }
        if (n < sizeof head) head[n] = static_cast<uint8_t>(b);
        if (n < keep && !bad_start) reply[n] = static_cast<char>(b);
        if (n < UINT32_MAX) ++n;
    }
    if (bad_start) return link_fail_bad_start_dropped(first, "reply", head, n < sizeof head ? n : sizeof head, n);
    if (reply && size) reply[n < keep ? n : keep] = '\0';
    if (reply && size) link->reply_length = n < keep ? n : keep;
    if (n > limit) {
        char text[96];
        std::snprintf(text, sizeof text, "reply line longer than %u bytes (%u in all)", static_cast<unsigned>(limit),
                      static_cast<unsigned>(n));
        link_set_error(LINK_ERROR_TOO_LONG, text);
        return 0;
    }
    return 1;
}

// Notes when the reply's first input is waiting. Runs inside event loops nested in the
// reply wait, so it only asks the port and reads nothing.
void look_for_reply(void* context) {
    auto* link = static_cast<TargetLink*>(context);
    if (link->closed || link->reply_seen_at) return;
    uint32_t waiting = 0, errors = 0;
    // A byte already peeked is the reply begun before the loop did.
    if (serial_status(link->port_handle, &waiting, &errors) && (waiting > 0 || link->peeked >= 0))
        link->reply_seen_at = platform_now_ms();
    // A line error found here is the wait's to report.
    if (errors) link->held_errors = 1;
}

// The look installed for the reply wait, the one before put back at its end.
class ReplyLook {
public:
    explicit ReplyLook(TargetLink* link) : old_(platform_set_look(PlatformLook{look_for_reply, link})) {
        link->reply_seen_at = 0;
    }
    ~ReplyLook() { platform_set_look(old_); }
    ReplyLook(const ReplyLook&) = delete;
    ReplyLook& operator=(const ReplyLook&) = delete;

private:
    PlatformLook old_;
};

int exchange(TargetLink* link, const char* command, char* reply, uint32_t size, bool cut) {
    LinkUse use(link);
    if (reply && size) reply[0] = '\0';
    if (!use.ok()) return link_fail_use(link);
    char why[160];
    if (link_line_refusal(command, why, sizeof why)) {
        link_set_error(LINK_ERROR_NOT_SENT, why);
        return 0;
    }
    int result = 0;
    {
        LockHold exchange(link->exchange_lock);
        BusyMark busy(link);
        link_reset_dropped(link);
        link->reply_seen_at = 0;
        if (link_drop_stray_input(link) && link_send_line(link, command)) {
            ReplyLook look(link);
            if (link_await_reply(link)) result = read_line(link, reply, size, cut);
        }
    }
    if (!result && reply && size && cut) reply[0] = '\0';
    return result;
}

}  // namespace

int link_read_reply(TargetLink* link, char* reply) { return read_line(link, reply, REPLY_CHARS + 1, true); }

int link_exchange(TargetLink* link, const char* command, char* reply) {
    return exchange(link, command, reply, REPLY_CHARS + 1, true);
}

int link_exchange_whole(TargetLink* link, const char* command, char* reply, uint32_t size) {
    if (size > LINK_WHOLE_REPLY_MAX + 1) size = LINK_WHOLE_REPLY_MAX + 1;
    if (!reply || size == 0) return exchange(link, command, nullptr, 0, true);
    return exchange(link, command, reply, size, false);
}

uint32_t link_reply_length(TargetLink* link) {
    LinkUse use(link);
    return use.ok() ? link->reply_length : 0;
}

uint64_t link_reply_seen_ms(TargetLink* link) {
    LinkUse use(link);
    return use.ok() ? link->reply_seen_at : 0;
}

int link_busy(TargetLink* link) {
    LinkUse use(link);
    // A report being taken in (or input dropped before its request) owns the input
    // as much as an exchange: a pin transaction nested there would read its bytes.
    return use.ok() && (link->busy_depth > 0 || link->owned > 0) ? 1 : 0;
}
