// One command line out, one reply line back; the wait for the reply dispatches
// window messages so that control bytes can go out meanwhile.
#include <cstring>

#include "link/link_internal.h"

namespace {

constexpr uint32_t FAST_POLLS = 1000;
constexpr uint32_t REPLY_CHARS = 255;

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
    if (count > 0) {
        if (!link_write(link, reinterpret_cast<const uint8_t*>(text), count, &written) || written != count)
            return link_fail_on_port(link, LINK_ERROR_WRITE);
    }
    const uint8_t cr = 0x0D;
    written = 0;
    return link_write(link, &cr, 1, &written) && written == 1 ? 1 : link_fail_on_port(link, LINK_ERROR_WRITE);
}

int link_await_reply(TargetLink* link) {
    LinkUse use(link);
    if (!use.ok()) return link_fail_use(link);
    uint32_t fast_polls = FAST_POLLS;
    link->cancel_wait = 0;
    for (;;) {
        link_take_report(link);
        int b;
        {
            LockHold io(link->io_lock);
            b = link_peek(link);
        }
        if (b != -1 && b != CTRL_REPORT) return 1;
        if (!link_healthy(link)) return 0;
        if (fast_polls > 0) {
            link_idle(0);
            --fast_polls;
        } else {
            link_idle(1);
        }
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

int link_read_reply(TargetLink* link, char* reply) {
    LinkUse use(link);
    if (reply) reply[0] = '\0';
    if (!use.ok()) return link_fail_use(link);
    LockHold io(link->io_lock);
    int first = link_peek(link);
    if (first < 0) return link_fail_on_port(link);
    if (first != 0x0D && first <= 0x20) return link_fail_bad_start(first, "reply");
    uint32_t n = 0;
    for (;;) {
        int b = link_read_line_byte(link);
        if (b < 0) {
            if (reply) reply[0] = '\0';
            return 0;
        }
        if (b == 0x0D) break;
        // Past 255 characters the rest of the line is consumed and dropped.
        if (n < REPLY_CHARS) {
            if (reply) reply[n] = static_cast<char>(b);
            ++n;
        }
    }
    if (reply) reply[n] = '\0';
    return 1;
}

int link_exchange(TargetLink* link, const char* command, char* reply) {
    LinkUse use(link);
    if (!use.ok()) {
        if (reply) reply[0] = '\0';
        return link_fail_use(link);
    }
    int result = 0;
    {
        LockHold exchange(link->exchange_lock);
        BusyMark busy(link);
        if (link_send_line(link, command) && link_await_reply(link)) result = link_read_reply(link, reply);
    }
    if (!result && reply) reply[0] = '\0';
    return result;
}

int link_busy(TargetLink* link) {
    LinkUse use(link);
    return use.ok() && link->busy_depth > 0 ? 1 : 0;
}
