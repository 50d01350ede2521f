// A recording stand-in for platform/ui.h: windows are plain records, message boxes
// and file choosers answer from scripts, and tests drive dialogs by sending messages.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/ui.h"

struct FakeControl {
    UiClass cls = UI_STATIC;
    std::string text;
    bool enabled = true;
    int checked = 0;
    std::vector<std::string> items;  // combo items, in list order
    int rows_known = 0;              // a list's rows as it was told of them: none are kept here
    std::set<int> selected;          // a list's selected rows
    int changes = 0;                 // ui_list_changed calls
    int x = 0, y = 0, width = 0, height = 0;
    int last_visible = -1;
    std::vector<UiDrawItem> drawn;  // a canvas's last picture; points and texts point into the two below
    std::vector<std::vector<UiDrawPoint>> drawn_points;
    std::vector<std::string> drawn_texts;
    int draws = 0;  // ui_canvas_draw calls
};

struct FakeMessageBox {
    std::string text, caption;
    uint32_t style;
    int icon;
    int dialog_id;  // template id of the owner, 0 for none
};

struct UiWindow {
    const DialogTemplate* tmpl = nullptr;
    UiDialogProc proc = nullptr;
    void* context = nullptr;  // the caller's, for ui_context
    UiWindow* owner = nullptr;
    bool modeless = false;  // from ui_open_window
    int frame_x = 0, frame_y = 0, frame_width = 0, frame_height = 0;  // ui_window_rect
    std::string title;
    bool alive = true;
    int result = 0;
    int focus = 0;
    int client_width = 0, client_height = 0;
    int min_width = 0, min_height = 0;
    std::vector<int> child_ids;  // by template index
    std::map<int, FakeControl> controls;
    std::vector<FakeControl> labels;
    std::deque<UiMessage> posted;
    std::map<int, int> timers;
    std::vector<std::pair<int, std::string>> system_menu;
    std::set<int> menu_disabled;  // system-menu commands greyed
    std::map<int, char> menu_keys;  // system-menu command: its Ctrl+key
    uint32_t list_background = 0;
    const UiRowSource* list_rows = nullptr;
    const UiMenuEntry* list_menu = nullptr;
    int list_menu_count = 0;
    std::set<int> list_checked;  // checked entries of the list's menu
    int redraws = 0;
};

struct FakeUi {
    // Called when a dialog of that template id starts running (after UI_INIT);
    // it drives the dialog. Without one, the dialog ends at once with IDCANCEL.
    std::map<int, std::function<void(UiWindow*)>> drivers;
    std::deque<int> answers;  // message box answers; empty: OK / the default Yes
    std::vector<FakeMessageBox> boxes;
    std::function<void(const FakeMessageBox&)> on_box;  // runs while a box is "open"
    std::deque<std::string> chosen_files;  // "" means cancel
    std::vector<std::string> chooser_titles, chooser_initial;
    std::function<void()> on_dispatch;  // runs at every dispatch_pending_messages
    int dispatches = 0;
    std::vector<UiWindow*> open;  // running dialogs, innermost last
    std::vector<UiWindow*> windows;  // open windows from ui_open_window, oldest first
    std::string clipboard;
};

FakeUi& fake_ui();
void fake_ui_reset();
// Delivers a message to the dialog's procedure now, as the backend would.
void fake_ui_send(UiWindow* dialog, UiMessage message);
void fake_ui_click(UiWindow* dialog, int id);
void fake_ui_type(UiWindow* dialog, int id, const std::string& text);
// Runs posted messages and, once per call, every timer of every open dialog.
void fake_ui_pump();
void fake_ui_fire_timers();
FakeControl& fake_control(UiWindow* dialog, int id);
// Closes the ui_open_window windows that have ended or whose owner is owner (null: every
// one), each getting UI_DESTROY, as a backend does after the handler that ended them.
void fake_ui_close_windows(UiWindow* owner);
