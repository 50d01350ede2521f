// Program entry on Windows: the list view class must exist before dialog 101 is
// created from its resource; the command line is not read.
#include <windows.h>
#include <commctrl.h>

#include "console/app.h"
#include "platform/stdio_guard.h"
#include "platform/ui.h"
#include "platform/win32/ui_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    stdio_guard();
    InitCommonControls();
    ui_win32_load_app_icon(instance);
    ui_init();
    return app_main();
}
