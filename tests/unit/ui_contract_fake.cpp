// The ui contract on the recording fake: a dialog runs by pumping posted commands
// and timers until it ends.
#include "tests/contract/ui_cases.h"
#include "tests/unit/fake_ui.h"

int host_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc) {
    if (fake_ui().open.empty()) fake_ui_reset();  // each case starts from a clean fake
    if (tmpl)
        fake_ui().drivers[tmpl->id] = [](UiWindow* w) {
            for (int i = 0; ui_dialog_alive(w) && i < 10000; ++i) {
                fake_ui_pump();
                if (ui_dialog_alive(w)) fake_ui_fire_timers();
            }
            if (ui_dialog_alive(w)) {
                ADD_FAILURE() << "dialog did not end";
                ui_end_dialog(w, -2);
            }
        };
    return ui_run_dialog(tmpl, owner, proc);
}

int host_message_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int answer) {
    fake_ui().answers.push_back(answer);
    return ui_message_box(owner, text, caption, style, ICON_APP);
}

// The fake records pictures; it paints no pixels.
long host_canvas_pixel(UiWindow*, int, int, int) { return -1; }
