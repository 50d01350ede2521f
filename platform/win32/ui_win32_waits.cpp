// The link's dispatch and event-wait hooks on the message queue: what is pending runs
// at once, and a wait sleeps in the kernel until the port's event, a message or the
// deadline, never spinning.
#include "platform/ui.h"

#include <windows.h>

#include <cstdint>

#include "platform/dispatch.h"
#include "platform/win32/ui_win32_internal.h"
#include "platform/win32/ui_win32.h"

using namespace win32_backend;

namespace {

// A message dispatched here may run an event loop of its own (a context menu, the
// window menu, a message box, the Save dialog), and the link's wait below it is held
// up until that loop ends. Those loops dispatch thread timers too: while a dispatch
// runs, one runs the link's look every few milliseconds, so a reply that comes
// meanwhile is noticed when it comes.
constexpr UINT LOOK_EVERY_MS = 10;
int g_dispatch_depth = 0;
UINT_PTR g_look_timer = 0;

void CALLBACK look_now(HWND, UINT, UINT_PTR, DWORD) { platform_look(); }

int win32_dispatch() {
    MSG msg;
    int any = 0;
    bool outermost = g_dispatch_depth++ == 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to consume: leave it for the outermost loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        any = 1;
        if (window_menu_key(&msg) || window_dialog_message(&msg)) continue;
        if (outermost && !g_look_timer) g_look_timer = SetTimer(nullptr, 0, LOOK_EVERY_MS, look_now);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (outermost && g_look_timer) {
        KillTimer(nullptr, g_look_timer);
        g_look_timer = 0;
    }
    --g_dispatch_depth;
    return any;
}

// The link's event wait: sleeps in the kernel until the port's event is set, a
// message for this thread arrives (input, a timer, a posted message) or ms pass. The
// messages stay queued for the dispatch that follows.
void win32_wait(intptr_t handle, uint32_t ms) {
    HANDLE h = reinterpret_cast<HANDLE>(handle);
    MsgWaitForMultipleObjectsEx(handle == PLATFORM_NO_HANDLE ? 0 : 1, &h, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace

void ui_init() {
    ui_win32_load_app_icon(GetModuleHandleA(nullptr));
    register_canvas_class();
    platform_set_dispatch(win32_dispatch);
    platform_set_wait(win32_wait);
    static HHOOK filter = SetWindowsHookExA(WH_MSGFILTER, message_filter, nullptr, GetCurrentThreadId());
    (void)filter;
}
