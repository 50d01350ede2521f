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

int link_send_line(TargetLink* link, const char* text) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
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

// The rest of a line given up earlier ends at its CR, or once it has been quiet for
// as long as a line may stall: bytes after that are a new line.
bool resync_over(TargetLink* link) {
    if (link->resync && platform_now_ms() - link->resync_at >= LINE_BYTE_TIMEOUT_MS) link->resync = 0;
    return !link->resync;
}

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

}  // namespace

void link_note_dropped(TargetLink* link, uint8_t byte) {
    if (link->dropped_kept < sizeof link->dropped_head) link->dropped_head[link->dropped_kept++] = byte;
    if (link->dropped < UINT32_MAX) ++link->dropped;
}

void link_drop_stray_input(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return;
    LockHold io(link->io_lock);
    bool counting = false;
    uint32_t budget = link_bytes_waiting(link) + (link->peeked >= 0 ? 1 : 0);
    while (budget > 0 && use.ok()) {
        int b = link_peek(link);
        if (b < 0) break;
        if (b == CTRL_REPORT && link->report_requested && !link->resync) {
            link_take_report(link);
            budget = link_bytes_waiting(link) + (link->peeked >= 0 ? 1 : 0);
            continue;
        }
        if (take_head(link) < 0) break;
        --budget;
        if (link->resync) {
            link->resync_at = platform_now_ms();
            if (b == 0x0D) link->resync = 0;
        } else if (!counting && (b == 0x0A || b == 0x00)) {
            continue;  // the end of a CR LF line, or noise
        }
        counting = true;
        link_note_dropped(link, static_cast<uint8_t>(b));
    }
    if (link->resync && use.ok() && link->peeked < 0 && link_bytes_waiting(link) == 0) resync_over(link);
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

int link_await_reply(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    link->cancel_wait = 0;
    uint64_t events_at = platform_now_ms();
    for (;;) {
        if (!let_events_run(link, &events_at)) {
            if (link->cancel_wait) link->cancel_wait = 0;
            return 0;
        }
        if (!link->resync) link_take_report(link);
        int b;
        {
            LockHold io(link->io_lock);
            b = link_peek(link);
            if (b >= 0 && !resync_over(link)) {
                // The rest of an earlier line: not this command's reply.
                take_head(link);
                link->resync_at = platform_now_ms();
                if (b == 0x0D) link->resync = 0;
                link_note_dropped(link, static_cast<uint8_t>(b));
                continue;
            }
            // LF or NUL where a reply would begin: the second half of a CR LF line
            // end, or noise. The reply that follows is read normally.
            if (b == 0x0A || b == 0x00) {
                take_head(link);
                continue;
            }
            if (b < 0) resync_over(link);
        }
        if (b != -1 && b != CTRL_REPORT) return 1;
        if (!link_healthy(link)) return 0;
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

// Reads one reply line into reply (size bytes, may be null). Bytes past size - 1
// are dropped when cut is set (up to LINK_WHOLE_REPLY_MAX in all), else the line fails
// there. Window events run while the line comes in, so Stop and Disconnect act on a
// line that never ends. On 0, reply holds what arrived (cut: "").
int read_line(TargetLink* link, char* reply, uint32_t size, bool cut) {
    LinkUse use(link);
    if (reply && size) reply[0] = '\0';
    if (!use.ok()) return link_fail_use(link);
    LockHold io(link->io_lock);
    int first = link_peek(link);
    while (first == 0x0A || first == 0x00) {
        take_head(link);
        first = link_peek(link);
    }
    if (first < 0) return link_fail_on_port(link);
    const bool bad_start = first != 0x0D && first <= 0x20;
    const uint32_t keep = reply && size ? size - 1 : 0;
    const uint32_t limit = cut || bad_start ? LINK_WHOLE_REPLY_MAX : (keep < LINK_WHOLE_REPLY_MAX ? keep : LINK_WHOLE_REPLY_MAX);
    uint8_t head[48];  // the line's beginning, for the failure text
    uint32_t n = 0;
    uint64_t events_at = platform_now_ms();
    for (;;) {
        int b = let_events_run(link, &events_at) ? link_read_line_byte(link, true) : -1;
        if (b == 0x0D) break;
        if (b >= 0 && n >= limit) {
            // A line without end: give it up now, drop its rest up to its CR later.
            link->resync = 1;
            link->resync_at = platform_now_ms();
            link_note_dropped(link, static_cast<uint8_t>(b));
            char text[96];
            std::snprintf(text, sizeof text, "reply line longer than %u bytes", static_cast<unsigned>(limit));
            link_set_error(LINK_ERROR_TOO_LONG, text);
            link_append_received(head, n < sizeof head ? n : sizeof head, n);
            b = -2;
        }
        if (b < 0) {
            if (b == -1 && link_last_error(nullptr, 0) == LINK_ERROR_TIMEOUT && use.ok()) {
                link->cancel_wait = 0;
                // Given up mid-line (a deadline of the front end): the rest is no reply.
                link->resync = 1;
                link->resync_at = platform_now_ms();
                link_set_error(LINK_ERROR_TIMEOUT, "gave up in the middle of the reply line");
            }
            int code = link_last_error(nullptr, 0);
            if (bad_start && (code == LINK_ERROR_STALLED || code == LINK_ERROR_TOO_LONG))
                link_fail_bad_start_dropped(first, "reply", head, n < sizeof head ? n : sizeof head, n);
            else if (b == -1)
                link_append_received(head, n < sizeof head ? n : sizeof head, n);
            if (reply && size) reply[(cut || bad_start) ? 0 : (n < keep ? n : keep)] = '\0';
            return 0;
        }
        if (n < sizeof head) head[n] = static_cast<uint8_t>(b);
        if (n < keep && !bad_start) reply[n] = static_cast<char>(b);
        ++n;
    }
    if (bad_start) return link_fail_bad_start_dropped(first, "reply", head, n < sizeof head ? n : sizeof head, n);
    if (reply && size) reply[n < keep ? n : keep] = '\0';
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
    if (!use.ok()) {
        if (reply && size) reply[0] = '\0';
        return link_fail_use(link);
    }
    int result = 0;
    {
        LockHold exchange(link->exchange_lock);
        BusyMark busy(link);
        link->dropped = 0;
        link->dropped_kept = 0;
        link_drop_stray_input(link);
        link->reply_seen_at = 0;
        if (link_send_line(link, command)) {
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

uint64_t link_reply_seen_ms(TargetLink* link) {
    LinkUse use(link);
    return use.ok() ? link->reply_seen_at : 0;
}

int link_busy(TargetLink* link) {
    LinkUse use(link);
    return use.ok() && link->busy_depth > 0 ? 1 : 0;
}
