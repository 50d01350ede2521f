// Drives zorvtalk.exe from a second process the way an operator would: checks the
// main window against the dialog table, picks the port from the registry list, types
// the baud rate, connects to the simulator, sends commands and reads the log rows
// back (list-view messages across processes), opens the status report and the pin
// panel through the system menu, and exits through the exit question while a command
// is still waiting.
// Usage: gui_wine_driver ZORVTALK_EXE PORT_NUMBER
// With ZORV_GUI_MARK_DIR set it writes "<step>.mark" files there and holds each
// marked view for ZORV_GUI_HOLD_MS, so a script can take screenshots.
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "resources/dialogs.h"

namespace {

int g_passed = 0, g_failed = 0;

void check(bool ok, const std::string& what) {
    if (ok) {
        ++g_passed;
        std::printf("ok   %s\n", what.c_str());
    } else {
        ++g_failed;
        std::printf("FAIL %s\n", what.c_str());
    }
    std::fflush(stdout);
}

void check_eq(const std::string& got, const std::string& want, const std::string& what) {
    check(got == want, what + ": got \"" + got + "\", want \"" + want + "\"");
}

PROCESS_INFORMATION g_app{};

std::string text_of(HWND h) {
    char buf[1024] = "";
    SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buf;
}

std::string class_of(HWND h) {
    char buf[64] = "";
    GetClassNameA(h, buf, sizeof buf);
    return buf;
}

struct Search {
    DWORD pid;
    std::string title;
    HWND found;
};

BOOL CALLBACK match_window(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != s->pid || !IsWindowVisible(h)) return TRUE;
    char title[256] = "";
    GetWindowTextA(h, title, sizeof title);
    if (s->title == title) {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the program with this exact title, waited for.
HWND find_window(const std::string& title, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    for (;;) {
        Search s{g_app.dwProcessId, title, nullptr};
        EnumWindows(match_window, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        if (GetTickCount() - start >= timeout_ms) return nullptr;
        Sleep(50);
    }
}

bool wait_gone(HWND h, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    while (IsWindow(h) && IsWindowVisible(h)) {
        if (GetTickCount() - start >= timeout_ms) return false;
        Sleep(50);
    }
    return true;
}

template <typename Pred>
bool wait_for(Pred pred, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start >= timeout_ms) return false;
        Sleep(50);
    }
    return true;
}

// The text of every static child (a message box's text), joined.
std::string box_text(HWND box) {
    std::string all;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (class_of(c) == "Static") all += text_of(c);
    return all;
}

// A log row of the program's list view, read through memory in its process.
std::string list_row(HWND list, int row) {
    const SIZE_T text_size = 512;
    char* remote = static_cast<char*>(
        VirtualAllocEx(g_app.hProcess, nullptr, sizeof(LVITEMA) + text_size, MEM_COMMIT, PAGE_READWRITE));
    if (!remote) return "<no memory>";
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = remote + sizeof(LVITEMA);
    item.cchTextMax = static_cast<int>(text_size);
    std::string out;
    if (WriteProcessMemory(g_app.hProcess, remote, &item, sizeof item, nullptr)) {
        DWORD_PTR n = 0;
        SendMessageTimeoutA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                            SMTO_ABORTIFHUNG, 5000, &n);
        char text[512] = "";
        if (ReadProcessMemory(g_app.hProcess, remote + sizeof(LVITEMA), text, sizeof text, nullptr)) {
            text[sizeof text - 1] = '\0';
            out = text;
        }
    }
    VirtualFreeEx(g_app.hProcess, remote, 0, MEM_RELEASE);
    return out;
}

BOOL CALLBACK find_edit(HWND h, LPARAM lp) {
    if (class_of(h) != "Edit") return TRUE;
    *reinterpret_cast<HWND*>(lp) = h;
    return FALSE;
}

HWND first_edit(HWND parent) {
    if (class_of(parent) == "Edit") return parent;
    HWND found = nullptr;
    EnumChildWindows(parent, find_edit, reinterpret_cast<LPARAM>(&found));
    return found;
}

int list_count(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

void mark(const char* step) {
    const char* dir = std::getenv("ZORV_GUI_MARK_DIR");
    if (!dir || !*dir) return;
    std::ofstream(std::string(dir) + "\\" + step + ".mark") << step;
    const char* hold = std::getenv("ZORV_GUI_HOLD_MS");
    Sleep(hold ? static_cast<DWORD>(std::atoi(hold)) : 2000);
}

// Types a command line the operator's way: focus on the command line, then Enter,
// which the dialog manager turns into IDOK.
void type_command(HWND main, const char* command) {
    HWND edit = GetDlgItem(main, ID_COMMAND);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(command));
    PostMessageA(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(edit, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

// Sends a command and returns its reply row once both rows are there.
std::string run_command(HWND main, const char* command) {
    HWND list = GetDlgItem(main, ID_LOG);
    int before = list_count(list);
    type_command(main, command);
    bool done = wait_for([&] { return list_count(list) >= before + 2 && IsWindowEnabled(GetDlgItem(main, ID_COMMAND)); }, 10000);
    check(done, std::string("reply rows for \"") + command + "\"");
    if (!done) return "<no reply>";
    check_eq(list_row(list, before), command, "command row");
    return list_row(list, before + 1);
}

// The milliseconds of the day of a row shown with its time ("HH:MM:SS.mmm  text"), or -1.
long row_ms(const std::string& row) {
    int h = 0, m = 0, s = 0, ms = 0;
    if (std::sscanf(row.c_str(), "%2d:%2d:%2d.%3d", &h, &m, &s, &ms) != 4) return -1;
    return ((h * 60L + m) * 60 + s) * 1000 + ms;
}

// A reply that comes while the log's context menu is held open carries the time it
// came, not the time the menu closed.
void check_reply_under_menu(HWND main) {
    HWND list = GetDlgItem(main, ID_LOG);
    PostMessageA(main, WM_COMMAND, ID_LOG_SHOW_TIMES, 0);
    check(wait_for([&] { return row_ms(list_row(list, 0)) >= 0; }, 5000), "rows show their times");
    int before = list_count(list);
    type_command(main, "run 500");
    check(wait_for([&] { return list_count(list) == before + 1; }, 5000), "run's command row");
    PostMessageA(main, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
    HWND menu = nullptr;
    check(wait_for([&] { return (menu = FindWindowA("#32768", nullptr)) != nullptr && IsWindowVisible(menu); }, 5000),
          "the log's context menu opens");
    mark("menu-held");
    Sleep(2000);  // the reply comes 0.5 s in, the menu stays 2 s
    check(list_count(list) == before + 1, "the reply row waits for the menu");
    if (menu) PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    check(wait_for([&] { return list_count(list) == before + 2; }, 5000), "run's reply row after the menu");
    long sent = row_ms(list_row(list, before)), came = row_ms(list_row(list, before + 1));
    check(sent >= 0 && came >= sent + 450 && came < sent + 1500,
          "the reply row's time is when it came: " + list_row(list, before) + " / " + list_row(list, before + 1));
    PostMessageA(main, WM_COMMAND, ID_LOG_SHOW_TIMES, 0);
    check(wait_for([&] { return row_ms(list_row(list, 0)) < 0; }, 5000), "times hidden again");
}

// The window with the keyboard focus in the program's thread that owns main.
HWND focus_of(HWND main) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) ? info.hwndFocus : nullptr;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

RECT child_rect(HWND main, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(main, id), &r);
    POINT o{0, 0};
    ClientToScreen(main, &o);
    OffsetRect(&r, -o.x, -o.y);
    return r;
}

std::string rect_text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

int dropped_height(HWND combo) {
    RECT r{};
    SendMessageA(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r.bottom - r.top;
}

// Resizing moves the rows sideways by half the extra width, grows the log, moves the
// bottom row down, keeps the combo boxes' lists, and the designed size restores all.
void check_resizing(HWND main) {
    RECT window, client;
    GetWindowRect(main, &window);
    GetClientRect(main, &client);
    RECT log0 = child_rect(main, ID_LOG), connect0 = child_rect(main, ID_CONNECT), stop0 = child_rect(main, ID_STOP);
    int list0 = dropped_height(GetDlgItem(main, ID_PORT));
    int w = window.right - window.left, h = window.bottom - window.top;
    SetWindowPos(main, nullptr, 0, 0, w + 100, h + 60, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    bool moved = wait_for([&] { return child_rect(main, ID_LOG).right - log0.right == 100; }, 5000);
    RECT log1 = child_rect(main, ID_LOG), connect1 = child_rect(main, ID_CONNECT), stop1 = child_rect(main, ID_STOP);
    check(moved && log1.left == log0.left && log1.bottom - log0.bottom == 60, "log grows: " + rect_text(log1));
    check(connect1.left - connect0.left == 50 && connect1.top == connect0.top, "Connect moves sideways: " + rect_text(connect1));
    check(stop1.left - stop0.left == 50 && stop1.top - stop0.top == 60, "Stop moves sideways and down: " + rect_text(stop1));
    check(dropped_height(GetDlgItem(main, ID_PORT)) == list0, "Port box keeps its list height");
    SetWindowPos(main, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    auto same = [&](const RECT& designed, int id) {
        RECT now = child_rect(main, id);
        return EqualRect(&designed, &now) != 0;
    };
    bool back = wait_for([&] { return same(log0, ID_LOG); }, 5000);
    check(back && same(connect0, ID_CONNECT) && same(stop0, ID_STOP), "the designed size puts every control back");

    // Made as small as it goes: shorter than designed, yet every control inside the
    // client area and none over another.
    SetWindowPos(main, nullptr, 0, 0, 60, 60, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT small{};
    bool shrunk = wait_for([&] {
        GetClientRect(main, &small);
        return small.bottom < client.bottom && child_rect(main, ID_STOP).top < stop0.top;
    }, 5000);
    check(shrunk && small.right >= log0.right, "smallest client " + rect_text(small));
    std::vector<RECT> placed;
    for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(c, &r);
        POINT o{0, 0};
        ClientToScreen(main, &o);
        OffsetRect(&r, -o.x, -o.y);
        placed.push_back(r);
    }
    int outside = 0, overlapping = 0;
    for (size_t i = 0; i < placed.size(); ++i) {
        RECT both;
        if (placed[i].left < 0 || placed[i].top < 0 || placed[i].right > small.right || placed[i].bottom > small.bottom)
            ++outside;
        for (size_t j = i + 1; j < placed.size(); ++j) overlapping += IntersectRect(&both, &placed[i], &placed[j]) ? 1 : 0;
    }
    check(outside == 0 && overlapping == 0, "at the smallest: " + std::to_string(outside) + " controls cut, " +
                                                std::to_string(overlapping) + " overlaps");
    SetWindowPos(main, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    check(wait_for([&] { return same(log0, ID_LOG) && same(stop0, ID_STOP); }, 5000), "back to the designed size");
}

// The log's text colours as drawn: commands in the button-text colour, replies blue.
// Rows first and first + 1: a command and its reply.
void check_row_colours(HWND list, int first) {
    HDC screen = GetDC(nullptr);
    for (int row = first; row < first + 2; ++row) {
        RECT* remote = static_cast<RECT*>(VirtualAllocEx(g_app.hProcess, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE));
        RECT r{LVIR_LABEL, 0, 0, 0};
        WriteProcessMemory(g_app.hProcess, remote, &r, sizeof r, nullptr);
        SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(g_app.hProcess, remote, &r, sizeof r, nullptr);
        VirtualFreeEx(g_app.hProcess, remote, 0, MEM_RELEASE);
        MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&r), 2);
        int blue = 0, black = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.left + 60 && x < r.right; ++x) {
                COLORREF c = GetPixel(screen, x, y);
                if (c == RGB(0, 0, 255)) ++blue;
                if (c == RGB(0, 0, 0)) ++black;
            }
        if (row == first) check(black > 0 && blue == 0, "command row drawn black");
        if (row == first + 1) check(blue > 0 && black == 0, "reply row drawn blue");
    }
    ReleaseDC(nullptr, screen);
}

void check_main_window(HWND main) {
    RECT client;
    GetClientRect(main, &client);
    // Base units from the client size, to compare each control's place with the table.
    double bx = client.right * 4.0 / MAIN_DIALOG.width, by = client.bottom * 8.0 / MAIN_DIALOG.height;
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    int index = 0, misplaced = 0;
    for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++index) {
        if (index >= MAIN_DIALOG.count) break;
        const DialogControl& want = MAIN_DIALOG.controls[index];
        int id = GetDlgCtrlID(c);
        check(id == (want.id == -1 ? 0xFFFF : want.id), "control " + std::to_string(index) + " has id " + std::to_string(want.id));
        static const char* const classes[] = {"Static", "Button", "Button", "Edit", "ComboBox", "SysListView32"};
        check(_stricmp(class_of(c).c_str(), classes[want.cls]) == 0, "control " + std::to_string(want.id) + " is a " + classes[want.cls]);
        if (want.cls == UI_BUTTON || want.cls == UI_STATIC) check_eq(text_of(c), want.text, "text of control " + std::to_string(index));
        RECT r;
        GetWindowRect(c, &r);
        double x = (r.left - origin.x) / bx * 4, y = (r.top - origin.y) / by * 8, w = (r.right - r.left) / bx * 4;
        if (std::abs(x - want.x) > 1.5 || std::abs(y - want.y) > 1.5 || std::abs(w - want.width) > 1.5) {
            ++misplaced;
            std::printf("     control %d at %.1f,%.1f width %.1f units, table %d,%d width %d\n", want.id, x, y, w, want.x,
                        want.y, want.width);
        }
    }
    check(index == MAIN_DIALOG.count, "13 controls in template order");
    check(misplaced == 0, "controls where the table puts them");
}

void check_states(HWND main, bool connected) {
    const int off_when_connected[] = {ID_PORT, ID_BAUD, ID_STARTUP, ID_CHOOSE_STARTUP};
    for (int id : off_when_connected)
        check((IsWindowEnabled(GetDlgItem(main, id)) != 0) == !connected, "enabled state of " + std::to_string(id));
    for (int id : {ID_COMMAND, ID_SEND_FILE})
        check((IsWindowEnabled(GetDlgItem(main, id)) != 0) == connected, "enabled state of " + std::to_string(id));
    for (int id : {ID_PAUSE, ID_STOP}) check(!IsWindowEnabled(GetDlgItem(main, id)), "disabled " + std::to_string(id));
    check_eq(text_of(GetDlgItem(main, ID_CONNECT)), connected ? "Disconnect" : "Connect", "Connect button");
}

// How often the simulator on COM<port> traced what; -1 without its trace.
int trace_count(int port, const char* what) {
    const char* sims = std::getenv("ZORV_SIM_DIR");
    if (!sims) return -1;
    std::string log = read_file(std::string(sims) + "\\com" + std::to_string(port) + ".log");
    int n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
}

void left_click() {
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

// Input during the reset's 1.1 s: a double click on Connect connects once and stays
// connected; the close box 0.3 s in ends the program before the greeting goes out.
void check_reset(const std::string& exe, const std::string& dir, int port) {
    const char* sims = std::getenv("ZORV_SIM_DIR");
    auto count = [&](const char* what) { return trace_count(port, what); };
    auto greetings = [&] { return count("|A|"); };
    std::string title = "ZORVTalk - COM" + std::to_string(port) + ": 115200";
    for (bool close : {false, true}) {
        std::string what = close ? "close during the reset: " : "double click on Connect: ";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::string cmd = "\"" + exe + "\"";
        if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &g_app)) {
            check(false, what + "start zorvtalk.exe");
            return;
        }
        WaitForInputIdle(g_app.hProcess, 20000);
        HWND main = find_window("ZORVTalk", 20000);
        check(main != nullptr, what + "main window");
        int before = greetings(), closed = count("peer closed");
        if (main) {
            // Real clicks: they wait in the input queue like an operator's.
            SetForegroundWindow(main);
            RECT r{};
            GetWindowRect(GetDlgItem(main, ID_CONNECT), &r);
            SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
            left_click();
            Sleep(300);
            if (close)
                PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
            else
                left_click();
        }
        if (close) {
            bool ended = WaitForSingleObject(g_app.hProcess, 10000) == WAIT_OBJECT_0;
            check(ended, what + "the program ends without a question");
            // Once the simulator has seen the port closed, nothing more can reach it.
            if (sims) check(wait_for([&] { return count("peer closed") > closed; }, 10000), what + "port closed");
            if (sims) check(greetings() == before, what + "no greeting went out");
            if (!ended) TerminateProcess(g_app.hProcess, 1);
        } else {
            check(wait_for([&] { return main && text_of(main) == title; }, 15000), what + "connected");
            Sleep(1500);
            check(text_of(main) == title && find_window("Exit", 0) == nullptr, what + "still connected, nothing asked");
            if (sims) check(greetings() == before + 1, what + "one greeting");
            mark("reset-double-click");
            PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
            if (HWND question = find_window("Exit", 10000)) PostMessageA(question, WM_COMMAND, IDYES, 0);
            if (WaitForSingleObject(g_app.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(g_app.hProcess, 1);
        }
        CloseHandle(g_app.hThread);
        CloseHandle(g_app.hProcess);
    }
}

int drive(const std::string& exe_path, int port) {
    // A copy of the program in a folder of its own: its settings file lands beside it.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + "zorv-gui-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string exe = dir + "\\zorvtalk.exe", ini = dir + "\\zorvtalk.ini";
    check(CopyFileA(exe_path.c_str(), exe.c_str(), FALSE) != 0, "copy the program");

    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string cmd = "\"" + exe + "\"";
    if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &g_app)) {
        check(false, "start zorvtalk.exe");
        return 1;
    }
    WaitForInputIdle(g_app.hProcess, 20000);
    HWND main = find_window("ZORVTalk", 20000);
    check(main != nullptr, "main window \"ZORVTalk\" appears");
    if (!main) return 1;
    check_main_window(main);
    check_states(main, false);
    check_resizing(main);

    // Port: picked from the list the registry gave; Baud: typed.
    HWND port_box = GetDlgItem(main, ID_PORT), baud_box = GetDlgItem(main, ID_BAUD);
    std::string port_name = "COM" + std::to_string(port) + " (";
    LRESULT index = SendMessageA(port_box, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(port_name.c_str()));
    check(index >= 0, "Port box lists " + port_name + "...)");
    // Opening the box lists the ports afresh and keeps what was typed in it.
    int listed = static_cast<int>(SendMessageA(port_box, CB_GETCOUNT, 0, 0));
    SendMessageA(port_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("COM77"));
    SendMessageA(port_box, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageA(port_box, CB_SHOWDROPDOWN, FALSE, 0);
    check_eq(text_of(port_box), "COM77", "typed Port text after the box opened");
    check(SendMessageA(port_box, CB_GETCOUNT, 0, 0) == listed, "the same ports listed again");
    index = SendMessageA(port_box, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(port_name.c_str()));
    check(SendMessageA(baud_box, CB_GETCOUNT, 0, 0) == 16, "Baud box lists 16 rates");
    check_eq(text_of(baud_box), "921600", "Baud box starts at the last rate");
    SendMessageA(port_box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(ID_PORT, CBN_SELCHANGE), reinterpret_cast<LPARAM>(port_box));
    SendMessageA(baud_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("115200 baud"));
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(ID_BAUD, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(baud_box));

    // The startup file: chosen through the file dialog of the "..." button; it runs
    // right after the connect.
    std::string startup = dir + "\\startup.cmd";
    // A NUL at a line start skips itself and the 16 bytes after it.
    std::ofstream(startup, std::ios::binary)
        << std::string("echo startup one\r\n") + '\0' + "skip-this-block!echo startup two\r";
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(ID_CHOOSE_STARTUP, BN_CLICKED), 0);
    HWND chooser = find_window("Choose Startup File", 10000);
    check(chooser != nullptr, "file dialog \"Choose Startup File\"");
    if (chooser) {
        // The file name field: the edit inside the name box (cmb13, 0x47C) of the
        // explorer-style dialog, or the classic dialog's edit (edt1, 0x480).
        HWND box = GetDlgItem(chooser, 0x47C);
        HWND name = first_edit(box ? box : chooser);
        check(name != nullptr, "file name field");
        if (name) SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(startup.c_str()));
        PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        bool closed = wait_gone(chooser, 5000);
        check(closed, "file dialog closes");
        if (!closed) PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    check(wait_for([&] { return text_of(GetDlgItem(main, ID_STARTUP)) == startup; }, 5000),
          "Startup box holds the chosen path");

    mark("disconnected");
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(ID_CONNECT, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(main, ID_CONNECT)));
    std::string title = "ZORVTalk - COM" + std::to_string(port) + ": 115200";
    bool connected = wait_for([&] { return text_of(main) == title || find_window("Connection error", 0); }, 15000);
    check(connected && text_of(main) == title, "connected, title \"" + title + "\"");
    if (HWND err = find_window("Connection error", 0)) {
        check(false, "connection error: " + box_text(err));
        PostMessageA(err, WM_COMMAND, IDOK, 0);
    }
    std::string settings = read_file(ini);
    check(settings.find("Port=" + std::to_string(port)) != std::string::npos && settings.find("Baud=115200") != std::string::npos,
          "settings written beside the exe");

    HWND log = GetDlgItem(main, ID_LOG);
    check(wait_for([&] { return list_count(log) >= 5 && IsWindowEnabled(GetDlgItem(main, ID_COMMAND)); }, 10000),
          "startup file ran: a note and four rows");
    // The startup file runs right after the connect; the idle states come after it.
    check_states(main, true);
    check(focus_of(main) == GetDlgItem(main, ID_COMMAND), "the focus is on the command line after the connect");
    check(list_row(log, 0).rfind("connected to COM" + std::to_string(port) + " ", 0) == 0, "connect note row");
    const char* const startup_rows[] = {"echo startup one", "startup one", "echo startup two", "startup two"};
    for (int i = 0; i < 4; ++i) check_eq(list_row(log, i + 1), startup_rows[i], "startup row " + std::to_string(i));
    check(read_file(ini).find("Startup=" + startup) != std::string::npos, "Startup setting written");

    check_eq(run_command(main, "echo hello from wine"), "hello from wine", "echo reply");
    check_eq(text_of(GetDlgItem(main, ID_COMMAND)), "", "command line emptied");
    check_row_colours(log, 1);
    check_eq(run_command(main, "len 300"), std::string(300, 'a'), "a long reply is kept whole");
    check_eq(run_command(main, "pos 1 -2 3 -4"), "ok", "pos");
    check_eq(run_command(main, "set q -1"), "ok", "set q");
    check_reply_under_menu(main);

    PostMessageA(main, WM_SYSCOMMAND, SYSCMD_REPORT, 0);
    HWND report = find_window("ZORV Report", 10000);
    check(report != nullptr, "status report box");
    if (report) {
        check_eq(box_text(report), "Q=-1, X=1, Y=-2, Z=3, W=-4", "status report text");
        PostMessageA(report, WM_COMMAND, IDOK, 0);
        check(wait_gone(report, 5000), "status report box closes");
    }

    PostMessageA(main, WM_SYSCOMMAND, SYSCMD_PIN_PANEL, 0);
    HWND panel = find_window("ZORV as LPT", 10000);
    check(panel != nullptr, "pin panel");
    if (panel) {
        int boxes = 0;
        for (HWND c = GetWindow(panel, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++boxes;
        check(boxes == PIN_PANEL_DIALOG.count, "29 check boxes");
        // Modal: minimized, it would leave the main window ignoring all input.
        check(!(GetWindowLongA(panel, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)), "no minimize or maximize box");
        int polls = trace_count(port, "pin ");
        check(wait_for([&] { return polls < 0 || trace_count(port, "pin ") >= polls + 2; }, 5000), "the panel polls the pins");
        check(SendDlgItemMessageA(panel, 1011, BM_GETCHECK, 0, 0) == BST_UNCHECKED, "Data0 reads 0");
        // Clicking Data0 writes data bit 0; the loopback shows it on Status3 (pin 15).
        HWND data0 = GetDlgItem(panel, 1011);
        PostMessageA(data0, BM_CLICK, 0, 0);
        bool seen = wait_for([&] { return SendDlgItemMessageA(panel, 1024, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5000);
        check(seen, "Status3 follows the written Data0");
        check(SendDlgItemMessageA(panel, 1011, BM_GETCHECK, 0, 0) == BST_CHECKED, "Data0 reads back 1");
        check(SendDlgItemMessageA(panel, 1020, BM_GETCHECK, 0, 0) == BST_UNCHECKED, "/Status7 shows level 0");
        check(!IsWindowEnabled(GetDlgItem(panel, 1027)), "ground pins disabled");
        mark("pin-panel");
        PostMessageA(panel, WM_COMMAND, IDCANCEL, 0);
        check(wait_gone(panel, 5000), "pin panel closes");
    }
    check_eq(run_command(main, "pins"), "data=01 status=88 control=00", "the panel's write reached the controller");

    // The status monitor: a window of its own, sampling while a command runs, and the
    // main window's commands going on beside it.
    PostMessageA(main, WM_SYSCOMMAND, SYSCMD_MONITOR, 0);
    HWND monitor = find_window("ZORV Status Monitor", 10000);
    check(monitor != nullptr, "status monitor");
    if (monitor) {
        int controls = 0;
        for (HWND c = GetWindow(monitor, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++controls;
        check(controls == MONITOR_DIALOG.count, "the monitor's controls");
        RECT frame{}, desk{};
        GetWindowRect(monitor, &frame);
        GetWindowRect(GetDesktopWindow(), &desk);
        check(frame.left >= desk.left && frame.top >= desk.top && frame.right <= desk.right && frame.bottom <= desk.bottom,
              "the monitor on the screen: " + rect_text(frame));
        mark("monitor-open");
        HWND list = GetDlgItem(main, ID_LOG);
        int rows = list_count(list), asked = trace_count(port, "ctrl 12");
        // The monitor has the focus now: back to the command line as the operator goes,
        // with a click on its end the monitor leaves uncovered.
        RECT edit{};
        GetWindowRect(GetDlgItem(main, ID_COMMAND), &edit);
        SetCursorPos(edit.left + 8, (edit.top + edit.bottom) / 2);
        left_click();
        Sleep(300);
        type_command(main, "move x 10000 y 5000 3000");
        check(wait_for([&] { return asked < 0 || trace_count(port, "ctrl 12") >= asked + 5; }, 10000),
              "the monitor asks for readings during a move");
        mark("monitor");
        check(wait_for([&] { return list_count(list) >= rows + 2 && IsWindowEnabled(GetDlgItem(main, ID_COMMAND)); }, 10000),
              "the move's reply row");
        check_eq(list_row(list, rows + 1), "done", "the move's reply");
        check_eq(run_command(main, "echo beside"), "beside", "a command beside the monitor");
        PostMessageA(main, WM_SYSCOMMAND, SYSCMD_MONITOR, 0);
        Sleep(500);
        check(find_window("ZORV Status Monitor", 0) == monitor, "asked again, the same monitor");
        PostMessageA(monitor, WM_COMMAND, IDCANCEL, 0);
        check(wait_gone(monitor, 5000), "the monitor closes");
        check(wait_for([&] { return read_file(ini).find("[Monitor]") != std::string::npos; }, 5000),
              "the monitor's place kept in the settings");
    }

    // Exit question answered No: nothing changes.
    PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
    HWND question = find_window("Exit", 10000);
    check(question != nullptr, "exit question while connected");
    if (question) {
        check(box_text(question).find("Disconnect and exit ZORVTalk?") != std::string::npos, "exit question text");
        PostMessageA(question, WM_COMMAND, IDNO, 0);
        check(wait_gone(question, 5000), "exit question closes");
    }
    check_eq(text_of(main), title, "No keeps the connection");

    // Exit while a command waits for its reply: the close box, Yes, and the program
    // ends cleanly from inside the link's wait.
    HWND list = GetDlgItem(main, ID_LOG);
    int rows = list_count(list);
    type_command(main, "run 30000");
    check(wait_for([&] { return list_count(list) == rows + 1 && IsWindowEnabled(GetDlgItem(main, ID_STOP)); }, 10000),
          "command outstanding, Stop enabled");
    mark("running");
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    question = find_window("Exit", 10000);
    check(question != nullptr, "exit question during a command");
    if (question) PostMessageA(question, WM_COMMAND, IDYES, 0);
    bool ended = WaitForSingleObject(g_app.hProcess, 10000) == WAIT_OBJECT_0;
    check(ended, "program ends after Yes");
    DWORD code = 1;
    GetExitCodeProcess(g_app.hProcess, &code);
    check(code == 0, "exit code 0");
    if (const char* sims = std::getenv("ZORV_SIM_DIR")) {
        std::string log = read_file(std::string(sims) + "\\com" + std::to_string(port) + ".log");
        check(log.rfind("ctrl 01") != std::string::npos && log.rfind("ctrl 01") > log.rfind("run 30000"),
              "stop sent to the running command on exit");
    }
    if (!ended) TerminateProcess(g_app.hProcess, 1);
    CloseHandle(g_app.hThread);
    CloseHandle(g_app.hProcess);
    check_reset(exe, dir, port);
    DeleteFileA(exe.c_str());
    DeleteFileA(ini.c_str());
    DeleteFileA(startup.c_str());
    // With what the program keeps beside its settings: the history, the log journal.
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: gui_wine_driver ZORVTALK_EXE PORT_NUMBER\n");
        return 2;
    }
    drive(argv[1], std::atoi(argv[2]));
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
