// Check boxes sized from their text: a system font wider than the one the templates
// were laid out for (Wine's stand-in for Tahoma) must not cut a pin's label.
#include <windows.h>

#include <vector>

#include "platform/win32/ui_win32.h"

namespace {

bool is_check_box(HWND h) {
    char cls[16] = "";
    GetClassNameA(h, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") != 0) return false;
    LONG type = GetWindowLongA(h, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
}

RECT rect_in(HWND dialog, HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The width the text and the box need, in pixels.
int needed_width(HWND h) {
    char text[128] = "";
    int n = GetWindowTextA(h, text, sizeof text);
    HDC dc = GetDC(h);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(h, WM_GETFONT, 0, 0)));
    SIZE size{0, 0};
    GetTextExtentPoint32A(dc, text, n, &size);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    // The box, the gap after it, and room for the focus rectangle.
    return size.cx + GetSystemMetrics(SM_CXMENUCHECK) + tm.tmAveCharWidth + 4;
}

}  // namespace

void ui_win32_fit_check_boxes(HWND dialog) {
    std::vector<HWND> children;
    for (HWND h = GetWindow(dialog, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) children.push_back(h);
    RECT client;
    GetClientRect(dialog, &client);
    for (HWND h : children) {
        if (!is_check_box(h)) continue;
        RECT r = rect_in(dialog, h);
        int need = needed_width(h) - (r.right - r.left);
        if (need <= 0) continue;
        // Text left of the box grows to the left, so the boxes stay in their column;
        // never into a control on the same row, nor past the window's edge.
        bool leftward = (GetWindowLongA(h, GWL_STYLE) & BS_LEFTTEXT) != 0;
        int limit = leftward ? client.left : client.right;
        for (HWND other : children) {
            if (other == h || !IsWindowVisible(other)) continue;
            RECT o = rect_in(dialog, other);
            if (o.bottom <= r.top || o.top >= r.bottom) continue;
            if (leftward && o.right <= r.left && o.right > limit) limit = o.right + 2;
            if (!leftward && o.left >= r.right && o.left < limit) limit = o.left - 2;
        }
        if (leftward) {
            int left = r.left - need < limit ? limit : r.left - need;
            MoveWindow(h, left, r.top, r.right - left, r.bottom - r.top, FALSE);
        } else {
            int right = r.right + need > limit ? limit : r.right + need;
            MoveWindow(h, r.left, r.top, right - r.left, r.bottom - r.top, FALSE);
        }
    }
}
