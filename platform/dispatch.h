// The hooks through which the link waits: message dispatch, sleeping and the clock.
// A front end installs its own dispatch and idle wait; tests install a fake clock.
#pragma once

#include <cstdint>

// Runs every pending window message of this thread; 1 when at least one ran.
// Without an installed hook this dispatches nothing and returns 0.
int dispatch_pending_messages();
// Installs the dispatch hook (nullptr restores the no-op default).
void platform_set_dispatch(int (*fn)());

// Sleeps about ms milliseconds. Default: a plain thread sleep.
void platform_sleep_ms(uint32_t ms);
void platform_set_sleep(void (*fn)(uint32_t ms));

// The link's short idle wait between polls. A GUI installs one that blocks on its
// event loop with a wake-up timer, so events are handled with no extra latency.
// Default: platform_sleep_ms.
void platform_idle_wait(uint32_t ms);
void platform_set_idle_wait(void (*fn)(uint32_t ms));

// Monotonic milliseconds. Default: the steady clock.
uint64_t platform_now_ms();
void platform_set_clock(uint64_t (*fn)());
