// What the Win32 backend's files share and nothing else sees: the window record behind
// a UiWindow, the log list's state and the helpers more than one file uses.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui.h"

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
// ended the dialog further up may still ask ui_dialog_alive. A window of ui_open_window
// lives on the heap until UI_DESTROY, which waits for its handlers on the stack.
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
    bool modeless = false;  // from ui_open_window
    UiWindow* owner = nullptr;
    int depth = 0;                 // handlers of this window running, nested waits included
    bool close_pending = false;    // ended while a handler of it ran
    bool destroy_pending = false;  // its window went while a handler of it ran
};

namespace win32_backend {

// The old window procedure of a subclassed control.
inline const char* const OLD_PROC = "zorv.edit.proc";

inline COLORREF to_colorref(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A control of the dialog by id (0: the dialog itself), or nullptr.
HWND control(UiWindow* w, int id);
bool is_class(HWND h, const char* name);

// The log list (ui_win32_log_list.cpp): what the dialog procedure hands on to it.
void fit_lists(HWND dialog);
void context_menu(UiWindow* w, HWND list, LPARAM where);
void list_key(UiWindow* w, HWND list, WORD key);
void fill_text(UiWindow* w, NMLVDISPINFOA* info);
void fill_tip(UiWindow* w, NMLVGETINFOTIPA* tip);
LRESULT custom_draw(UiWindow* w, NMLVCUSTOMDRAW* cd);

// The dialog procedure of every dialog and window (ui_win32_dialog.cpp).
INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Windows of ui_open_window (ui_win32_window.cpp). ui_end_dialog posts the close.
constexpr UINT WM_CLOSE_WINDOW = WM_APP + 0x2A;
void close_window(UiWindow* w);
// WM_DESTROY of such a window; and what runs when its last handler on the stack returns.
void window_destroyed(UiWindow* w);
void window_handlers_returned(UiWindow* w);
// Closes every one left: the outermost dialog's end is the program's.
void close_all_windows();
// The keyboard of a window of ui_open_window (Tab, Enter, Escape), for every message
// loop: true when the message was its and is done.
bool window_dialog_message(MSG* msg);

// The canvas control's window class (ui_win32_canvas.cpp), registered once.
void register_canvas_class();

// The window menu (ui_win32_menus_boxes.cpp).
// The log menu's stand-ins for window-menu entries carry ids that fit a menu's 16 bits.
constexpr int WINDOW_ENTRY_ID = 0xE100;
bool window_entry_enabled(UiWindow* w, int command);
// Ctrl+key of a window-menu entry, wherever the focus is in its dialog: the entry's
// command, posted as the menu would send it. true when the key was one of them.
bool window_menu_key(const MSG* msg);
// The dialog manager's own loop shows each message here before it handles it.
LRESULT CALLBACK message_filter(int code, WPARAM wp, LPARAM lp);
// A dialog that ended has no window-menu keys any more.
void forget_menu_keys(UiWindow* w);

}  // namespace win32_backend
