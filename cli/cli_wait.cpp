// The run's deadlines inside the link's waits. The hook only looks at flags and
// sends control bytes; the waiting link operation itself ends the wait.
#include "cli/cli_wait.h"

#include <cstdio>

#include "cli/cli_output.h"
#include "cli/cli_watch.h"
#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/terminal.h"

namespace {

CliWaiter* g_waiter = nullptr;

void cancel_wait(CliWaiter& r) {
    link_cancel_wait(r.link);
    r.wait.cancelled = true;
}

void send_stop(CliWaiter& r, uint64_t now) {
    r.wait.stop_sent = true;
    r.wait.stop_at = now;
    if (!link_stop(r.link)) cancel_wait(r);
}

// Runs inside every wait of the link.
// The link's waits sleep in the kernel until the controller answers; the run's own
// deadlines wake them for cli_dispatch: the time-out, the stop's grace, the
// progress line, and a look for Ctrl+C (on Windows its handler runs on a thread
// of its own and does not end a wait; on POSIX the signal does).
constexpr uint64_t INTERRUPT_LOOK_MS = 100;

int cli_dispatch() {
    static bool inside = false;
    if (inside || !g_waiter) return 0;
    inside = true;  // link_stop may wait, and so call us again
    CliWaiter& r = *g_waiter;
    CliWait& w = r.wait;
    uint64_t now = platform_now_ms();
    // An operator who gives up during the reset wants no greeting sent after it.
    if (r.connecting && terminal_interrupt_count() > 0) link_cancel_connect();
    if (w.active && !w.cancelled) {
        // A reader of our output that left while a command runs ends the run as the
        // SIGPIPE of a write would: looked at as often as for Ctrl+C, not per wake-up.
        static uint64_t output_looked_at = 0;
        if (now - output_looked_at >= INTERRUPT_LOOK_MS) {
            output_looked_at = now;
            terminal_output_gone(1);
        }
        int requests = terminal_interrupt_count();
        if (requests > 0 && !w.interrupted) {
            w.interrupted = true;
            w.interrupts = requests;
            if (w.command && !w.stop_sent)
                send_stop(r, now);
            else
                cancel_wait(r);
        } else if (w.interrupted && requests > w.interrupts) {
            cancel_wait(r);  // asked again: do not sit out the stopped command's reply
        }
        if (!w.cancelled && !w.interrupted && !w.timed_out && w.limit_ms && now - w.start >= w.limit_ms) {
            w.timed_out = true;
            if (w.command)
                send_stop(r, now);
            else
                cancel_wait(r);
        }
        if (!w.cancelled && w.stop_sent && now - w.stop_at >= CLI_STOP_GRACE_MS) cancel_wait(r);
    }
    if (r.watch->active && r.link) {
        if (cli_watch_poll(r.watch, r.link, now, stdout) && r.watch_alone && w.active && !w.cancelled)
            cancel_wait(r);
        cli_wait_say_watch(&r);
        if (r.watch_alone && r.watch_timeout_ms && w.active && !w.cancelled &&
            cli_watch_waiting_ms(r.watch, now) >= r.watch_timeout_ms) {
            r.watch_late = true;
            cancel_wait(r);
        }
    }
    if (r.out->progress && now - r.out->drawn_at >= CLI_PROGRESS_EVERY_MS) cli_progress_draw(r.out, now);
    inside = false;
    return 0;
}


uint32_t cli_wait_limit() {
    if (!g_waiter) return PLATFORM_WAIT_FOREVER;
    const CliWaiter& r = *g_waiter;
    const CliWait& w = r.wait;
    uint64_t now = platform_now_ms(), due = INTERRUPT_LOOK_MS;
    auto sooner = [&](uint64_t at) {
        uint64_t left = at > now ? at - now : 0;
        if (left < due) due = left;
    };
    if (w.active && !w.cancelled) {
        if (w.limit_ms && !w.timed_out && !w.interrupted) sooner(w.start + w.limit_ms);
        if (w.stop_sent) sooner(w.stop_at + CLI_STOP_GRACE_MS);
    }
    if (r.out->progress) sooner(r.out->drawn_at + CLI_PROGRESS_EVERY_MS);
    if (r.watch->active) {
        uint32_t watch_due = cli_watch_due_in(r.watch, now);
        if (watch_due < due) due = watch_due;
        if (r.watch_alone && r.watch_timeout_ms && (r.watch->asked || r.watch->missed))
            sooner(r.watch->waiting_since + r.watch_timeout_ms);
    }
    return static_cast<uint32_t>(due);
}

}  // namespace

void cli_wait_say_watch(CliWaiter* r) {
    if (!r->watch->outage_ended) return;
    cli_emit(r->out, stderr, nullptr, cli_watch_missed_text(r->watch->outage_ended).c_str());
    r->watch->outage_ended = 0;
}

void cli_wait_install(CliWaiter* w) {
    g_waiter = w;
    platform_set_dispatch(cli_dispatch);
    platform_set_wait_limit(cli_wait_limit);
}

void cli_wait_remove() {
    platform_set_dispatch(nullptr);
    platform_set_wait_limit(nullptr);
    g_waiter = nullptr;
}

void cli_wait_begin(CliWaiter* r, bool command, uint32_t limit_ms) {
    CliWait w;
    w.active = true;
    w.command = command;
    w.start = platform_now_ms();
    w.limit_ms = limit_ms;
    r->wait = w;
}

CliWait cli_wait_end(CliWaiter* r) {
    CliWait w = r->wait;
    r->wait.active = false;
    return w;
}
