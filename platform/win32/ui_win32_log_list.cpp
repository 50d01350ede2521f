// The log list: an owner-data list view that asks the dialog logic's row source for
// each row's text, tip and colour as it draws, the column that fills the list, its
// context menu and keys, and the clipboard.
#include "platform/ui.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/ui_win32_internal.h"

using namespace win32_backend;

namespace {

// The extended list styles of the log, gridlines left off.
// LVS_EX_INFOTIP: rows' tips come from the dialog logic.
constexpr DWORD LOG_EX_STYLES = LVS_EX_SUBITEMIMAGES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT |
                                LVS_EX_FLATSB | LVS_EX_LABELTIP | LVS_EX_INFOTIP;
// The state of a list view control of the dialog; made on first use when make is set.
ListState* list_state(UiWindow* w, int id, bool make = false) {
    if (!w || id == 0) return nullptr;
    for (ListState& l : w->lists)
        if (l.id == id) return &l;
    HWND h = control(w, id);
    if (!make || !h || !is_class(h, WC_LISTVIEWA)) return nullptr;
    w->lists.emplace_back();
    w->lists.back().id = id;
    return &w->lists.back();
}

// The row as shown, as the source gives it.
std::string shown_text(UiWindow* w, const ListState& l, int row) {
    int length = 0;
    const char* text = l.source ? l.source->text(w, row, &length) : nullptr;
    return text && length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

// The single column is as wide as the list, so a wide window shows long rows whole.
void fit_column(HWND list) {
    static bool fitting = false;  // the width may show or hide a scroll bar, which resizes again
    if (fitting) return;
    fitting = true;
    RECT r;
    if (GetClientRect(list, &r) && r.right > 0)
        SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(static_cast<WORD>(r.right), 0));
    fitting = false;
}

// Every entry reaches the dialog logic as a command, posted so that a chooser it
// opens does not run inside the menu or the key.
void run_list_command(UiWindow* w, int command) {
    if (command) PostMessageA(w->hwnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

// The list's state when id is a list view the logic has bound.
ListState* bound_list(UiWindow* w, int id, HWND* list) {
    HWND h = control(w, id);
    ListState* l = h && id != 0 && is_class(h, WC_LISTVIEWA) ? list_state(w, id) : nullptr;
    if (!l || !l->source) return nullptr;
    *list = h;
    return l;
}

int item_count(HWND list) {
    LRESULT n = SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

void set_selected(HWND list, int row, bool selected) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// List views refit their column whenever their client area changes: a new size, or a
// scroll bar coming or going.
LRESULT CALLBACK list_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto old = reinterpret_cast<WNDPROC>(GetPropA(hwnd, OLD_PROC));
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropA(hwnd, OLD_PROC);
    }
    LRESULT r = old ? CallWindowProcA(old, hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
    if (msg == WM_SIZE) fit_column(hwnd);
    return r;
}

}  // namespace

namespace win32_backend {

void context_menu(UiWindow* w, HWND list, LPARAM where) {
    ListState* l = list_state(w, GetDlgCtrlID(list));
    if (!l || !l->menu || l->menu_count <= 0) return;
    POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (where == static_cast<LPARAM>(-1)) {  // from the keyboard: under the focused row, or the corner
        at = POINT{0, 0};
        LRESULT row = SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
        RECT r{};
        r.left = LVIR_LABEL;
        RECT client;
        GetClientRect(list, &client);
        if (row >= 0 && SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r)) &&
            r.bottom > 0 && r.top < client.bottom)
            at = POINT{r.left, r.bottom};
        ClientToScreen(list, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    for (int i = 0; i < l->menu_count; ++i) {
        const UiMenuEntry& e = l->menu[i];
        if (!e.text) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        if (e.command >= UI_MENU_WINDOW) {
            int c = e.command - UI_MENU_WINDOW;
            AppendMenuA(menu, MF_STRING | (window_entry_enabled(w, c) ? 0 : MF_GRAYED),
                        static_cast<UINT_PTR>(WINDOW_ENTRY_ID + c), e.text);
            continue;
        }
        bool checked = false;
        for (int c : l->checked) checked = checked || c == e.command;
        AppendMenuA(menu, MF_STRING | (e.check && checked ? MF_CHECKED : 0), static_cast<UINT_PTR>(e.command), e.text);
    }
    int command = static_cast<int>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y, 0, w->hwnd,
                       nullptr));
    DestroyMenu(menu);
    if (!command || w->ended) return;
    for (int i = 0; i < l->menu_count; ++i)
        if (l->menu[i].command >= UI_MENU_WINDOW && command == WINDOW_ENTRY_ID + l->menu[i].command - UI_MENU_WINDOW) {
            PostMessageA(w->hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(command - WINDOW_ENTRY_ID), 0);
            return;
        }
    run_list_command(w, command);
}

// Ctrl+key of a menu entry while the list has the focus.
void list_key(UiWindow* w, HWND list, WORD key) {
    ListState* l = list_state(w, GetDlgCtrlID(list));
    if (!l || !l->menu || GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0 || GetKeyState(VK_SHIFT) < 0)
        return;
    for (int i = 0; i < l->menu_count; ++i)
        if (l->menu[i].text && l->menu[i].key && static_cast<WORD>(l->menu[i].key) == key) {
            run_list_command(w, l->menu[i].command);
            return;
        }
}

void fill_text(UiWindow* w, NMLVDISPINFOA* info) {
    ListState* l = list_state(w, static_cast<int>(info->hdr.idFrom));
    if (!l || !(info->item.mask & LVIF_TEXT)) return;
    l->shown = shown_text(w, *l, info->item.iItem);
    // The control copies the text from here before it asks again.
    info->item.pszText = &l->shown[0];
}

void fill_tip(UiWindow* w, NMLVGETINFOTIPA* tip) {
    ListState* l = list_state(w, static_cast<int>(tip->hdr.idFrom));
    if (!l || !l->source || !tip->pszText || tip->cchTextMax <= 0) return;
    // The source decides from the widths whether the row is cut at the column's edge.
    std::string shown = shown_text(w, *l, tip->iItem);
    LRESULT width = SendMessageA(tip->hdr.hwndFrom, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    LRESULT column = SendMessageA(tip->hdr.hwndFrom, LVM_GETCOLUMNWIDTH, 0, 0);
    int length = 0;
    const char* text = l->source->tip(w, tip->iItem, static_cast<int>(width), static_cast<int>(column), &length);
    size_t n = text && length > 0 ? static_cast<size_t>(length) : 0;
    if (n > static_cast<size_t>(tip->cchTextMax) - 1) n = static_cast<size_t>(tip->cchTextMax) - 1;
    if (n) std::memcpy(tip->pszText, text, n);
    tip->pszText[n] = '\0';
}

LRESULT custom_draw(UiWindow* w, NMLVCUSTOMDRAW* cd) {
    ListState* l = list_state(w, static_cast<int>(cd->nmcd.hdr.idFrom));
    if (!l || !l->source) return CDRF_DODEFAULT;
    switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        cd->clrText = to_colorref(l->source->colour(w, static_cast<int>(cd->nmcd.dwItemSpec)));
        return CDRF_NEWFONT;
    default:
        return CDRF_DODEFAULT;
    }
}

void fit_lists(HWND dialog) {
    for (HWND h = GetWindow(dialog, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (!is_class(h, WC_LISTVIEWA)) continue;
        LONG_PTR old = SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(list_proc));
        SetPropA(h, OLD_PROC, reinterpret_cast<HANDLE>(old));
    }
}

}  // namespace win32_backend

void ui_list_bind(UiWindow* dialog, int id, const UiRowSource* source, uint32_t background) {
    HWND h = control(dialog, id);
    if (!h || id == 0 || !is_class(h, WC_LISTVIEWA)) return;
    ListState* l = list_state(dialog, id, true);
    if (!l) return;
    l->source = source && source->count && source->text && source->colour && source->tip ? source : nullptr;
    if (!l->column) {
        l->column = true;
        SendMessageA(h, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LOG_EX_STYLES);
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_LEFT;
        column.cx = 0;
        column.pszText = const_cast<char*>("");
        SendMessageA(h, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
        fit_column(h);
    }
    SendMessageA(h, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(to_colorref(background)));
    ui_list_cleared(dialog, id);
}

void ui_list_inserted(UiWindow* dialog, int id, int row) {
    HWND h = nullptr;
    ListState* l = bound_list(dialog, id, &h);
    int count = l ? item_count(h) : 0;
    if (!l || row < 0 || row > count) return;
    // The selection of an owner-data list stays with the indices: moved down with its rows.
    std::vector<int> moved;
    for (LRESULT i = SendMessageA(h, LVM_GETNEXTITEM, static_cast<WPARAM>(row - 1), LVNI_SELECTED); i >= 0;
         i = SendMessageA(h, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED))
        moved.push_back(static_cast<int>(i));
    SendMessageA(h, LVM_SETITEMCOUNT, static_cast<WPARAM>(count + 1), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    for (auto i = moved.rbegin(); i != moved.rend(); ++i) {
        set_selected(h, *i, false);
        set_selected(h, *i + 1, true);
    }
    if (row < count) SendMessageA(h, LVM_REDRAWITEMS, static_cast<WPARAM>(row), static_cast<LPARAM>(count));
}

void ui_list_cleared(UiWindow* dialog, int id) {
    HWND h = nullptr;
    ListState* l = bound_list(dialog, id, &h);
    if (!l) return;
    LVITEMA none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(h, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    int count = l->source->count(dialog);
    SendMessageA(h, LVM_SETITEMCOUNT, static_cast<WPARAM>(count > 0 ? count : 0), 0);
    InvalidateRect(h, nullptr, TRUE);
}

void ui_list_changed(UiWindow* dialog, int id) {
    HWND h = nullptr;
    if (bound_list(dialog, id, &h)) InvalidateRect(h, nullptr, TRUE);
}

int ui_list_next_selected(UiWindow* dialog, int id, int after) {
    HWND h = control(dialog, id);
    if (!h || id == 0 || !is_class(h, WC_LISTVIEWA)) return -1;
    LRESULT i = SendMessageA(h, LVM_GETNEXTITEM, static_cast<WPARAM>(after < 0 ? -1 : after), LVNI_SELECTED);
    return i < 0 ? -1 : static_cast<int>(i);
}

void ui_list_select_all(UiWindow* dialog, int id) {
    HWND h = control(dialog, id);
    if (h && id != 0 && is_class(h, WC_LISTVIEWA)) set_selected(h, -1, true);
}

void ui_set_clipboard(UiWindow* owner, const char* text, int length) {
    if (!text || length < 0 || !OpenClipboard(owner ? owner->hwnd : nullptr)) return;
    EmptyClipboard();
    if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, static_cast<size_t>(length) + 1)) {
        if (auto* p = static_cast<char*>(GlobalLock(mem))) {
            std::memcpy(p, text, static_cast<size_t>(length));
            p[length] = '\0';
            GlobalUnlock(mem);
            if (!SetClipboardData(CF_TEXT, mem)) GlobalFree(mem);
        } else {
            GlobalFree(mem);
        }
    }
    CloseClipboard();
}

void ui_list_set_menu(UiWindow* dialog, int id, const UiMenuEntry* entries, int count) {
    if (ListState* l = list_state(dialog, id, true)) {
        l->menu = entries;
        l->menu_count = entries && count > 0 ? count : 0;
    }
}

void ui_list_check_menu(UiWindow* dialog, int id, int command, int checked) {
    ListState* l = list_state(dialog, id, true);
    if (!l) return;
    for (size_t i = 0; i < l->checked.size(); ++i)
        if (l->checked[i] == command) {
            l->checked.erase(l->checked.begin() + static_cast<long>(i));
            break;
        }
    if (checked) l->checked.push_back(command);
}

void ui_list_ensure_visible(UiWindow* dialog, int id, int row) {
    HWND h = control(dialog, id);
    if (h && id != 0 && row >= 0) SendMessageA(h, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}
