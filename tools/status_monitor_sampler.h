// The status monitor's sampling, window-free: when to ask the controller for a report,
// who takes it in, and when to give up on one, with the clock handed in.
#pragma once

#include <cstdint>

#include "common/samples.h"

struct TargetLink;

// [Monitor] PeriodMs: how often a reading is asked for, and its bounds.
constexpr uint32_t MONITOR_PERIOD_DEFAULT_MS = 200, MONITOR_PERIOD_MIN_MS = 50, MONITOR_PERIOD_MAX_MS = 5000;
// A requested report that has not come within this long is given up (a controller that
// dropped the request), so that sampling goes on.
constexpr uint32_t MONITOR_REPORT_LOST_MS = 1000;

// What the monitor shows besides the values.
enum MonitorLinkState {
    MONITOR_NOT_CONNECTED,  // no link
    MONITOR_NO_REPORT,      // connected, but the last request brought no reading (or none came yet)
    MONITOR_LIVE,           // the last request brought a reading
};

struct MonitorSampler {
    uint32_t period_ms = MONITOR_PERIOD_DEFAULT_MS;
    MonitorLinkState state = MONITOR_NOT_CONNECTED;
    bool asked = false;     // a request we wait on (ours, or one we share) is outstanding
    uint64_t asked_at = 0;  // mono ms
    uint64_t due = 0;       // when the next request goes out
    bool have_last = false;
    Sample last;  // the newest reading, kept (and shown greyed) when it is no longer current
    // The last request went out with nothing waiting, so it dropped any input that answered
    // nothing (link_dropped_input): the window says so in the log, then clears this.
    bool dropped_to_say = false;
};

// The period for a [Monitor] PeriodMs value: 0 (missing, not a number) gives the
// default, others are clamped to MONITOR_PERIOD_MIN_MS..MONITOR_PERIOD_MAX_MS.
uint32_t monitor_period(int32_t configured_ms);

// Starts afresh (not connected, nothing asked), sampling every period_ms.
void monitor_sampler_init(MonitorSampler* sampler, uint32_t period_ms);

// One look, from the window's timer (also inside a command's wait). link is the session's
// link, null while not connected; exchanges is the count of command exchanges waiting on
// it. Takes in a reading a command's wait (or the report box) has taken in since our
// request; while nothing waits on the link, takes in a report whose introducer is at the
// head of the input, never waiting for one; gives up on a request older than
// MONITOR_REPORT_LOST_MS; asks for the next reading when due and none is outstanding (a
// request already outstanding is shared). now_mono orders readings, now_wall stamps
// them. 1 when a reading was added to ring (and to sampler->last); 0 otherwise.
int monitor_sample(MonitorSampler* sampler, TargetLink* link, int exchanges, uint64_t now_mono, int64_t now_wall,
                   SampleRing* ring);

// The link went away (Disconnect, a lost port): not connected at once, nothing asked.
void monitor_link_closed(MonitorSampler* sampler);

// Milliseconds the window's timer should wait before the next monitor_sample: a short
// look while a report is awaited, else until the next request is due.
uint32_t monitor_next_look_ms(const MonitorSampler* sampler, uint64_t now_mono);
