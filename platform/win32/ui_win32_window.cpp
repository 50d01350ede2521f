// Windows that do not block (ui_open_window): modeless dialogs owned by their owner's
// window, so they stay above it and go with it, told UI_DESTROY last; their keyboard in
// every message loop, and the outer frame's place on the screen; the client geometry
// the proportional layout reads and sets.
#include "platform/ui.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/frame_fit.h"
#include "platform/win32/ui_win32_internal.h"

using namespace win32_backend;

namespace {

std::vector<UiWindow*> g_windows;  // open windows of ui_open_window, oldest first

HWND child_at(UiWindow* w, int index) {
    if (!w || !w->hwnd || index < 0) return nullptr;
    HWND h = GetWindow(w->hwnd, GW_CHILD);
    for (int i = 0; h && i < index; ++i) h = GetWindow(h, GW_HWNDNEXT);
    return h;
}

bool is_open(const UiWindow* w) { return std::find(g_windows.begin(), g_windows.end(), w) != g_windows.end(); }

// A dialog template in memory, built from the table, for a template that has no
// dialog resource (the resource script holds the program's modal dialogs).
std::vector<WORD> template_from_table(const DialogTemplate& t) {
    std::vector<WORD> out;
    auto dword = [&out](DWORD v) {
        out.push_back(LOWORD(v));
        out.push_back(HIWORD(v));
    };
    auto text = [&out](const char* s) {
        int n = s ? MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0) : 0;
        std::vector<wchar_t> wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
        if (n > 0) MultiByteToWideChar(CP_ACP, 0, s, -1, wide.data(), n);
        for (wchar_t c : wide) out.push_back(static_cast<WORD>(c));
    };
    DWORD style = t.style | (t.font ? DS_SETFONT : 0);
    dword(style);
    dword(0);
    out.insert(out.end(), {static_cast<WORD>(t.count), 0, 0, static_cast<WORD>(t.width), static_cast<WORD>(t.height)});
    out.insert(out.end(), {0, 0});  // no menu, the dialog class
    text(t.caption);
    if (style & DS_SETFONT) {
        out.push_back(static_cast<WORD>(t.point_size));
        text(t.font);
    }
    for (int i = 0; i < t.count; ++i) {
        const DialogControl& c = t.controls[i];
        if (out.size() % 2) out.push_back(0);  // each item starts on a DWORD
        dword(c.style | WS_CHILD | WS_VISIBLE);
        dword(0);
        out.insert(out.end(), {static_cast<WORD>(c.x), static_cast<WORD>(c.y), static_cast<WORD>(c.width),
                               static_cast<WORD>(c.height), static_cast<WORD>(c.id)});
        text(resource_class_name(c.cls));
        text(c.text);
        out.push_back(0);  // no creation data
    }
    return out;
}

// UI_DESTROY and the record's end, once no handler of the window is on the stack.
void finish(UiWindow* w) {
    g_windows.erase(std::find(g_windows.begin(), g_windows.end(), w));
    UiMessage destroy{UI_DESTROY, 0, 0, 0, 0};
    ++w->depth;
    w->proc(w, &destroy);
    forget_menu_keys(w);
    delete w;
}

}  // namespace

namespace win32_backend {

void close_window(UiWindow* w) {
    if (!is_open(w) || !w->hwnd) return;
    if (w->depth > 0) {
        w->close_pending = true;
        return;
    }
    // Owned windows go first, then WM_DESTROY comes here (window_destroyed).
    DestroyWindow(w->hwnd);
}

void window_destroyed(UiWindow* w) {
    w->ended = true;
    for (int id : w->timers) KillTimer(w->hwnd, static_cast<UINT_PTR>(id));
    w->timers.clear();
    SetWindowLongPtrA(w->hwnd, DWLP_USER, 0);  // nothing more reaches the record
    if (w->depth > 0) {
        w->hwnd = nullptr;
        w->destroy_pending = true;
        return;
    }
    finish(w);  // the window and its controls still exist here
}

void window_handlers_returned(UiWindow* w) {
    if (w->destroy_pending)
        finish(w);
    else if (w->close_pending && w->hwnd)
        PostMessageA(w->hwnd, WM_CLOSE_WINDOW, 0, 0);  // from a fresh message: the handler's own is unwinding
}

void close_all_windows() {
    std::vector<UiWindow*> left = g_windows;
    for (UiWindow* w : left)
        if (is_open(w) && w->hwnd) DestroyWindow(w->hwnd);
}

bool window_dialog_message(MSG* msg) {
    if (!msg || !msg->hwnd || g_windows.empty()) return false;
    HWND root = GetAncestor(msg->hwnd, GA_ROOT);
    for (UiWindow* w : g_windows)
        if (w->hwnd && w->hwnd == root) return IsDialogMessageA(root, msg) != FALSE;
    return false;
}

}  // namespace win32_backend

UiWindow* ui_open_window(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context) {
    if (!tmpl || !proc || tmpl->count < 0 || (tmpl->count > 0 && !tmpl->controls)) return nullptr;
    if (owner && (owner->ended || !owner->hwnd)) return nullptr;
    register_canvas_class();
    auto* w = new UiWindow;
    w->tmpl = tmpl;
    w->proc = proc;
    w->context = context;
    w->modeless = true;
    w->owner = owner;
    g_windows.push_back(w);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND parent = owner ? owner->hwnd : nullptr;  // the owner: above it, and gone with it
    LPARAM self = reinterpret_cast<LPARAM>(w);
    HWND made = nullptr;
    if (FindResourceA(instance, MAKEINTRESOURCEA(tmpl->id), MAKEINTRESOURCEA(5))) {  // RT_DIALOG
        made = CreateDialogParamA(instance, MAKEINTRESOURCEA(tmpl->id), parent, dialog_proc, self);
    } else {
        std::vector<WORD> t = template_from_table(*tmpl);
        made = CreateDialogIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), parent, dialog_proc,
                                          self);
    }
    if (!made) {
        // Failed before its first message: nobody else knows the record.
        if (is_open(w) && !w->hwnd) {
            g_windows.erase(std::find(g_windows.begin(), g_windows.end(), w));
            delete w;
        }
        return nullptr;
    }
    // The dialog's own erasing would show through a canvas for a moment at each resize.
    for (int i = 0; i < tmpl->count; ++i)
        if (tmpl->controls[i].cls == UI_CANVAS)
            SetWindowLongA(made, GWL_STYLE, GetWindowLongA(made, GWL_STYLE) | WS_CLIPCHILDREN);
    if (!w->ended) ShowWindow(made, SW_SHOWNORMAL);
    return w;
}

int ui_window_rect(UiWindow* window, int* x, int* y, int* width, int* height) {
    RECT r{0, 0, 0, 0};
    int ok = window && window->hwnd && GetWindowRect(window->hwnd, &r) ? 1 : 0;
    if (!ok) r = RECT{0, 0, 0, 0};
    if (x) *x = r.left;
    if (y) *y = r.top;
    if (width) *width = r.right - r.left;
    if (height) *height = r.bottom - r.top;
    return ok;
}

void ui_set_window_rect(UiWindow* window, int x, int y, int width, int height) {
    if (!window || !window->hwnd) return;
    WindowFrame given = frame_fenced(WindowFrame{x, y, width, height});
    x = given.x, y = given.y, width = given.width, height = given.height;
    HWND h = window->hwnd;
    DWORD style = static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE));
    RECT now{0, 0, 0, 0};
    GetWindowRect(h, &now);
    if (!(style & WS_THICKFRAME)) {  // a fixed frame keeps its size
        width = now.right - now.left;
        height = now.bottom - now.top;
    } else {
        RECT least{0, 0, window->min_width, window->min_height};
        AdjustWindowRectEx(&least, style, FALSE, static_cast<DWORD>(GetWindowLongA(h, GWL_EXSTYLE)));
        width = std::max(width, static_cast<int>(least.right - least.left));
        height = std::max(height, static_cast<int>(least.bottom - least.top));
    }
    WindowFrame want{x, y, width, height};
    RECT probe{x, y, x + width, y + height};
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(MonitorFromRect(&probe, MONITOR_DEFAULTTONEAREST), &info)) {
        const RECT& a = info.rcWork;
        WindowFrame area{a.left, a.top, a.right - a.left, a.bottom - a.top};
        if (!frame_reachable(want, area)) want = frame_onto(want, area);
    }
    SetWindowPos(h, nullptr, want.x, want.y, want.width, want.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

int ui_work_area(UiWindow* window, int* x, int* y, int* width, int* height) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    int ok = window && window->hwnd &&
             GetMonitorInfoA(MonitorFromWindow(window->hwnd, MONITOR_DEFAULTTONEAREST), &info) ? 1 : 0;
    RECT a = ok ? info.rcWork : RECT{0, 0, 0, 0};
    if (x) *x = a.left;
    if (y) *y = a.top;
    if (width) *width = a.right - a.left;
    if (height) *height = a.bottom - a.top;
    return ok;
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
