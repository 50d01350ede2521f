// Windows by template and control id. The dialog logic in console/ and tools/ is
// written once as dialog procedures that receive portable messages; each backend
// (Qt, Win32, the recording fake) turns its native events into them.
#pragma once

#include <cstdint>

#include "resources/dialogs.h"

struct UiWindow;  // one open dialog

enum UiMessageKind {
    UI_INIT,        // the dialog's controls exist, it is not shown yet
    UI_COMMAND,     // id: control or command id (1 Enter, 2 Escape/close box), code: notification
    UI_SYSCOMMAND,  // id: system-menu command (SYSCMD_...)
    UI_SIZE,        // width, height: the new client size in pixels
    UI_TIMER,       // id: timer id
    UI_KEY,         // id: the single-line edit that has the focus, code: UI_KEY_UP or UI_KEY_DOWN
    UI_DESTROY,     // a window from ui_open_window is going away: its last message
};

// Notification codes carried by UI_COMMAND. UI_DROPDOWN: a combo box's list is
// about to open; the handler may fill it afresh.
constexpr int UI_CLICKED = 0, UI_SELCHANGE = 1, UI_EDITCHANGE = 5, UI_DROPDOWN = 7;
// Keys a single-line edit passes on as UI_KEY (it has no use for them itself).
constexpr int UI_KEY_UP = 1, UI_KEY_DOWN = 2;
// Command ids the dialog manager sends.
constexpr int UI_IDOK = 1, UI_IDCANCEL = 2;

struct UiMessage {
    UiMessageKind kind;
    int id;
    int code;
    int width, height;
};

using UiDialogProc = void (*)(UiWindow* dialog, const UiMessage* message);

// Message box styles and answers, valued as on Windows.
constexpr uint32_t UI_MB_OK = 0x0, UI_MB_YESNO = 0x4, UI_MB_ICONERROR = 0x10;
constexpr int UI_ANSWER_OK = 1, UI_ANSWER_YES = 6, UI_ANSWER_NO = 7;

// Installs the backend's message dispatch into the link's hooks. Call once before
// the first dialog.
void ui_init();

// Runs a modal dialog from a template until ui_end_dialog; returns its result, or -1
// when the window cannot be made. owner may be null. context is the caller's, handed
// back by ui_context to the dialog's procedure, so a dialog needs no global state.
int ui_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context = nullptr);
// The context the dialog was run with; nullptr for none or a null dialog.
void* ui_context(UiWindow* dialog);
// Ends the dialog once the current handler returns; its controls stay usable until then.
void ui_end_dialog(UiWindow* dialog, int result);
// 1 while the dialog runs (not ended); a handler that waited re-checks this.
int ui_dialog_alive(UiWindow* dialog);
// The template id of the dialog, or 0.
int ui_dialog_id(UiWindow* dialog);

// Control operations by id. Id 0 addresses the dialog itself for texts (its title).
// Unknown ids and null dialogs are ignored (0, -1 or "").
void ui_enable(UiWindow* dialog, int id, int enabled);
int ui_is_enabled(UiWindow* dialog, int id);
void ui_set_text(UiWindow* dialog, int id, const char* text);
// Length of the control's text in bytes (the system code page).
int ui_text_length(UiWindow* dialog, int id);
// Copies the text into buf (size bytes incl. NUL, cut to fit); returns its length.
int ui_get_text(UiWindow* dialog, int id, char* buf, int size);
void ui_set_check(UiWindow* dialog, int id, int checked);
int ui_is_checked(UiWindow* dialog, int id);
void ui_set_focus(UiWindow* dialog, int id);
// Id of the direct child that has the keyboard focus (a combo box's own edit field
// counts as the combo box); 0 when none, -1 for a label.
int ui_focus_id(UiWindow* dialog);
// Queues a command or system command to the dialog, to run after the current handler.
void ui_post_command(UiWindow* dialog, int id);
void ui_post_syscommand(UiWindow* dialog, int command);

// Combo boxes: adds an item (sorted boxes insert in order); with select set it
// becomes the selection and the box's text. The new index, or -1.
int ui_combo_add(UiWindow* dialog, int id, const char* text, int select);
int ui_combo_count(UiWindow* dialog, int id);
int ui_combo_item(UiWindow* dialog, int id, int index, char* buf, int size);
// Removes every item; the text in the box's edit field stays as it is.
void ui_combo_clear(UiWindow* dialog, int id);

// List views: one column of rows that the dialog logic keeps. The list asks for what
// it shows as it draws, so it stores nothing per row; the logic tells it how the rows
// changed. Each callback gets the list's dialog, so it finds its state by ui_context.
struct UiRowSource {
    // Rows there are now.
    int (*count)(UiWindow* dialog);
    // The row as shown (bytes, mostly UTF-8) and its length; valid until the next call
    // of the source.
    const char* (*text)(UiWindow* dialog, int row, int* length);
    // The row's text colour (0xRRGGBB).
    uint32_t (*colour)(UiWindow* dialog, int row);
    // The row's tooltip, given how wide its shown text is (text_px) in a column
    // column_px wide, and its length; as text. Lines end with "\n" or "\r\n".
    const char* (*tip)(UiWindow* dialog, int row, int text_px, int column_px, int* length);
};
// Shows the source's rows (the source must outlive the list: a static table) on the
// given background, in a single column that follows the list's width, so a wide
// window shows long rows whole.
void ui_list_bind(UiWindow* dialog, int id, const UiRowSource* source, uint32_t background);
// The source has a new row at index row; those that were there from row on moved
// down one. Appended rows may reach the screen in batches, faster than the eye follows.
void ui_list_inserted(UiWindow* dialog, int id, int row);
// The source's rows were all removed (its count may be other than 0 by now).
void ui_list_cleared(UiWindow* dialog, int id);
// Every row's shown text changed; the rows are the same.
void ui_list_changed(UiWindow* dialog, int id);
// Scrolls so that the row is wholly visible (batched: at most once per event-loop turn).
void ui_list_ensure_visible(UiWindow* dialog, int id, int row);
// The first selected row after row after (-1: from the top), or -1 when there is none.
int ui_list_next_selected(UiWindow* dialog, int id, int after);
// Selects every row, appended ones still waiting for their batch too.
void ui_list_select_all(UiWindow* dialog, int id);
// Puts text (length bytes, mostly UTF-8) on the clipboard as plain text.
void ui_set_clipboard(UiWindow* owner, const char* text, int length);
// System colours (0xRRGGBB), numbered as the Windows COLOR_ values, and the colour
// the screen shows nearest to a given one.
constexpr int UI_COLOUR_BUTTON_TEXT = 18, UI_COLOUR_BUTTON_HIGHLIGHT = 20;
uint32_t ui_system_colour(int which);
uint32_t ui_nearest_colour(uint32_t rgb);

// A list's context menu, opened by a right click and by the Menu key (Shift+F10);
// the entries must outlive the list (a static table). Every entry sends UI_COMMAND
// with its command (code UI_CLICKED). An entry with a key also runs on Ctrl+key while
// the list has the focus; a check entry shows the mark set by ui_list_check_menu.
// text nullptr: a separator.
struct UiMenuEntry {
    int command;
    const char* text;  // '&' marks the access key, "\t" starts the shortcut's text
    char key;          // 'A'..'Z' for Ctrl+key, 0 for none
    int check;         // 1: a check item
};
// An entry whose command is UI_MENU_WINDOW + c stands for the window menu's command c
// (SYSCMD_...): it sends UI_SYSCOMMAND c and is greyed while that entry is. Window
// managers may keep the window menu to themselves; the list's menu is always there.
constexpr int UI_MENU_WINDOW = 0x10000;
void ui_list_set_menu(UiWindow* dialog, int id, const UiMenuEntry* entries, int count);
void ui_list_check_menu(UiWindow* dialog, int id, int command, int checked);

// The window menu: appends a command (text nullptr: a separator).
void ui_append_system_menu(UiWindow* dialog, int command, const char* text);
void ui_enable_system_menu(UiWindow* dialog, int command, int enabled);
// Ctrl+key (key 'A'..'Z') anywhere in the dialog runs the window menu's command while
// that entry is enabled, and the window menu shows the key. After the entry is appended.
void ui_set_system_menu_key(UiWindow* dialog, int command, char key);

// A modal message box with the program icon when icon_id is ICON_APP (or the error
// icon from the style); owner null means the active window. Returns the answer.
int ui_message_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int icon_id);

// Timers deliver UI_TIMER with their id every ms while the dialog runs.
void ui_set_timer(UiWindow* dialog, int timer_id, int ms);
void ui_kill_timer(UiWindow* dialog, int timer_id);

// File chooser: returns a new heap string (free with ui_free) with the chosen path
// of at most 260 characters, or nullptr when cancelled or failed. Title, filter
// (pairs of NUL-ended texts, ended by an empty one) and initial name may be null.
char* ui_choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext, int open,
                     const char* title);
void ui_free(void* p);

// Geometry for the proportional layout, in pixels relative to the client area.
// Children are addressed by template index (0 .. ui_child_count - 1).
void ui_client_size(UiWindow* dialog, int* width, int* height);
int ui_child_count(UiWindow* dialog);
int ui_child_rect(UiWindow* dialog, int index, int* x, int* y, int* width, int* height);
void ui_move_child(UiWindow* dialog, int index, int x, int y, int width, int height);
void ui_redraw(UiWindow* dialog);
// The operator cannot make the dialog's client area smaller than this (pixels);
// 0 x 0 lifts the limit.
void ui_set_min_client_size(UiWindow* dialog, int width, int height);

// --- Windows that do not block, and drawing ---------------------------------------------

// A window that does not block its owner: made from a template and shown at once, it
// stays above its owner and closes with it. Its procedure gets UI_INIT, then what a
// modal dialog gets (the close box and Escape send UI_COMMAND UI_IDCANCEL; timers;
// commands); ui_end_dialog closes it once the current handler returns. However it
// closes (ui_end_dialog, its owner ending, the program ending), its procedure gets
// UI_DESTROY last; the handle is gone after that. nullptr when it cannot be made.
UiWindow* ui_open_window(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context = nullptr);

// The window's outer frame on the screen, in pixels: 1, or 0 (all 0) for none.
int ui_window_rect(UiWindow* window, int* x, int* y, int* width, int* height);
// Moves and sizes the window's outer frame. A frame that would lie off every screen is
// put back onto the nearest one; sizes below the window's minimum are raised to it.
void ui_set_window_rect(UiWindow* window, int x, int y, int width, int height);
// The work area (the screen less its task bars and docks) of the screen the window is
// on, in pixels: 1, or 0 (all 0) for none.
int ui_work_area(UiWindow* window, int* x, int* y, int* width, int* height);

// What a UI_CANVAS control shows: items drawn in order over an empty canvas, in canvas
// pixels from its top-left corner. Lines are 1 px wide, boxes' right and bottom are one
// past their last pixel, texts are UTF-8 on a transparent background.
enum UiDrawKind { UI_DRAW_LINE, UI_DRAW_POLYLINE, UI_DRAW_BOX, UI_DRAW_FILLED_BOX, UI_DRAW_TEXT };
struct UiDrawPoint {
    int x, y;
};
struct UiDrawItem {
    UiDrawKind kind;
    uint32_t rgb;               // 0xRRGGBB
    const UiDrawPoint* points;  // LINE: 2; POLYLINE: count (2 or more); TEXT: 1, the anchor
    int count;
    int left, top, right, bottom;  // BOX, FILLED_BOX
    const char* text;              // TEXT
    int halign, valign;            // TEXT: 0 its left/top edge at the anchor, 1 centred, 2 right/bottom
    int large;                     // TEXT: 1 for the large font (the readings), 0 the dialog's own
};
// Replaces what the canvas shows with items (copied, points and texts too) and repaints
// it soon; drawing again before the repaint costs one paint. Ignored for other controls.
void ui_canvas_draw(UiWindow* dialog, int id, const UiDrawItem* items, int count);
// The canvas's size in pixels: 1, or 0 (all 0) when id is no canvas.
int ui_canvas_size(UiWindow* dialog, int id, int* width, int* height);
// The width of a digit and the line height of the canvas's normal (large 0) or large
// font, in pixels: 1, or 0 (all 0) when id is no canvas.
int ui_canvas_font_cell(UiWindow* dialog, int id, int large, int* char_width, int* char_height);
