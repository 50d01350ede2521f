// The ui contract on real Win32 dialogs, under Wine: the dialogs come from the
// program's own resources, linked in.
#include "tests/contract/ui_cases.h"

int host_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc) {
    return ui_run_watched(tmpl, owner, proc);
}

int main(int argc, char** argv) {
    ui_init();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
