// Dialog 101 (the main window), dialog 103 (the pin panel), dialog 104 (the status
// monitor) and the system menu.
#include "resources/dialogs.h"

namespace {

constexpr uint32_t LABEL = SS_RIGHT_ | SS_CENTERIMAGE_;
constexpr uint32_t PUSH = BS_PUSHBUTTON_ | BS_CENTER_ | BS_VCENTER_ | STYLE_TABSTOP;
constexpr uint32_t EDIT = STYLE_BORDER | ES_AUTOHSCROLL_ | STYLE_TABSTOP;
constexpr uint32_t COMBO = CBS_DROPDOWN_ | CBS_AUTOHSCROLL_ | STYLE_VSCROLL | STYLE_TABSTOP;

const DialogControl MAIN_CONTROLS[] = {
    {-1, UI_STATIC, "Port:", 3, 3, 17, 12, LABEL | STYLE_GROUP},
    {ID_PORT, UI_COMBO, "", 24, 3, 95, 209, COMBO | CBS_SORT_},
    {-1, UI_STATIC, "Baud:", 124, 3, 20, 12, LABEL | STYLE_GROUP},
    {ID_BAUD, UI_COMBO, "", 147, 3, 48, 209, COMBO},
    {-1, UI_STATIC, "Startup:", 200, 3, 28, 12, LABEL | STYLE_GROUP},
    {ID_STARTUP, UI_EDIT, "", 231, 3, 95, 12, EDIT},
    {ID_CHOOSE_STARTUP, UI_BUTTON, "...", 327, 3, 14, 12, PUSH},
    {ID_CONNECT, UI_BUTTON, "Connect", 348, 3, 47, 12, PUSH},
    {ID_LOG, UI_LISTVIEW, "", 4, 19, 392, 187, LVS_REPORT_ | LVS_OWNERDATA_ | LVS_NOCOLUMNHEADER_ | STYLE_BORDER | STYLE_TABSTOP},
    {ID_COMMAND, UI_EDIT, "", 4, 210, 245, 12, EDIT},
    {ID_SEND_FILE, UI_BUTTON, "Send File", 254, 210, 49, 12, PUSH},
    {ID_PAUSE, UI_BUTTON, "Pause", 308, 210, 43, 12, PUSH | STYLE_DISABLED},
    {ID_STOP, UI_BUTTON, "Stop", 356, 210, 40, 12, PUSH | STYLE_DISABLED},
};

constexpr uint32_t PIN = BS_AUTOCHECKBOX_ | BS_FLAT_ | BS_VCENTER_ | STYLE_TABSTOP;
constexpr uint32_t LEFT_PIN = PIN | BS_LEFTTEXT_ | BS_RIGHT_;
constexpr uint32_t OFF = STYLE_DISABLED;

const DialogControl PIN_CONTROLS[] = {
    {1035, UI_CHECKBOX, "Use as Input", 4, 4, 56, 8, LEFT_PIN},
    {1010, UI_CHECKBOX, "/Control0  1", 64, 4, 56, 8, LEFT_PIN},
    {1011, UI_CHECKBOX, "Data0  2", 64, 12, 56, 8, LEFT_PIN},
    {1012, UI_CHECKBOX, "Data1  3", 64, 20, 56, 8, LEFT_PIN},
    {1013, UI_CHECKBOX, "Data2  4", 64, 28, 56, 8, LEFT_PIN},
    {1014, UI_CHECKBOX, "Data3  5", 64, 36, 56, 8, LEFT_PIN},
    {1015, UI_CHECKBOX, "Data4  6", 64, 44, 56, 8, LEFT_PIN},
    {1016, UI_CHECKBOX, "Data5  7", 64, 52, 56, 8, LEFT_PIN},
    {1017, UI_CHECKBOX, "Data6  8", 64, 60, 56, 8, LEFT_PIN},
    {1018, UI_CHECKBOX, "Data7  9", 64, 68, 56, 8, LEFT_PIN},
    {1019, UI_CHECKBOX, "Status6  10", 64, 76, 56, 8, LEFT_PIN | OFF},
    {1020, UI_CHECKBOX, "/Status7  11", 64, 84, 56, 8, LEFT_PIN | OFF},
    {1021, UI_CHECKBOX, "Status5  12", 64, 92, 56, 8, LEFT_PIN | OFF},
    {1022, UI_CHECKBOX, "Status4  13", 64, 100, 56, 8, LEFT_PIN | OFF},
    {1036, UI_CHECKBOX, "Use as Input", 180, 8, 56, 8, PIN},
    {1023, UI_CHECKBOX, "14  /Control1", 120, 8, 56, 8, PIN},
    {1024, UI_CHECKBOX, "15  Status3", 120, 16, 56, 8, PIN | OFF},
    {1037, UI_CHECKBOX, "Use as Input", 180, 24, 56, 8, PIN},
    {1025, UI_CHECKBOX, "16  Control2", 120, 24, 56, 8, PIN},
    {1038, UI_CHECKBOX, "Use as Input", 180, 32, 56, 8, PIN},
    {1026, UI_CHECKBOX, "17  /Control3", 120, 32, 56, 8, PIN},
    {1027, UI_CHECKBOX, "18  Ground", 120, 40, 56, 8, PIN | OFF},
    {1028, UI_CHECKBOX, "19  Ground", 120, 48, 56, 8, PIN | OFF},
    {1029, UI_CHECKBOX, "20  Ground", 120, 56, 56, 8, PIN | OFF},
    {1030, UI_CHECKBOX, "21  Ground", 120, 64, 56, 8, PIN | OFF},
    {1031, UI_CHECKBOX, "22  Ground", 120, 72, 56, 8, PIN | OFF},
    {1032, UI_CHECKBOX, "23  Ground", 120, 80, 56, 8, PIN | OFF},
    {1033, UI_CHECKBOX, "24  Ground", 120, 88, 56, 8, PIN | OFF},
    {1034, UI_CHECKBOX, "25  Ground", 120, 96, 56, 8, PIN | OFF},
};

// The canvases take the room; the buttons keep their size along the bottom.
const DialogControl MONITOR_CONTROLS[] = {
    {ID_MONITOR_READINGS, UI_CANVAS, "", 4, 4, 322, 34, 0},
    {ID_MONITOR_CHART, UI_CANVAS, "", 4, 42, 196, 146, STYLE_BORDER},
    {ID_MONITOR_PLANE, UI_CANVAS, "", 204, 42, 122, 146, STYLE_BORDER},
    {ID_MONITOR_FREEZE, UI_CHECKBOX, "Freeze", 4, 193, 40, 12, BS_AUTOCHECKBOX_ | BS_VCENTER_ | STYLE_TABSTOP},
    {ID_MONITOR_CLEAR, UI_BUTTON, "Clear", 48, 193, 40, 12, PUSH},
    {ID_MONITOR_SAVE, UI_BUTTON, "Save Samples As...", 92, 193, 72, 12, PUSH},
};

}  // namespace

const DialogTemplate MAIN_DIALOG = {
    DIALOG_MAIN, "ZORVTalk", 400, 225, "Tahoma", 8,
    WS_POPUP_ | WS_CAPTION_ | WS_SYSMENU_ | WS_THICKFRAME_ | WS_MINIMIZEBOX_ | WS_MAXIMIZEBOX_ | DS_CENTER_ | DS_SETFONT_,
    MAIN_CONTROLS, static_cast<int>(sizeof MAIN_CONTROLS / sizeof MAIN_CONTROLS[0]),
};

const DialogTemplate PIN_PANEL_DIALOG = {
    DIALOG_PIN_PANEL, "ZORV as LPT", 239, 114, "Tahoma", 8,
    WS_POPUP_ | WS_CAPTION_ | WS_SYSMENU_ | DS_CENTER_ | DS_MODALFRAME_ | DS_SETFONT_,
    PIN_CONTROLS, static_cast<int>(sizeof PIN_CONTROLS / sizeof PIN_CONTROLS[0]),
};

const DialogTemplate MONITOR_DIALOG = {
    DIALOG_MONITOR, "ZORV Status Monitor", 330, 209, "Tahoma", 8,
    WS_POPUP_ | WS_CAPTION_ | WS_SYSMENU_ | WS_THICKFRAME_ | WS_MINIMIZEBOX_ | WS_MAXIMIZEBOX_ | DS_CENTER_ | DS_SETFONT_,
    MONITOR_CONTROLS, static_cast<int>(sizeof MONITOR_CONTROLS / sizeof MONITOR_CONTROLS[0]),
};

// New entries come last, so the long-standing ones keep their places.
const SystemMenuEntry SYSTEM_MENU[10] = {
    {0, nullptr}, {SYSCMD_REPORT, "ZORV &Report"},    {0, nullptr}, {SYSCMD_PIN_PANEL, "ZORV as &LPT"},
    {0, nullptr}, {SYSCMD_ABOUT, "&About ZORVTalk"}, {0, nullptr}, {SYSCMD_STOP_FILE, "Stop Command &File"},
    {0, nullptr}, {SYSCMD_MONITOR, "ZORV Status M&onitor"},
};

const char* resource_class_name(UiClass cls) {
    switch (cls) {
    case UI_STATIC: return "Static";
    case UI_BUTTON:
    case UI_CHECKBOX: return "Button";
    case UI_EDIT: return "Edit";
    case UI_COMBO: return "ComboBox";
    case UI_LISTVIEW: return "SysListView32";
    case UI_CANVAS: return CANVAS_CLASS_NAME;
    }
    return "Static";
}

int mul_div(int a, int b, int c) {
    if (c == 0) return -1;
    long long p = static_cast<long long>(a) * b;
    bool negative = (p < 0) != (c < 0);
    long long ap = p < 0 ? -p : p;
    long long ac = c < 0 ? -static_cast<long long>(c) : c;
    long long q = (ap + ac / 2) / ac;
    if (negative) q = -q;
    if (q > 2147483647LL || q < -2147483647LL - 1) return -1;
    return static_cast<int>(q);
}

int dialog_units_to_px_x(int units, int base_x) { return mul_div(units, base_x, 4); }
int dialog_units_to_px_y(int units, int base_y) { return mul_div(units, base_y, 8); }
