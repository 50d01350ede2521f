// What every backend of platform/ui.h must do alike, written once (ui_cases.cpp) and
// run on the recording fake, on Qt (offscreen) and on Win32 (under Wine). Each host
// supplies only how a dialog runs until it ends (tests/unit/ui_contract_fake.cpp,
// tests/gui/qt_backend_test.cpp, tests/wine/ui_contract_wine.cpp).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/ui.h"

// --- the host part ----------------------------------------------------------------
// Runs the dialog as ui_run_dialog does, with events flowing (posted commands, timers)
// until it ends; a dialog that never ends fails the test instead of hanging it.
int host_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc);
// Calls ui_message_box and, while the box is open, answers it as the operator would
// by pressing the button that gives answer; returns what ui_message_box returned.
int host_message_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int answer);
// The colour (0xRRGGBB) a canvas shows at a pixel once painted, or -1 where the host
// cannot look.
long host_canvas_pixel(UiWindow* dialog, int id, int x, int y);

// For hosts whose timers keep time (the real backends): ui_run_dialog with a 20 s
// watchdog timer that fails and ends a dialog that hangs.
int ui_run_watched(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc);

// --- what the case files share (ui_cases.cpp) --------------------------------------
namespace ui_contract {

// One dialog run: hooks called from the dialog procedure, and a body that runs once
// the dialog's events flow (from a posted command). The dialog ends after the body
// unless it ended already.
struct Script {
    std::function<void(UiWindow*)> on_init;
    std::function<void(UiWindow*)> body;
    std::function<void(UiWindow*, const UiMessage&)> on_message;
    std::vector<UiMessage> log;
    bool end_after_body = true;
};

// The dialog procedure of run: logs, calls the hooks, and on the main dialog posts the
// body's command after UI_INIT.
void script_proc(UiWindow* w, const UiMessage* m);
// Runs tmpl on the host with s; the dialog's result.
int run(const DialogTemplate& tmpl, Script& s);
int count_of(const std::vector<UiMessage>& log, UiMessageKind kind, int id);
// Waits like the link does, handing events on, until the dialog has ended.
void wait_for_end(UiWindow* w);

}  // namespace ui_contract
