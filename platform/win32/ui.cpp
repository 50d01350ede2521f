// The Win32 backend of platform/ui.h: modal dialogs from the program's dialog
// resources, a thin dialog procedure that turns native messages into UiMessages, the
// log's custom draw, texts, tips and context menu, and the link's dispatch and
// event-wait hooks on the message queue.
#include "platform/ui.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/win32/ui_win32.h"

// A list view's rows live here, not in the control: the control asks for each text as
// it draws (LVN_GETDISPINFO), so a prefix such as the time costs no row's memory.
struct ListState {
    int id = 0;
    UiRowColour colour_of = nullptr;
    UiRowText prefix_of = nullptr;
    UiRowText tip_of = nullptr;
    const UiMenuEntry* menu = nullptr;
    int menu_count = 0;
    std::vector<int> checked;
    std::vector<std::string> rows;
    std::string shown;  // the text last handed to the control
};

// Lives on ui_run_dialog's stack until DialogBoxParamA returns, so a handler that
// ended the dialog further up may still ask ui_dialog_alive.
struct UiWindow {
    HWND hwnd = nullptr;
    const DialogTemplate* tmpl = nullptr;
    UiDialogProc proc = nullptr;
    void* context = nullptr;  // the caller's, for ui_context
    bool ended = false;
    int result = 0;
    std::vector<int> timers;
    std::deque<ListState> lists;  // a deque: states stay put as lists are added
    int min_width = 0, min_height = 0;  // client pixels; 0: no limit
    std::vector<std::pair<int, char>> menu_keys;  // window-menu command, its Ctrl+key
};

namespace {

HICON g_app_icon = nullptr;

// The extended list styles of the log, gridlines left off.
// LVS_EX_INFOTIP: rows' tips come from the dialog logic.
constexpr DWORD LOG_EX_STYLES = LVS_EX_SUBITEMIMAGES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT |
                                LVS_EX_FLATSB | LVS_EX_LABELTIP | LVS_EX_INFOTIP;
constexpr int MAX_PATH_CHARS = 260;
// Characters a line of a row's tip holds.
constexpr size_t TIP_LINE = 100;
// Labels carry id -1, which a 16-bit dialog template stores as 0xFFFF.
constexpr int LABEL_ID = 0xFFFF;

COLORREF to_colorref(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

void deliver(UiWindow* w, UiMessageKind kind, int id, int code = 0, int width = 0, int height = 0) {
    // After the end no handler runs: the dialog's state may already be torn down.
    if (!w || w->ended || !w->proc) return;
    UiMessage m{kind, id, code, width, height};
    w->proc(w, &m);
}

HWND control(UiWindow* w, int id) {
    if (!w || !w->hwnd) return nullptr;
    if (id == 0) return w->hwnd;
    return GetDlgItem(w->hwnd, id);
}

HWND child_at(UiWindow* w, int index) {
    if (!w || !w->hwnd || index < 0) return nullptr;
    HWND h = GetWindow(w->hwnd, GW_CHILD);
    for (int i = 0; h && i < index; ++i) h = GetWindow(h, GW_HWNDNEXT);
    return h;
}

bool is_class(HWND h, const char* name) {
    char cls[64];
    return h && GetClassNameA(h, cls, sizeof cls) > 0 && lstrcmpiA(cls, name) == 0;
}

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

// The log menu's stand-ins for window-menu entries carry ids that fit a menu's 16 bits.
constexpr int WINDOW_ENTRY_ID = 0xE100;

bool window_entry_enabled(UiWindow* w, int command) {
    HMENU system = GetSystemMenu(w->hwnd, FALSE);
    UINT state = system ? GetMenuState(system, static_cast<UINT>(command), MF_BYCOMMAND) : static_cast<UINT>(-1);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

// Dialogs with window-menu keys, to find the one a key press belongs to.
std::vector<UiWindow*> g_keyed;

// Ctrl+key of a window-menu entry, wherever the focus is in its dialog: the entry's
// command, posted as the menu would send it. true when the key was one of them.
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

// The dialog manager's own loop shows each message here before it handles it.
LRESULT CALLBACK message_filter(int code, WPARAM wp, LPARAM lp) {
    if (code == MSGF_DIALOGBOX && window_menu_key(reinterpret_cast<const MSG*>(lp))) return 1;
    return CallNextHookEx(nullptr, code, wp, lp);
}

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

// Single-line edits pass Up and Down on to the dialog logic (the command line's
// history); they have no use for them themselves.
const char* const OLD_PROC = "zorv.edit.proc";

LRESULT CALLBACK edit_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto old = reinterpret_cast<WNDPROC>(GetPropA(hwnd, OLD_PROC));
    if (msg == WM_KEYDOWN && (wp == VK_UP || wp == VK_DOWN)) {
        HWND dialog = GetParent(hwnd);
        auto* w = reinterpret_cast<UiWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
        deliver(w, UI_KEY, GetDlgCtrlID(hwnd), wp == VK_UP ? UI_KEY_UP : UI_KEY_DOWN);
        return 0;
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropA(hwnd, OLD_PROC);
    }
    return old ? CallWindowProcA(old, hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
}

void pass_keys_of_edits(HWND dialog) {
    for (HWND h = GetWindow(dialog, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (!is_class(h, "Edit") || (GetWindowLongA(h, GWL_STYLE) & ES_MULTILINE)) continue;
        LONG_PTR old = SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(edit_proc));
        SetPropA(h, OLD_PROC, reinterpret_cast<HANDLE>(old));
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

void fit_lists(HWND dialog) {
    for (HWND h = GetWindow(dialog, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (!is_class(h, WC_LISTVIEWA)) continue;
        LONG_PTR old = SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(list_proc));
        SetPropA(h, OLD_PROC, reinterpret_cast<HANDLE>(old));
    }
}

INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    UiWindow* w = reinterpret_cast<UiWindow*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        w = reinterpret_cast<UiWindow*>(lp);
        SetWindowLongPtrA(hwnd, DWLP_USER, lp);
        w->hwnd = hwnd;
        if (g_app_icon) SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_app_icon));
        pass_keys_of_edits(hwnd);
        fit_lists(hwnd);
        ui_win32_fit_check_boxes(hwnd);
        deliver(w, UI_INIT, 0);
        return FALSE;  // the focus the handler chose stays
    case WM_COMMAND:
        deliver(w, UI_COMMAND, LOWORD(wp), HIWORD(wp));
        return FALSE;
    case WM_SYSCOMMAND:
        // Every entry the program appended (ids below the system's own range), so a new
        // entry needs nothing here.
        if (wp != 0 && wp < 0xF000) {
            deliver(w, UI_SYSCOMMAND, static_cast<int>(wp));
            return TRUE;
        }
        return FALSE;  // the system's own commands: move, size, close...
    case WM_SIZE:
        deliver(w, UI_SIZE, 0, 0, LOWORD(lp), HIWORD(lp));
        return FALSE;
    case WM_TIMER:
        deliver(w, UI_TIMER, static_cast<int>(wp));
        return FALSE;
    case WM_GETMINMAXINFO: {
        // Comes before WM_INITDIALOG as well, when there is no limit yet.
        if (!w || (w->min_width <= 0 && w->min_height <= 0)) return FALSE;
        RECT r{0, 0, w->min_width, w->min_height};
        AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)));
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        if (info->ptMinTrackSize.x < r.right - r.left) info->ptMinTrackSize.x = r.right - r.left;
        if (info->ptMinTrackSize.y < r.bottom - r.top) info->ptMinTrackSize.y = r.bottom - r.top;
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (!w || !hdr) return FALSE;
        switch (hdr->code) {
        case NM_CUSTOMDRAW:
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, custom_draw(w, reinterpret_cast<NMLVCUSTOMDRAW*>(lp)));
            return TRUE;
        case LVN_GETDISPINFOA:
            fill_text(w, reinterpret_cast<NMLVDISPINFOA*>(lp));
            return TRUE;
        case LVN_GETINFOTIPA:
            fill_tip(w, reinterpret_cast<NMLVGETINFOTIPA*>(lp));
            return TRUE;
        case LVN_KEYDOWN:
            list_key(w, hdr->hwndFrom, reinterpret_cast<NMLVKEYDOWN*>(lp)->wVKey);
            return FALSE;
        default:
            return FALSE;
        }
    }
    case WM_CONTEXTMENU:
        // A right click on the list, or the Menu key / Shift+F10 while it has the focus.
        if (!w || !is_class(reinterpret_cast<HWND>(wp), WC_LISTVIEWA) || GetParent(reinterpret_cast<HWND>(wp)) != hwnd)
            return FALSE;
        context_menu(w, reinterpret_cast<HWND>(wp), lp);
        return TRUE;
    default:
        return FALSE;
    }
}

int win32_dispatch() {
    MSG msg;
    int any = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to consume: leave it for the outermost loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        any = 1;
        if (window_menu_key(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return any;
}

// The link's event wait: sleeps in the kernel until the port's event is set, a
// message for this thread arrives (input, a timer, a posted message) or ms pass. The
// messages stay queued for the dispatch that follows.
void win32_wait(intptr_t handle, uint32_t ms) {
    HANDLE h = reinterpret_cast<HANDLE>(handle);
    MsgWaitForMultipleObjectsEx(handle == PLATFORM_NO_HANDLE ? 0 : 1, &h, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace

void ui_win32_load_app_icon(HINSTANCE instance) {
    if (!g_app_icon) g_app_icon = LoadIconA(instance, MAKEINTRESOURCEA(ICON_APP));
}

HWND ui_win32_hwnd(UiWindow* dialog) { return dialog ? dialog->hwnd : nullptr; }

void ui_init() {
    ui_win32_load_app_icon(GetModuleHandleA(nullptr));
    platform_set_dispatch(win32_dispatch);
    platform_set_wait(win32_wait);
    static HHOOK filter = SetWindowsHookExA(WH_MSGFILTER, message_filter, nullptr, GetCurrentThreadId());
    (void)filter;
}

int ui_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context) {
    if (!tmpl || !proc) return -1;
    UiWindow w;
    w.tmpl = tmpl;
    w.proc = proc;
    w.context = context;
    HWND parent = owner && !owner->ended && owner->hwnd && IsWindow(owner->hwnd) ? owner->hwnd : nullptr;
    INT_PTR r = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(tmpl->id), parent, dialog_proc,
                                reinterpret_cast<LPARAM>(&w));
    for (size_t i = 0; i < g_keyed.size(); ++i)
        if (g_keyed[i] == &w) g_keyed.erase(g_keyed.begin() + static_cast<long>(i--));
    bool made = w.hwnd != nullptr;
    bool ended_by_us = w.ended;
    w.ended = true;
    if (!made) return -1;
    return ended_by_us ? w.result : static_cast<int>(r);
}

void ui_end_dialog(UiWindow* dialog, int result) {
    if (!dialog || dialog->ended) return;
    dialog->ended = true;
    dialog->result = result;
    for (int id : dialog->timers) KillTimer(dialog->hwnd, static_cast<UINT_PTR>(id));
    dialog->timers.clear();
    // EndDialog only marks the dialog; the modal loop leaves once control is back in
    // it, and the window (with its controls) lives until then.
    if (dialog->hwnd) EndDialog(dialog->hwnd, result);
}

int ui_dialog_alive(UiWindow* dialog) {
    return dialog && !dialog->ended && dialog->hwnd && IsWindow(dialog->hwnd) ? 1 : 0;
}

int ui_dialog_id(UiWindow* dialog) { return dialog && dialog->tmpl ? dialog->tmpl->id : 0; }

void* ui_context(UiWindow* dialog) { return dialog ? dialog->context : nullptr; }

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
    HWND h = control(dialog, id);
    if (!h || id == 0 || !text) return -1;
    LRESULT index = SendMessageA(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index == CB_ERR || index == CB_ERRSPACE) return -1;
    SendMessageA(h, CB_SETITEMDATA, static_cast<WPARAM>(index), 0);
    if (select) SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return static_cast<int>(index);
}

void ui_combo_clear(UiWindow* dialog, int id) {
    HWND h = control(dialog, id);
    if (!h || id == 0) return;
    // CB_RESETCONTENT empties the edit field too; the operator's text stays.
    int n = GetWindowTextLengthA(h);
    std::vector<char> text(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    GetWindowTextA(h, text.data(), static_cast<int>(text.size()));
    SendMessageA(h, CB_RESETCONTENT, 0, 0);
    SetWindowTextA(h, text.data());
}

int ui_combo_count(UiWindow* dialog, int id) {
    HWND h = control(dialog, id);
    if (!h || id == 0) return 0;
    LRESULT n = SendMessageA(h, CB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

int ui_combo_item(UiWindow* dialog, int id, int index, char* buf, int size) {
    if (buf && size > 0) buf[0] = '\0';
    HWND h = control(dialog, id);
    if (!h || id == 0 || index < 0) return -1;
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

namespace {
uint32_t from_colorref(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
}  // namespace

uint32_t ui_system_colour(int which) { return from_colorref(GetSysColor(which)); }

uint32_t ui_nearest_colour(uint32_t rgb) {
    HDC screen = GetDC(nullptr);
    COLORREF c = screen ? GetNearestColor(screen, to_colorref(rgb)) : to_colorref(rgb);
    if (screen) ReleaseDC(nullptr, screen);
    return c == CLR_INVALID ? rgb : from_colorref(c);
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

void ui_set_timer(UiWindow* dialog, int timer_id, int ms) {
    if (!dialog || dialog->ended || !dialog->hwnd || ms < 0) return;
    if (!SetTimer(dialog->hwnd, static_cast<UINT_PTR>(timer_id), static_cast<UINT>(ms), nullptr)) return;
    for (int id : dialog->timers)
        if (id == timer_id) return;
    dialog->timers.push_back(timer_id);
}

void ui_kill_timer(UiWindow* dialog, int timer_id) {
    if (!dialog || !dialog->hwnd) return;
    KillTimer(dialog->hwnd, static_cast<UINT_PTR>(timer_id));
    for (size_t i = 0; i < dialog->timers.size(); ++i)
        if (dialog->timers[i] == timer_id) {
            dialog->timers.erase(dialog->timers.begin() + static_cast<long>(i));
            break;
        }
}

char* ui_choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext, int open,
                     const char* title) {
    SetFocus(GetForegroundWindow());
    char file[MAX_PATH_CHARS + 1] = "";
    if (initial) {
        std::strncpy(file, initial, MAX_PATH_CHARS);
        file[MAX_PATH_CHARS] = '\0';
    }
    char file_title[MAX_PATH_CHARS + 1] = "";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the classic form
    ofn.hwndOwner = owner && owner->hwnd && IsWindow(owner->hwnd) ? owner->hwnd : nullptr;
    ofn.lpstrFilter = filter ? filter : "All Files (*.*)\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrFileTitle = file_title;
    ofn.nMaxFileTitle = sizeof file_title;
    ofn.lpstrTitle = title && *title ? title : (open ? "Open File" : "Save File");
    // Saving over a file asks first: a log saved over the wrong file would lose it.
    // No "Open as read-only" box: the program reads every file the same way.
    ofn.Flags = OFN_LONGNAMES | OFN_HIDEREADONLY | (open ? 0 : OFN_OVERWRITEPROMPT);
    // "*" stands for any extension, so none is added: a name without a dot comes back
    // as typed, and the Startup box never names a file that does not exist.
    ofn.lpstrDefExt = default_ext && *default_ext && !std::strpbrk(default_ext, "*?") ? default_ext : nullptr;
    BOOL ok = open ? GetOpenFileNameA(&ofn) : GetSaveFileNameA(&ofn);
    if (!ok) return nullptr;
    file[MAX_PATH_CHARS] = '\0';
    size_t n = std::strlen(file);
    if (n == 0) return nullptr;
    char* out = static_cast<char*>(std::malloc(n + 1));
    if (out) std::memcpy(out, file, n + 1);
    return out;
}

void ui_free(void* p) { std::free(p); }

void ui_client_size(UiWindow* dialog, int* width, int* height) {
    RECT r{0, 0, 0, 0};
    if (dialog && dialog->hwnd) GetClientRect(dialog->hwnd, &r);
    if (width) *width = r.right - r.left;
    if (height) *height = r.bottom - r.top;
}

int ui_child_count(UiWindow* dialog) {
    int n = 0;
    for (HWND h = dialog && dialog->hwnd ? GetWindow(dialog->hwnd, GW_CHILD) : nullptr; h;
         h = GetWindow(h, GW_HWNDNEXT))
        ++n;
    return n;
}

int ui_child_rect(UiWindow* dialog, int index, int* x, int* y, int* width, int* height) {
    HWND h = child_at(dialog, index);
    if (!h) return 0;
    RECT r;
    if (!GetWindowRect(h, &r)) return 0;
    POINT origin{0, 0};
    ClientToScreen(dialog->hwnd, &origin);
    if (x) *x = r.left - origin.x;
    if (y) *y = r.top - origin.y;
    if (width) *width = r.right - r.left;
    if (height) *height = r.bottom - r.top;
    return 1;
}

void ui_move_child(UiWindow* dialog, int index, int x, int y, int width, int height) {
    HWND h = child_at(dialog, index);
    if (!h) return;
    // A drop-down combo box takes the height of its open list from MoveWindow; its
    // window rectangle is only the closed part, so keep the list's height as it is.
    if (is_class(h, "ComboBox")) {
        RECT dropped;
        if (SendMessageA(h, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped))) {
            int full = dropped.bottom - dropped.top;
            if (full > height) height = full;
        }
    }
    MoveWindow(h, x, y, width < 0 ? 0 : width, height < 0 ? 0 : height, FALSE);
}

void ui_set_min_client_size(UiWindow* dialog, int width, int height) {
    if (!dialog) return;
    dialog->min_width = width;
    dialog->min_height = height;
}

void ui_redraw(UiWindow* dialog) {
    // Children were moved without painting: repaint them with the dialog, once.
    if (dialog && dialog->hwnd)
        RedrawWindow(dialog->hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}
