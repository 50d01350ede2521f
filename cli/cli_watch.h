// zorvtalk-cli --watch: one CSV line per reading on standard output. It samples from
// the dispatch hook, so readings come while commands run, and it shares the link's one
// outstanding report request with everything else that asks for a report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct TargetLink;

// A requested reading that has not begun within this long is taken as lost (a
// controller that dropped the request): the next period asks again.
constexpr uint32_t CLI_READING_LOST_MS = 1000;

struct CliWatch {
    bool active = false;
    uint32_t period_ms = 0;
    long limit = 0;  // readings to print; 0: no limit
    long printed = 0;
    bool asked = false;  // a request we wait on (ours, or one we share) is outstanding
    uint64_t due = 0;    // when the next request goes out
    uint64_t asked_at = 0;
    uint64_t waiting_since = 0;  // the first request not answered since the last reading
    long missed = 0;        // readings lost in the outage under way
    long outage_ended = 0;  // readings lost in an outage that just ended, to be said; 0: none
    bool output_failed = false;  // the readings can no longer be written (a closed pipe)
    int write_error = 0;         // errno of the failed write
};

// Starts watching: prints the header line to out and asks at the first poll. A period
// of 0 is taken as 1 ms.
void cli_watch_start(CliWatch* watch, uint32_t period_ms, long limit, uint64_t now, FILE* out);
// Stops asking; a reading still outstanding is left to whoever takes it in. An
// outage under way ends here (outage_ended).
void cli_watch_stop(CliWatch* watch);
// From every dispatch: prints a reading the link has taken in since the request,
// gives up on one that has not come within CLI_READING_LOST_MS, and asks for the
// next one when due (never a second while one is outstanding). 1 once the limit of
// readings is reached, so that the caller ends its wait; else 0.
int cli_watch_poll(CliWatch* watch, TargetLink* link, uint64_t now, FILE* out);
// Ends watching with one more reading, where the commands left the machine: prints
// a reading already taken in, then asks (or shares a request still outstanding) and
// waits at most ms for the answer. 1 when that last reading was printed.
int cli_watch_last(CliWatch* watch, TargetLink* link, uint32_t ms, uint64_t now, FILE* out);
// Milliseconds until cli_watch_poll must run again; UINT32_MAX when not watching or
// when only the controller's answer is awaited (its input wakes the wait).
uint32_t cli_watch_due_in(const CliWatch* watch, uint64_t now);
// 1 once the limit of readings has been printed, or they can no longer be written.
int cli_watch_done(const CliWatch* watch);
// Milliseconds since the first request that has not been answered (lost ones
// included); 0 when none waits.
uint64_t cli_watch_waiting_ms(const CliWatch* watch, uint64_t now);
// "(no report: 3 readings in a row did not come within 1 s)" for an outage of count.
std::string cli_watch_missed_text(long count);
