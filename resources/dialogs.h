// The program's dialog templates as data: every backend builds its windows from
// these tables, and the Windows resource script is checked against them.
#pragma once

#include <cstdint>

// Control classes.
// UI_CANVAS: an area the dialog's code draws into (ui_canvas_draw); it takes no input.
enum UiClass { UI_STATIC, UI_BUTTON, UI_CHECKBOX, UI_EDIT, UI_COMBO, UI_LISTVIEW, UI_CANVAS };
// The Windows class of UI_CANVAS: the program's own, registered before any dialog.
constexpr const char* CANVAS_CLASS_NAME = "ZorvCanvas";

// Style bits, with the values the Windows dialog templates use, so the resource
// script can be written straight from the tables.
constexpr uint32_t STYLE_CHILD = 0x40000000, STYLE_VISIBLE = 0x10000000, STYLE_DISABLED = 0x08000000,
                   STYLE_BORDER = 0x00800000, STYLE_VSCROLL = 0x00200000, STYLE_GROUP = 0x00020000,
                   STYLE_TABSTOP = 0x00010000;
// Statics.
constexpr uint32_t SS_RIGHT_ = 0x0002, SS_CENTERIMAGE_ = 0x0200;
// Buttons and check boxes.
constexpr uint32_t BS_PUSHBUTTON_ = 0x0000, BS_AUTOCHECKBOX_ = 0x0003, BS_LEFTTEXT_ = 0x0020,
                   BS_RIGHT_ = 0x0200, BS_CENTER_ = 0x0300, BS_VCENTER_ = 0x0C00, BS_FLAT_ = 0x8000;
// Edits.
constexpr uint32_t ES_AUTOHSCROLL_ = 0x0080;
// Combo boxes.
constexpr uint32_t CBS_DROPDOWN_ = 0x0002, CBS_SORT_ = 0x0100, CBS_AUTOHSCROLL_ = 0x0040;
// List views.
constexpr uint32_t LVS_REPORT_ = 0x0001, LVS_OWNERDATA_ = 0x1000, LVS_NOCOLUMNHEADER_ = 0x4000;
// Dialog windows.
constexpr uint32_t DS_SETFONT_ = 0x40, DS_MODALFRAME_ = 0x80, DS_CENTER_ = 0x0800, WS_POPUP_ = 0x80000000,
                   WS_CAPTION_ = 0x00C00000, WS_SYSMENU_ = 0x00080000, WS_THICKFRAME_ = 0x00040000,
                   WS_MINIMIZEBOX_ = 0x00020000, WS_MAXIMIZEBOX_ = 0x00010000;

struct DialogControl {
    int id;  // -1 for labels
    UiClass cls;
    const char* text;
    int x, y, width, height;  // dialog units
    uint32_t style;           // STYLE_ and class bits, without CHILD | VISIBLE
};

struct DialogTemplate {
    int id;
    const char* caption;
    int width, height;  // dialog units
    const char* font;
    int point_size;
    uint32_t style;
    const DialogControl* controls;  // in template order, which is the tab order
    int count;
};

constexpr int DIALOG_MAIN = 101, ICON_APP = 102, DIALOG_PIN_PANEL = 103, DIALOG_MONITOR = 104;

// Main window controls.
constexpr int ID_PORT = 1000, ID_BAUD = 1001, ID_STARTUP = 1002, ID_CHOOSE_STARTUP = 1003, ID_CONNECT = 1004,
              ID_LOG = 1005, ID_COMMAND = 1006, ID_SEND_FILE = 1007, ID_PAUSE = 1008, ID_STOP = 1009;
// Commands of the log's context menu, sent to the main window like control commands.
constexpr int ID_LOG_SAVE = 1101, ID_LOG_CLEAR = 1102, ID_LOG_SHOW_TIMES = 1103, ID_LOG_KEEP_FILES = 1104,
              ID_LOG_COPY = 1105, ID_LOG_SELECT_ALL = 1106;

// Status monitor controls: the readings, the strip chart and the X-Y view are canvases.
constexpr int ID_MONITOR_READINGS = 1201, ID_MONITOR_CHART = 1202, ID_MONITOR_PLANE = 1203, ID_MONITOR_FREEZE = 1204,
              ID_MONITOR_CLEAR = 1205, ID_MONITOR_SAVE = 1206;

extern const DialogTemplate MAIN_DIALOG;
extern const DialogTemplate PIN_PANEL_DIALOG;
extern const DialogTemplate MONITOR_DIALOG;

// The system-menu entries appended to the main window, in order; text nullptr is a
// separator.
struct SystemMenuEntry {
    int command;
    const char* text;
};
constexpr int SYSCMD_ABOUT = 1, SYSCMD_REPORT = 2, SYSCMD_PIN_PANEL = 3, SYSCMD_STOP_FILE = 4, SYSCMD_MONITOR = 5;
extern const SystemMenuEntry SYSTEM_MENU[10];

// Dialog units to pixels from the dialog font's base units, rounded as MulDiv does:
// x * base_x / 4 and y * base_y / 8.
int dialog_units_to_px_x(int units, int base_x);
int dialog_units_to_px_y(int units, int base_y);
// The Windows window class of a control class, as the resource script and the
// dialogs built from a table in memory name it.
const char* resource_class_name(UiClass cls);

// MulDiv: a * b / c with a 64-bit product, rounded half away from zero; -1 when c is 0.
int mul_div(int a, int b, int c);
