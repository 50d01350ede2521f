// The ui contract on real Win32 dialogs, under Wine: the dialogs come from the
// program's own resources, linked in.
#include "tests/contract/ui_cases.h"

#include <windows.h>

#include <thread>

#include "platform/win32/ui_win32.h"

int host_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc) {
    return ui_run_watched(tmpl, owner, proc);
}

// Presses the button from another thread once the box is up, as a click would.
int host_message_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int answer) {
    std::thread clicker([caption, answer] {
        for (int i = 0; i < 1000; ++i) {
            HWND box = FindWindowA("#32770", caption);
            DWORD pid = 0;
            if (box) GetWindowThreadProcessId(box, &pid);
            if (box && pid == GetCurrentProcessId() && IsWindowVisible(box)) {
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
                return;
            }
            Sleep(10);
        }
        ADD_FAILURE() << "no message box";
    });
    int got = ui_message_box(owner, text, caption, style, ICON_APP);
    clicker.join();
    return got;
}

// The canvas paints itself into a bitmap on request, as it paints the screen.
long host_canvas_pixel(UiWindow* dialog, int id, int x, int y) {
    HWND canvas = dialog ? GetDlgItem(ui_win32_hwnd(dialog), id) : nullptr;
    RECT r;
    if (!canvas || !GetClientRect(canvas, &r) || x < 0 || y < 0 || x >= r.right || y >= r.bottom) return -1;
    HDC screen = GetDC(canvas), dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right, r.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageA(canvas, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(canvas, screen);
    if (c == CLR_INVALID) return -1;
    return static_cast<long>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
}

int main(int argc, char** argv) {
    ui_init();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
