// Modal dialogs from the program's dialog resources and the thin dialog procedure that
// turns native messages into UiMessages; timers, the layout's child rectangles and the
// minimum size.
#include "platform/ui.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "platform/win32/ui_win32_internal.h"
#include "platform/win32/ui_win32.h"

using namespace win32_backend;

namespace win32_backend {

HWND control(UiWindow* w, int id) {
    if (!w || !w->hwnd) return nullptr;
    if (id == 0) return w->hwnd;
    return GetDlgItem(w->hwnd, id);
}

bool is_class(HWND h, const char* name) {
    char cls[64];
    return h && GetClassNameA(h, cls, sizeof cls) > 0 && lstrcmpiA(cls, name) == 0;
}

}  // namespace win32_backend

namespace {

HICON g_app_icon = nullptr;

void deliver(UiWindow* w, UiMessageKind kind, int id, int code = 0, int width = 0, int height = 0) {
    // After the end no handler runs: the dialog's state may already be torn down.
    if (!w || w->ended || !w->proc) return;
    UiMessage m{kind, id, code, width, height};
    ++w->depth;
    w->proc(w, &m);
    if (--w->depth == 0 && w->modeless) window_handlers_returned(w);
}

HWND child_at(UiWindow* w, int index) {
    if (!w || !w->hwnd || index < 0) return nullptr;
    HWND h = GetWindow(w->hwnd, GW_CHILD);
    for (int i = 0; h && i < index; ++i) h = GetWindow(h, GW_HWNDNEXT);
    return h;
}

// Single-line edits pass Up and Down on to the dialog logic (the command line's
// history); they have no use for them themselves.
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

}  // namespace

INT_PTR CALLBACK win32_backend::dialog_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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
    case WM_CLOSE_WINDOW:
        if (w && w->modeless) close_window(w);
        return TRUE;
    case WM_DESTROY:
        if (w && w->modeless) window_destroyed(w);
        return FALSE;
    default:
        return FALSE;
    }
}

void ui_win32_load_app_icon(HINSTANCE instance) {
    if (!g_app_icon) g_app_icon = LoadIconA(instance, MAKEINTRESOURCEA(ICON_APP));
}

HWND ui_win32_hwnd(UiWindow* dialog) { return dialog ? dialog->hwnd : nullptr; }

int ui_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context) {
    if (!tmpl || !proc) return -1;
    UiWindow w;
    w.tmpl = tmpl;
    w.proc = proc;
    w.context = context;
    HWND parent = owner && !owner->ended && owner->hwnd && IsWindow(owner->hwnd) ? owner->hwnd : nullptr;
    static int runs = 0;  // the windows it owns close with it; the outermost end is the program's
    ++runs;
    INT_PTR r = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(tmpl->id), parent, dialog_proc,
                                reinterpret_cast<LPARAM>(&w));
    if (--runs == 0) close_all_windows();
    forget_menu_keys(&w);
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
    if (dialog->modeless) {
        if (dialog->hwnd) PostMessageA(dialog->hwnd, WM_CLOSE_WINDOW, 0, 0);
        return;
    }
    // EndDialog only marks the dialog; the modal loop leaves once control is back in
    // it, and the window (with its controls) lives until then.
    if (dialog->hwnd) EndDialog(dialog->hwnd, result);
}

int ui_dialog_alive(UiWindow* dialog) {
    return dialog && !dialog->ended && dialog->hwnd && IsWindow(dialog->hwnd) ? 1 : 0;
}

int ui_dialog_id(UiWindow* dialog) { return dialog && dialog->tmpl ? dialog->tmpl->id : 0; }

void* ui_context(UiWindow* dialog) { return dialog ? dialog->context : nullptr; }

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
