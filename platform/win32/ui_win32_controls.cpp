// Texts, checks, focus, posted commands, combo boxes and colours of the dialogs' controls.
#include "platform/ui.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win32/ui_win32_internal.h"

using namespace win32_backend;

namespace {

// Labels carry id -1, which a 16-bit dialog template stores as 0xFFFF.
constexpr int LABEL_ID = 0xFFFF;

uint32_t from_colorref(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// Combo box messages sent to another control answer 0, which reads as success.
HWND combo_box(UiWindow* w, int id) {
    HWND h = id == 0 ? nullptr : control(w, id);
    char cls[16] = "";
    return h && GetClassNameA(h, cls, sizeof cls) && lstrcmpiA(cls, "ComboBox") == 0 ? h : nullptr;
}

}  // namespace

void ui_enable(UiWindow* dialog, int id, int enabled) {
    if (HWND h = control(dialog, id)) EnableWindow(h, enabled ? TRUE : FALSE);
}

int ui_is_enabled(UiWindow* dialog, int id) {
    HWND h = control(dialog, id);
    return h && IsWindowEnabled(h) ? 1 : 0;
}

void ui_set_text(UiWindow* dialog, int id, const char* text) {
    if (HWND h = control(dialog, id)) SetWindowTextA(h, text ? text : "");
}

int ui_text_length(UiWindow* dialog, int id) {
    HWND h = control(dialog, id);
    return h ? GetWindowTextLengthA(h) : 0;
}

int ui_get_text(UiWindow* dialog, int id, char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    HWND h = control(dialog, id);
    return h ? GetWindowTextA(h, buf, size) : 0;
}

void ui_set_check(UiWindow* dialog, int id, int checked) {
    if (control(dialog, id)) CheckDlgButton(dialog->hwnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

int ui_is_checked(UiWindow* dialog, int id) {
    return control(dialog, id) && IsDlgButtonChecked(dialog->hwnd, id) == BST_CHECKED ? 1 : 0;
}

void ui_set_focus(UiWindow* dialog, int id) {
    if (HWND h = control(dialog, id)) SetFocus(h);
}

int ui_focus_id(UiWindow* dialog) {
    if (!dialog || !dialog->hwnd) return 0;
    HWND f = GetFocus();
    if (!f) return 0;
    // The edit field inside a drop-down combo box stands for the combo box.
    if (GetParent(f) != dialog->hwnd) f = GetParent(f);
    if (!f || GetParent(f) != dialog->hwnd) return 0;
    int id = GetDlgCtrlID(f);
    return id == LABEL_ID ? -1 : id;
}

void ui_post_command(UiWindow* dialog, int id) {
    if (!dialog || dialog->ended || !dialog->hwnd) return;
    PostMessageA(dialog->hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void ui_post_syscommand(UiWindow* dialog, int command) {
    if (!dialog || dialog->ended || !dialog->hwnd) return;
    PostMessageA(dialog->hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
}

int ui_combo_add(UiWindow* dialog, int id, const char* text, int select) {
    HWND h = combo_box(dialog, id);
    if (!h || !text) return -1;
    LRESULT index = SendMessageA(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index == CB_ERR || index == CB_ERRSPACE) return -1;
    SendMessageA(h, CB_SETITEMDATA, static_cast<WPARAM>(index), 0);
    if (select) SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return static_cast<int>(index);
}

void ui_combo_clear(UiWindow* dialog, int id) {
    HWND h = combo_box(dialog, id);
    if (!h) return;
    // CB_RESETCONTENT empties the edit field too; the operator's text stays.
    int n = GetWindowTextLengthA(h);
    std::vector<char> text(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    GetWindowTextA(h, text.data(), static_cast<int>(text.size()));
    SendMessageA(h, CB_RESETCONTENT, 0, 0);
    SetWindowTextA(h, text.data());
}

int ui_combo_count(UiWindow* dialog, int id) {
    HWND h = combo_box(dialog, id);
    if (!h) return 0;
    LRESULT n = SendMessageA(h, CB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

int ui_combo_item(UiWindow* dialog, int id, int index, char* buf, int size) {
    if (buf && size > 0) buf[0] = '\0';
    HWND h = combo_box(dialog, id);
    if (!h || index < 0) return -1;
    LRESULT len = SendMessageA(h, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (len == CB_ERR) return -1;
    std::vector<char> text(static_cast<size_t>(len) + 1, '\0');
    if (SendMessageA(h, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data())) == CB_ERR)
        return -1;
    if (!buf || size <= 0) return 0;
    size_t n = std::strlen(text.data());
    if (n > static_cast<size_t>(size) - 1) n = static_cast<size_t>(size) - 1;
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

uint32_t ui_system_colour(int which) { return from_colorref(GetSysColor(which)); }

uint32_t ui_nearest_colour(uint32_t rgb) {
    HDC screen = GetDC(nullptr);
    COLORREF c = screen ? GetNearestColor(screen, to_colorref(rgb)) : to_colorref(rgb);
    if (screen) ReleaseDC(nullptr, screen);
    return c == CLR_INVALID ? rgb : from_colorref(c);
}
