// The window menu's entries and their Ctrl+keys, and message boxes.
#include "platform/ui.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/ui_win32_internal.h"

using namespace win32_backend;

namespace {

// Dialogs with window-menu keys, to find the one a key press belongs to.
std::vector<UiWindow*> g_keyed;

}  // namespace

namespace win32_backend {

bool window_entry_enabled(UiWindow* w, int command) {
    HMENU system = GetSystemMenu(w->hwnd, FALSE);
    UINT state = system ? GetMenuState(system, static_cast<UINT>(command), MF_BYCOMMAND) : static_cast<UINT>(-1);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

bool window_menu_key(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN || msg->wParam < 'A' || msg->wParam > 'Z') return false;
    if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0 || GetKeyState(VK_SHIFT) < 0) return false;
    HWND root = msg->hwnd ? GetAncestor(msg->hwnd, GA_ROOT) : nullptr;
    for (UiWindow* w : g_keyed) {
        if (!root || w->hwnd != root || w->ended) continue;
        for (const auto& k : w->menu_keys) {
            if (static_cast<WPARAM>(k.second) != msg->wParam) continue;
            if (window_entry_enabled(w, k.first)) PostMessageA(w->hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(k.first), 0);
            return true;
        }
    }
    return false;
}

LRESULT CALLBACK message_filter(int code, WPARAM wp, LPARAM lp) {
    // A modal dialog's loop knows only its own dialog: the keys of a window that does
    // not block are handed to it here.
    auto* msg = reinterpret_cast<MSG*>(lp);
    if (code == MSGF_DIALOGBOX && (window_menu_key(msg) || window_dialog_message(msg))) return 1;
    return CallNextHookEx(nullptr, code, wp, lp);
}

void forget_menu_keys(UiWindow* w) {
    for (size_t i = 0; i < g_keyed.size(); ++i)
        if (g_keyed[i] == w) g_keyed.erase(g_keyed.begin() + static_cast<long>(i--));
}

}  // namespace win32_backend

void ui_append_system_menu(UiWindow* dialog, int command, const char* text) {
    if (!dialog || !dialog->hwnd) return;
    HMENU menu = GetSystemMenu(dialog->hwnd, FALSE);
    if (!menu) return;
    if (text)
        AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(command), text);
    else
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
}

void ui_set_system_menu_key(UiWindow* dialog, int command, char key) {
    if (!dialog || !dialog->hwnd || key < 'A' || key > 'Z') return;
    HMENU menu = GetSystemMenu(dialog->hwnd, FALSE);
    char text[128];
    if (!menu || GetMenuStringA(menu, static_cast<UINT>(command), text, sizeof text - 8, MF_BYCOMMAND) <= 0) return;
    UINT greyed = GetMenuState(menu, static_cast<UINT>(command), MF_BYCOMMAND) & MF_GRAYED;
    std::string shown = std::string(text) + "\tCtrl+" + key;
    ModifyMenuA(menu, static_cast<UINT>(command), MF_BYCOMMAND | MF_STRING | greyed, static_cast<UINT_PTR>(command),
                shown.c_str());
    dialog->menu_keys.emplace_back(command, key);
    bool known = false;
    for (UiWindow* w : g_keyed) known = known || w == dialog;
    if (!known) g_keyed.push_back(dialog);
}

void ui_enable_system_menu(UiWindow* dialog, int command, int enabled) {
    if (!dialog || !dialog->hwnd) return;
    HMENU menu = GetSystemMenu(dialog->hwnd, FALSE);
    if (menu) EnableMenuItem(menu, static_cast<UINT>(command), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

int ui_message_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int icon_id) {
    HWND parent = owner && owner->hwnd && IsWindow(owner->hwnd) ? owner->hwnd : nullptr;
    if (icon_id == 0) return MessageBoxA(parent ? parent : GetActiveWindow(), text, caption, style);
    MSGBOXPARAMSA params{};
    params.cbSize = sizeof params;
    params.hwndOwner = parent ? parent : GetFocus();
    params.hInstance = GetModuleHandleA(nullptr);
    params.lpszText = text;
    params.lpszCaption = caption;
    params.dwStyle = style | MB_TASKMODAL | MB_USERICON;
    params.lpszIcon = MAKEINTRESOURCEA(icon_id & 0xFFFF);
    params.dwContextHelpId = 0;
    params.lpfnMsgBoxCallback = nullptr;
    params.dwLanguageId = 0x0400;  // the user's default language
    return MessageBoxIndirectA(&params);
}
