// Control bytes, and the binary status report that answers CTRL_REPORT.
#include <cstdio>

#include "link/link_internal.h"
#include "platform/dispatch.h"

namespace {

int32_t le32(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    return static_cast<int32_t>(v);
}

void set_sentinels(int16_t* q, int32_t* x, int32_t* y, int32_t* z, int32_t* w) {
    if (q) *q = REPORT_NO_Q;
    if (x) *x = REPORT_NO_VALUE;
    if (y) *y = REPORT_NO_VALUE;
    if (z) *z = REPORT_NO_VALUE;
    if (w) *w = REPORT_NO_VALUE;
}

}  // namespace

void link_decode_report(const uint8_t body[18], int16_t* q, int32_t* x, int32_t* y, int32_t* z, int32_t* w) {
    if (!body) return;
    if (q) *q = static_cast<int16_t>(static_cast<uint16_t>(body[0] | body[1] << 8));
    if (x) *x = le32(body + 2);
    if (y) *y = le32(body + 6);
    if (z) *z = le32(body + 10);
    if (w) *w = le32(body + 14);
}

namespace {

// The health check in front of a control byte. A line error it finds while an
// exchange or report owns the input stays for that owner: a Stop pressed during a
// wait must not make the reply that was hit by the error look whole.
int control_health(TargetLink* link, bool owned) {
    if (link_healthy(link)) return 1;
    if (owned && link_last_error(nullptr, 0) == LINK_ERROR_LINE) link->held_errors = 1;
    return 0;
}

// 1 when the request went out, waits for a line's end, or was already outstanding.
int request_report(TargetLink* link, bool owned) {
    LinkUse use(link);
    if (link->report_requested || link->report_deferred) return 1;
    if (!owned) {
        // Nobody waits for input: what is there answered nothing, and would otherwise
        // stand before the report (a stray 0x12 read as its introducer, a late echo).
        link_reset_dropped(link);
        if (!link_drop_stray_input(link)) return 0;
        if (link->report_requested || link->report_deferred) return 1;  // a handler asked meanwhile
    }
    {
        LockHold io(link->io_lock);
        link->report_valid = 0;
        if (owned && (link->line_open || (link->peeked >= 0 && link->peeked != CTRL_REPORT))) {
            // A report now would land inside the reply line coming in.
            link->report_deferred = 1;
            return 1;
        }
        uint8_t byte = CTRL_REPORT;
        uint32_t written = 0;
        if (!link_write(link, &byte, 1, &written) || written != 1) return link_fail_on_port(link, LINK_ERROR_WRITE);
        link->report_requested = 1;
    }
    link_idle(1);
    return 1;
}

}  // namespace

int link_send_deferred_report(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok() || !link->report_deferred) return 1;
    LockHold io(link->io_lock);
    link->report_deferred = 0;
    uint8_t byte = CTRL_REPORT;
    uint32_t written = 0;
    if (!link_write(link, &byte, 1, &written) || written != 1) return 0;
    link->report_requested = 1;
    return 1;
}

int link_send_control(TargetLink* link, uint8_t byte) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    const bool owned = link->owned > 0 || link->busy_depth > 0;
    if (!control_health(link, owned)) return 0;
    if (byte == CTRL_REPORT) return request_report(link, owned);
    LockHold io(link->io_lock);
    uint32_t written = 0;
    return link_write(link, &byte, 1, &written) && written == 1 ? 1 : link_fail_on_port(link, LINK_ERROR_WRITE);
}

int link_stop(TargetLink* link) { return link_send_control(link, CTRL_STOP); }
int link_pause(TargetLink* link) { return link_send_control(link, CTRL_PAUSE); }
int link_continue(TargetLink* link) { return link_send_control(link, CTRL_CONTINUE); }
int link_request_report(TargetLink* link) { return link_send_control(link, CTRL_REPORT); }

namespace {

// Takes in a requested report at the head of the input; each body byte is awaited
// at most byte_timeout_ms, with the window live.
int take_report(TargetLink* link, uint32_t byte_timeout_ms) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    LockHold io(link->io_lock);
    if (!link->report_requested || link_peek(link) != CTRL_REPORT) return link->report_valid;
    uint8_t b = 0;
    uint32_t delivered = 0;
    if (!link_read(link, &b, 1, &delivered) || delivered != 1) {
        link->report_requested = 0;
        link->report_valid = 0;
        return 0;
    }
    return link_report_body(link, byte_timeout_ms);
}

// A query cannot wait for a request that waits for the end of the reply line coming
// in: that line goes on only once the query has returned.
int report_not_coming(TargetLink* link) {
    if (link->report_deferred)
        link_set_error(LINK_ERROR_TIMEOUT, "a reply line is coming in; the report is asked for at its end");
    return 0;
}

int fetch_report(TargetLink* link, uint32_t byte_timeout_ms, int16_t* q, int32_t* x, int32_t* y, int32_t* z,
                 int32_t* w) {
    set_sentinels(q, x, y, z, w);
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    if (!take_report(link, byte_timeout_ms)) return 0;
    return link_report_values(link, q, x, y, z, w);
}

}  // namespace

int link_report_body(TargetLink* link, uint32_t byte_timeout_ms) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    LockHold io(link->io_lock);
    OwnInput own(link);
    // The body is awaited like the rest of a line that has begun: bounded, and
    // failing at once on a link error; buttons stay live meanwhile.
    bool ok = link_healthy(link) != 0;
    for (int i = 0; ok && i < 18; ++i) {
        int v = link_read_line_byte(link, true, byte_timeout_ms);
        if (v < 0) {
            ok = false;
            break;
        }
        link->report_bytes[i] = static_cast<uint8_t>(v);
    }
    if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
    if (ok) link_decode_report(link->report_bytes, &link->q, &link->x, &link->y, &link->z, &link->w);
    link->report_requested = 0;
    link->report_valid = ok ? 1 : 0;
    return link->report_valid;
}

int link_take_report(TargetLink* link) { return take_report(link, LINE_BYTE_TIMEOUT_MS); }

int link_fetch_report(TargetLink* link, int16_t* q, int32_t* x, int32_t* y, int32_t* z, int32_t* w) {
    return fetch_report(link, LINE_BYTE_TIMEOUT_MS, q, x, y, z, w);
}

int link_query_report(TargetLink* link, int16_t* q, int32_t* x, int32_t* y, int32_t* z, int32_t* w) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    LockHold report(link->report_lock);
    if (!link_request_report(link)) return 0;
    for (;;) {
        if (link_fetch_report(link, q, x, y, z, w)) return 1;
        if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
        // A report that began and then failed will not come again; its input is
        // still queued, so waiting for more would return at once, again and again.
        if (!link->report_requested) return report_not_coming(link);
        if (!link_healthy(link)) return 0;
        link_wait(link, PLATFORM_WAIT_FOREVER);
        if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
    }
}

int link_query_report_within(TargetLink* link, uint32_t ms, int16_t* q, int32_t* x, int32_t* y, int32_t* z,
                             int32_t* w) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    LockHold report(link->report_lock);
    if (!link_request_report(link)) return 0;
    uint32_t byte_timeout = ms < LINE_BYTE_TIMEOUT_MS ? ms : LINE_BYTE_TIMEOUT_MS;
    uint64_t start = platform_now_ms();
    for (;;) {
        if (fetch_report(link, byte_timeout, q, x, y, z, w)) return 1;
        if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
        // A report that began and then failed will not come again.
        if (!link->report_requested) return report_not_coming(link);
        if (!link_healthy(link)) return 0;
        int head;
        {
            LockHold io(link->io_lock);
            head = link_peek(link);
            // The end of a CR LF line or noise stands before nothing.
            while (head == 0x0A || head == 0x00) {
                uint8_t b = 0;
                uint32_t delivered = 0;
                if (!link_read(link, &b, 1, &delivered)) break;
                head = link_peek(link);
            }
        }
        if (head == CTRL_REPORT) continue;
        // Something else stands before the report (a reply, a stray byte, the LF of a
        // CR LF controller): the report cannot be reached now. The request stays
        // outstanding, so the next exchange still takes the report in.
        if (head >= 0 && head != CTRL_REPORT) return link_fail_bad_start(head, "input");
        uint64_t waited = platform_now_ms() - start;
        if (waited >= ms) {
            char text[64];
            std::snprintf(text, sizeof text, "no report within %u ms", static_cast<unsigned>(ms));
            link_set_error(LINK_ERROR_TIMEOUT, text);
            return 0;
        }
        link_wait(link, static_cast<uint32_t>(ms - waited));
        if (!use.ok()) return link_fail(LINK_ERROR_DISCONNECTED);
    }
}

int link_report_outstanding(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return 0;
    LockHold io(link->io_lock);
    return link->report_requested || link->report_deferred ? 1 : 0;
}

int link_forget_report(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return 0;
    LockHold io(link->io_lock);
    int was = link->report_requested ? 1 : 0;
    link->report_requested = 0;
    return was;
}

int link_report_values(TargetLink* link, int16_t* q, int32_t* x, int32_t* y, int32_t* z, int32_t* w) {
    set_sentinels(q, x, y, z, w);
    LinkUse use(link);
    if (!use.ok()) return 0;
    LockHold io(link->io_lock);
    if (!link->report_valid) return 0;
    if (q) *q = link->q;
    if (x) *x = link->x;
    if (y) *y = link->y;
    if (z) *z = link->z;
    if (w) *w = link->w;
    return 1;
}
