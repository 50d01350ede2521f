// Readings are taken in at the head of the input only, never in the middle of a reply:
// while a command waits its exchange takes the report in, and the monitor only looks.
#include "tools/status_monitor_sampler.h"

#include "link/link.h"

namespace {

// How soon after a request the monitor looks for its answer: a report is 19 bytes, in
// 2 ms at 115200 baud, so the reading shown is fresh rather than a period old.
constexpr uint32_t LOOK_AFTER_REQUEST_MS = 20;

bool record(MonitorSampler* sampler, TargetLink* link, uint64_t now_mono, int64_t now_wall, SampleRing* ring) {
    Sample s;
    s.mono_ms = now_mono;
    s.wall_ms = now_wall;
    // A report whose body failed leaves no values: that reading is missed.
    if (!link_report_values(link, &s.q, &s.x, &s.y, &s.z, &s.w)) return false;
    samples_add(ring, &s);
    sampler->last = s;
    sampler->have_last = true;
    return true;
}

}  // namespace

uint32_t monitor_period(int32_t configured_ms) {
    if (configured_ms == 0) return MONITOR_PERIOD_DEFAULT_MS;
    if (configured_ms < static_cast<int32_t>(MONITOR_PERIOD_MIN_MS)) return MONITOR_PERIOD_MIN_MS;
    if (configured_ms > static_cast<int32_t>(MONITOR_PERIOD_MAX_MS)) return MONITOR_PERIOD_MAX_MS;
    return static_cast<uint32_t>(configured_ms);
}

void monitor_sampler_init(MonitorSampler* sampler, uint32_t period_ms) {
    *sampler = MonitorSampler();
    sampler->period_ms = period_ms ? period_ms : MONITOR_PERIOD_DEFAULT_MS;
}

void monitor_link_closed(MonitorSampler* sampler) {
    sampler->state = MONITOR_NOT_CONNECTED;
    sampler->asked = false;
}

int monitor_sample(MonitorSampler* sampler, TargetLink* link, int exchanges, uint64_t now_mono, int64_t now_wall,
                   SampleRing* ring) {
    if (!sampler) return 0;
    // A closed link is freed at once: only an open one is asked anything.
    if (!link) {
        monitor_link_closed(sampler);
        return 0;
    }
    if (sampler->state == MONITOR_NOT_CONNECTED) {
        sampler->state = MONITOR_NO_REPORT;
        sampler->due = now_mono;
    }
    int added = 0;
    if (sampler->asked) {
        // With nothing waiting on the link, a report at the head is ours to take in: no
        // exchange will come to do it. Inside a wait the wait takes it.
        if (link_report_outstanding(link) && !link_busy(link)) link_take_report(link);
        if (!link_report_outstanding(link)) {
            sampler->asked = false;
            added = record(sampler, link, now_mono, now_wall, ring) ? 1 : 0;
            sampler->state = added ? MONITOR_LIVE : MONITOR_NO_REPORT;
        } else if (now_mono - sampler->asked_at >= MONITOR_REPORT_LOST_MS) {
            // Kept outstanding, it would stop every later reading (and the report box).
            link_forget_report(link);
            sampler->asked = false;
            sampler->state = MONITOR_NO_REPORT;
        }
    }
    // A pin transaction under way reads the controller's next bytes as its reply; a
    // command's wait takes a report in wherever it begins.
    bool may_ask = !link_busy(link) || exchanges > 0;
    if (!sampler->asked && now_mono >= sampler->due && may_ask) {
        // Outstanding already (the report box): that answer serves us too.
        bool idle = !link_busy(link) && !link_report_outstanding(link);
        if (link_request_report(link)) {
            // Asked with nothing waiting, the request dropped what answered nothing.
            sampler->dropped_to_say = idle;
            sampler->asked = true;
            sampler->asked_at = now_mono;
        }
        // A slow answer delays the readings; it never makes them come in a burst.
        sampler->due += sampler->period_ms;
        if (sampler->due <= now_mono) sampler->due = now_mono + sampler->period_ms;
    }
    return added;
}

uint32_t monitor_next_look_ms(const MonitorSampler* sampler, uint64_t now_mono) {
    if (!sampler) return MONITOR_PERIOD_DEFAULT_MS;
    if (sampler->asked) return LOOK_AFTER_REQUEST_MS;
    if (sampler->state == MONITOR_NOT_CONNECTED) return sampler->period_ms;
    return sampler->due > now_mono ? static_cast<uint32_t>(sampler->due - now_mono) : 1;
}
