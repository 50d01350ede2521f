// Default hooks: no message loop, no event wait, real sleeping, the steady clock.
#include "platform/dispatch.h"

#include <chrono>
#include <thread>

namespace {

int no_dispatch() { return 0; }

void real_sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint64_t steady_ms() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

int (*g_dispatch)() = no_dispatch;
void (*g_sleep)(uint32_t) = real_sleep;
PlatformWait g_wait = nullptr;
uint32_t (*g_wait_limit)() = nullptr;
uint64_t (*g_clock)() = steady_ms;
PlatformLook g_look;

}  // namespace

int dispatch_pending_messages() { return g_dispatch(); }
void platform_set_dispatch(int (*fn)()) { g_dispatch = fn ? fn : no_dispatch; }

void platform_sleep_ms(uint32_t ms) { g_sleep(ms); }
void platform_set_sleep(void (*fn)(uint32_t)) { g_sleep = fn ? fn : real_sleep; }

void platform_set_wait(PlatformWait fn) { g_wait = fn; }
PlatformWait platform_wait_hook() { return g_wait; }

void platform_set_wait_limit(uint32_t (*fn)()) { g_wait_limit = fn; }
uint32_t platform_wait_limit() { return g_wait_limit ? g_wait_limit() : PLATFORM_WAIT_FOREVER; }

void platform_idle_wait(uint32_t ms) {
    if (g_wait) {
        g_wait(PLATFORM_NO_HANDLE, ms);
        return;
    }
    // Nothing would end this sleep early: a front end's own deadlines (an interrupt's
    // look) bound it.
    uint32_t limit = platform_wait_limit();
    if (ms > limit) ms = limit;
    g_sleep(ms == PLATFORM_WAIT_FOREVER ? 1000 : ms);
}

PlatformLook platform_set_look(PlatformLook look) {
    PlatformLook old = g_look;
    g_look = look;
    return old;
}

int platform_look() {
    if (!g_look.fn) return 0;
    g_look.fn(g_look.context);
    return 1;
}

uint64_t platform_now_ms() { return g_clock(); }
void platform_set_clock(uint64_t (*fn)()) { g_clock = fn ? fn : steady_ms; }
