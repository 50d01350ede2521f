// The log list: its rows, kept here and handed to the list view as it draws, their
// prefix, tip and colour, the column that fills the list, and its context menu and keys.
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
// Characters a line of a row's tip holds.
constexpr size_t TIP_LINE = 100;

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

std::string asked(UiWindow* w, UiRowText fn, int row) {
    char buf[128];
    int n = fn ? fn(w, row, buf, sizeof buf) : 0;
    return n > 0 ? std::string(buf, static_cast<size_t>(n < static_cast<int>(sizeof buf) ? n : sizeof buf - 1))
                 : std::string();
}

// The row as shown: the dialog logic's prefix, then its text.
std::string shown_text(UiWindow* w, const ListState& l, int row) {
    if (row < 0 || row >= static_cast<int>(l.rows.size())) return std::string();
    return asked(w, l.prefix_of, row) + l.rows[static_cast<size_t>(row)];
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

void copy_rows(UiWindow* w, HWND owner, HWND list, const ListState& l) {
    std::string text;
    for (LRESULT i = SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED); i >= 0;
         i = SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED)) {
        if (!text.empty()) text += "\r\n";
        text += shown_text(w, l, static_cast<int>(i));
    }
    if (text.empty() || !OpenClipboard(owner)) return;
    EmptyClipboard();
    if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
        if (void* p = GlobalLock(mem)) {
            std::memcpy(p, text.c_str(), text.size() + 1);
            GlobalUnlock(mem);
            if (!SetClipboardData(CF_TEXT, mem)) GlobalFree(mem);
        } else {
            GlobalFree(mem);
        }
    }
    CloseClipboard();
}

// Copy and Select All are done here; the others reach the dialog logic as commands,
// posted so that a chooser they open does not run inside the menu or the key.
void run_list_command(UiWindow* w, HWND list, const ListState& l, int command) {
    if (command == UI_LIST_COPY) {
        copy_rows(w, w->hwnd, list, l);
    } else if (command == UI_LIST_SELECT_ALL) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    } else if (command) {
        PostMessageA(w->hwnd, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
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
    run_list_command(w, list, *l, command);
}

// Ctrl+key of a menu entry while the list has the focus.
void list_key(UiWindow* w, HWND list, WORD key) {
    ListState* l = list_state(w, GetDlgCtrlID(list));
    if (!l || !l->menu || GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0 || GetKeyState(VK_SHIFT) < 0)
        return;
    for (int i = 0; i < l->menu_count; ++i)
        if (l->menu[i].text && l->menu[i].key && static_cast<WORD>(l->menu[i].key) == key) {
            run_list_command(w, list, *l, l->menu[i].command);
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
    if (!l || !tip->pszText || tip->cchTextMax <= 0) return;
    std::string text = asked(w, l->tip_of, tip->iItem);
    // Only a row cut at the column's edge needs its whole text in the tip, in lines
    // short enough for the screen.
    std::string shown = shown_text(w, *l, tip->iItem);
    LRESULT width = SendMessageA(tip->hdr.hwndFrom, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    LRESULT column = SendMessageA(tip->hdr.hwndFrom, LVM_GETCOLUMNWIDTH, 0, 0);
    if (width + 12 > column && tip->iItem >= 0 && tip->iItem < static_cast<int>(l->rows.size())) {
        const std::string& row = l->rows[static_cast<size_t>(tip->iItem)];
        for (size_t at = 0; at < row.size(); at += TIP_LINE)
            text += (text.empty() ? "" : "\r\n") + row.substr(at, TIP_LINE);
    }
    size_t n = text.size() < static_cast<size_t>(tip->cchTextMax) - 1 ? text.size() : tip->cchTextMax - 1;
    std::memcpy(tip->pszText, text.data(), n);
    tip->pszText[n] = '\0';
}

LRESULT custom_draw(UiWindow* w, NMLVCUSTOMDRAW* cd) {
    ListState* l = list_state(w, static_cast<int>(cd->nmcd.hdr.idFrom));
    UiRowColour colour_of = l ? l->colour_of : nullptr;
    if (!colour_of) return CDRF_DODEFAULT;
    switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        cd->clrText = to_colorref(colour_of(w, static_cast<int>(cd->nmcd.dwItemSpec)));
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

int ui_list_count(UiWindow* dialog, int id) {
    HWND h = control(dialog, id);
    if (!h || id == 0) return 0;
    LRESULT n = SendMessageA(h, LVM_GETITEMCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

int ui_list_insert(UiWindow* dialog, int id, int index) {
    HWND h = control(dialog, id);
    ListState* l = list_state(dialog, id, true);
    if (!h || !l) return -1;
    int count = static_cast<int>(l->rows.size());
    int at = index < 0 || index > count ? count : index;
    // The row's text is there before the control can ask for it.
    l->rows.insert(l->rows.begin() + at, std::string());
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = at;
    item.pszText = LPSTR_TEXTCALLBACKA;
    item.lParam = 0;
    int got = static_cast<int>(SendMessageA(h, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (got != at) {
        l->rows.erase(l->rows.begin() + at);
        if (got >= 0) SendMessageA(h, LVM_DELETEITEM, static_cast<WPARAM>(got), 0);
        return -1;
    }
    return at;
}

void ui_list_set_text(UiWindow* dialog, int id, int row, const char* text) {
    HWND h = control(dialog, id);
    ListState* l = list_state(dialog, id);
    if (!h || !l || row < 0 || row >= static_cast<int>(l->rows.size())) return;
    l->rows[static_cast<size_t>(row)] = text ? text : "";
    SendMessageA(h, LVM_REDRAWITEMS, static_cast<WPARAM>(row), static_cast<LPARAM>(row));
}

int ui_list_get_text(UiWindow* dialog, int id, int row, char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    ListState* l = list_state(dialog, id);
    if (!l || row < 0 || row >= static_cast<int>(l->rows.size())) return 0;
    const std::string& text = l->rows[static_cast<size_t>(row)];
    size_t n = text.size() < static_cast<size_t>(size) - 1 ? text.size() : static_cast<size_t>(size) - 1;
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

int ui_list_text_length(UiWindow* dialog, int id, int row) {
    ListState* l = list_state(dialog, id);
    if (!l || row < 0 || row >= static_cast<int>(l->rows.size())) return 0;
    return static_cast<int>(l->rows[static_cast<size_t>(row)].size());
}

void ui_list_clear(UiWindow* dialog, int id) {
    HWND h = control(dialog, id);
    ListState* l = list_state(dialog, id);
    if (!h || !l) return;
    SendMessageA(h, LVM_DELETEALLITEMS, 0, 0);
    std::vector<std::string>().swap(l->rows);  // a long log's memory goes back
}

void ui_list_set_row_texts(UiWindow* dialog, int id, UiRowText prefix_of, UiRowText tip_of) {
    HWND h = control(dialog, id);
    ListState* l = list_state(dialog, id, true);
    if (!h || !l) return;
    l->prefix_of = prefix_of;
    l->tip_of = tip_of;
    InvalidateRect(h, nullptr, TRUE);
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

void ui_list_set_colours(UiWindow* dialog, int id, uint32_t background, UiRowColour colour_of) {
    HWND h = control(dialog, id);
    ListState* l = list_state(dialog, id, true);
    if (!h || !l) return;
    l->colour_of = colour_of;
    SendMessageA(h, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(to_colorref(background)));
    InvalidateRect(h, nullptr, TRUE);
}

void ui_list_add_column(UiWindow* dialog, int id, const char* title, int width) {
    HWND h = control(dialog, id);
    if (!h || id == 0) return;
    SendMessageA(h, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LOG_EX_STYLES);
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<char*>(title ? title : "");
    SendMessageA(h, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    fit_column(h);
}
