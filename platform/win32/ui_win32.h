// What the Win32 backend shares with the program entry beyond platform/ui.h.
#pragma once

#include <windows.h>

struct UiWindow;

// Loads the program icon (icon resource 102) once; every dialog and message box with
// the program icon uses it.
void ui_win32_load_app_icon(HINSTANCE instance);
// The dialog's window, or nullptr.
HWND ui_win32_hwnd(UiWindow* dialog);
// Widens check boxes whose text does not fit, toward the side the text is on, up to
// the next control of the same row or the window's edge.
void ui_win32_fit_check_boxes(HWND dialog);
