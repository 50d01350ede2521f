// The bounded wait of zorvtalk-cli: the link's waits call the dispatch hook installed
// here, which ends them on --timeout or Ctrl+C (a command is stopped first and its
// reply given a grace; the reset of a connect is cancelled), keeps the progress line fresh and samples --watch
// readings. Everything runs on the one thread.
#pragma once

#include <cstdint>

struct CliOutput;
struct CliWatch;
struct TargetLink;

// After a stop, the stopped command's reply gets this long before the wait gives up.
constexpr uint64_t CLI_STOP_GRACE_MS = 2000;

// One wait for the controller's answer: its bound and what happened during it.
struct CliWait {
    bool active = false;
    bool command = false;  // a command runs on the controller: stop it before giving up
    uint64_t start = 0;
    uint32_t limit_ms = 0;  // 0: no limit
    int interrupts = 0;     // interrupt requests already acted on
    bool timed_out = false, interrupted = false, stop_sent = false, cancelled = false;
    uint64_t stop_at = 0;
};

// What the hook looks at. The caller owns it and the objects it points to, which
// must outlive cli_wait_install .. cli_wait_remove.
struct CliWaiter {
    TargetLink* link = nullptr;  // null until connected
    bool connecting = false;     // link_connect under way: an interrupt cancels it
    CliOutput* out = nullptr;
    CliWatch* watch = nullptr;
    CliWait wait;
    // Watching with no command: a reading due longer than watch_timeout_ms (0: no
    // limit) ends the wait and sets watch_late; the last reading ends it too.
    bool watch_alone = false, watch_late = false;
    uint32_t watch_timeout_ms = 0;
};

// Installs the dispatch hook and the wait limit for w; cli_wait_remove takes both out.
void cli_wait_install(CliWaiter* w);
void cli_wait_remove();

// Starts a wait: command says a command runs (a time-out or Ctrl+C stops it first);
// limit_ms 0 waits without a time-out.
void cli_wait_begin(CliWaiter* w, bool command, uint32_t limit_ms);
// Ends the wait and returns how it went.
CliWait cli_wait_end(CliWaiter* w);
// Says on stderr, once, how many readings an outage of --watch that has ended lost.
void cli_wait_say_watch(CliWaiter* w);
