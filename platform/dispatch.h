// The hooks through which the link waits: message dispatch, the event wait, sleeping
// and the clock. A front end installs its own dispatch and event wait; tests install
// a fake clock.
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

// No deadline: the wait ends on input or a window event only.
constexpr uint32_t PLATFORM_WAIT_FOREVER = UINT32_MAX;
// What a wait watches besides window events: the port's system handle (a file
// descriptor on POSIX, readable on input or hang-up; an event handle on Windows,
// signalled on input or a line event), or PLATFORM_NO_HANDLE.
constexpr intptr_t PLATFORM_NO_HANDLE = -1;

// The front end's event wait: blocks in its event loop until the handle is ready, a
// window event arrives (the loop may run it at once), or ms pass, whichever comes
// first. May return early. A front end installs one so that the link sleeps in the
// kernel while the window stays live; nullptr removes it.
using PlatformWait = void (*)(intptr_t handle, uint32_t ms);
void platform_set_wait(PlatformWait fn);
// The installed event wait, or nullptr: then the link waits on the port alone.
PlatformWait platform_wait_hook();

// For a front end without an event loop (the command-line runner): how long a wait
// may sleep before the dispatch hook must run again for the front end's own
// deadlines. Without the hook, or when it answers PLATFORM_WAIT_FOREVER, a wait
// sleeps until something happens.
void platform_set_wait_limit(uint32_t (*fn)());
uint32_t platform_wait_limit();

// A short wait for window events only: the event wait without a handle, or a plain
// sleep, bounded by the wait limit, when no front end installed one.
void platform_idle_wait(uint32_t ms);

// A look at the port from event loops that nest inside a dispatch (a menu, a message
// box, a file dialog each run their own): the link installs one while it waits for a
// reply, so input that comes meanwhile is noticed when it comes, not when the loop
// ends. A front end whose nested loops hold the link's wait up calls platform_look()
// from them now and then. Installing returns the previous look, to put back after.
struct PlatformLook {
    void (*fn)(void* context) = nullptr;
    void* context = nullptr;
};
PlatformLook platform_set_look(PlatformLook look);
// Runs the installed look; 1 when there was one.
int platform_look();

// Monotonic milliseconds. Default: the steady clock.
uint64_t platform_now_ms();
void platform_set_clock(uint64_t (*fn)());
