// The main window's dialog procedure: start-up, connect and disconnect, Enter
// routing, Pause/Continue and Stop, the window menu and the exit question.
#include "console/main_dialog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/digits.h"
#include "common/texts.h"
#include "console/app.h"
#include "console/command_console.h"
#include "console/command_history.h"
#include "console/journal.h"
#include "console/layout.h"
#include "console/log_view.h"
#include "console/port_list.h"
#include "console/script_runner.h"
#include "console/session.h"
#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/net/net_url.h"
#include "platform/ports.h"
#include "settings/port_map.h"
#include "settings/settings.h"
#include "tools/pin_panel.h"
#include "tools/status_monitor.h"
#include "tools/status_report.h"

const char* const TEXT_ABOUT =
    "ZORVTalk - ZORV Controller Terminal (v.1.8)\r\n"
    "Written by the ZORVTalk developers\r\n"
    "\tfor everyone who runs a ZORV controller";
const char* const TEXT_EXIT_QUESTION = "Target is still connected\r\n\r\nDisconnect and exit ZORVTalk?";

namespace {

std::string control_text(UiWindow* dialog, int id) {
    int n = ui_text_length(dialog, id);
    if (n <= 0) return std::string();
    std::string s(static_cast<size_t>(n) + 1, '\0');
    int got = ui_get_text(dialog, id, &s[0], n + 1);
    s.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return s;
}

void connection_error(UiWindow* dialog, const char* text) {
    session_box(dialog, text, "Connection error", UI_MB_OK | UI_MB_ICONERROR, 0);
}

// Keys for the tools, never one the log's menu or an edit field uses (Copy, Select
// All, Save).
struct WindowMenuKey {
    int command;
    char key;
};
constexpr WindowMenuKey WINDOW_MENU_KEYS[] = {{SYSCMD_REPORT, 'R'}, {SYSCMD_PIN_PANEL, 'L'}, {SYSCMD_MONITOR, 'M'}};

void init_main_dialog(UiWindow* dialog) {
    Session& s = session_of(dialog);
    s.layout = layout_snapshot(dialog);
    // Smaller than this the layout would cut controls off or lay them over each other.
    int min_width = 0, min_height = 0;
    layout_min_size(s.layout, &min_width, &min_height);
    ui_set_min_client_size(dialog, min_width, min_height);
    for (const SystemMenuEntry& e : SYSTEM_MENU) ui_append_system_menu(dialog, e.command, e.text);
    for (const WindowMenuKey& k : WINDOW_MENU_KEYS) ui_set_system_menu_key(dialog, k.command, k.key);
    ui_enable_system_menu(dialog, SYSCMD_STOP_FILE, 0);  // only while a file runs
    fill_port_list(dialog);
    ui_set_text(dialog, ID_STARTUP, settings_read_string("Connection", "Startup"));
    if (ui_text_length(dialog, ID_PORT) > 0 && ui_text_length(dialog, ID_BAUD) > 0)
        ui_set_focus(dialog, ID_CONNECT);
    else
        ui_set_focus(dialog, ID_PORT);
}

void route_enter(UiWindow* dialog) {
    switch (ui_focus_id(dialog)) {
        case ID_PORT:
        case ID_BAUD:
        case ID_STARTUP:
            if (ui_is_enabled(dialog, ID_CONNECT)) ui_post_command(dialog, ID_CONNECT);
            ui_set_focus(dialog, ID_CONNECT);
            break;
        case ID_COMMAND:
            send_typed_line(dialog);
            if (ui_dialog_alive(dialog)) ui_set_focus(dialog, ID_COMMAND);
            break;
        case ID_LOG:
            // While a command or a file runs the log holds the focus for the disabled
            // command line: an Enter typed ahead there is no request for About.
            if (session_of(dialog).connected && !ui_is_enabled(dialog, ID_COMMAND)) break;
            ui_post_syscommand(dialog, SYSCMD_ABOUT);
            break;
        default:
            ui_post_syscommand(dialog, SYSCMD_ABOUT);
            break;
    }
}

void exit_sequence(UiWindow* dialog) {
    Session& s = session_of(dialog);
    // During a connect nothing is connected yet: leave at once. The connect gives
    // up before it writes the greeting, and connect_target closes what it opened.
    if (!s.connected || s.connecting) {
        if (s.connecting) link_cancel_connect();
        ui_end_dialog(dialog, 0);
        return;
    }
    if (session_box(dialog, TEXT_EXIT_QUESTION, "Exit", UI_MB_YESNO, ICON_APP) != UI_ANSWER_YES) return;
    // The question may have been answered inside a wait that has since ended the
    // connection some other way; only a live dialog is touched.
    if (!ui_dialog_alive(dialog)) return;
    disconnect_target(dialog);
    ui_end_dialog(dialog, 0);
}

void toggle_pause(UiWindow* dialog) {
    Session& s = session_of(dialog);
    if (s.paused) {
        ui_set_text(dialog, ID_PAUSE, "Pause");
        link_continue(s.link);
        s.paused = 0;
    } else {
        ui_set_text(dialog, ID_PAUSE, "Continue");
        s.paused = link_pause(s.link);
        // A pause that did not go out leaves nothing paused: say so on the button.
        if (!s.paused && ui_dialog_alive(dialog)) ui_set_text(dialog, ID_PAUSE, "Pause");
    }
}

void on_command(UiWindow* dialog, int id, int code) {
    Session& s = session_of(dialog);
    switch (id) {
        case UI_IDOK:
            // A second Enter during a connect is a repeat, not a request for the About
            // box (the disabled Connect button has lost the focus).
            if (!s.connecting) route_enter(dialog);
            break;
        case UI_IDCANCEL: exit_sequence(dialog); break;
        case ID_PORT:
        case ID_BAUD:
            // An adapter plugged in since the last look shows up when the box opens.
            if (id == ID_PORT && code == UI_DROPDOWN && !s.connected && !s.connecting)
                refresh_port_list(dialog);
            if (code == UI_SELCHANGE || code == UI_EDITCHANGE) update_controls(dialog);
            break;
        case ID_CHOOSE_STARTUP: choose_startup_file(dialog); break;
        case ID_CONNECT:
            // A second click during a connect, or a connect while a closed link's
            // exchange is still unwinding, would fight over the port.
            if (s.connecting) break;
            if (s.connected) {
                disconnect_target(dialog);
            } else if (s.outstanding == 0) {
                connect_target(dialog);
                if (s.connected) run_command_file(dialog, 1);
                // Typing after a connect goes to the command line: a space or Enter on
                // the button would disconnect and connect again, resetting the
                // controller twice. A failed connect leaves the focus on the button.
                if (ui_dialog_alive(dialog)) ui_set_focus(dialog, s.connected ? ID_COMMAND : ID_CONNECT);
            }
            break;
        case ID_SEND_FILE:
            run_command_file(dialog, 0);
            if (ui_dialog_alive(dialog)) focus_home(dialog);
            break;
        case ID_PAUSE:
            if (s.connected) toggle_pause(dialog);
            break;
        case ID_STOP:
            if (s.connected) link_stop(s.link);
            break;
        default: log_command(dialog, id); break;
    }
}

// The pin panel's polls drop input that answered nothing; the log says so, as it
// does before a command.
void note_dropped_by_panel(void* owner, const char* note) {
    UiWindow* dialog = static_cast<UiWindow*>(owner);
    if (ui_dialog_alive(dialog)) log_append(dialog, note, LOG_NOTE);
}

ToolHost tool_host(UiWindow* dialog) {
    Session& s = session_of(dialog);
    ToolHost host;
    host.link = &s.link;
    host.dialogs_shown = &s.dialogs_shown;
    host.pins = &s.pins;
    host.note = note_dropped_by_panel;
    host.owner = dialog;
    host.exchanges = &s.outstanding;
    host.monitor = &s.monitor;
    return host;
}

void on_syscommand(UiWindow* dialog, int command) {
    Session& s = session_of(dialog);
    // The tools would talk to a controller that is still being reset and greeted.
    if (s.connecting && (command == SYSCMD_REPORT || command == SYSCMD_PIN_PANEL)) return;
    switch (command) {
        case SYSCMD_ABOUT: session_box(dialog, TEXT_ABOUT, "About ZORVTalk", UI_MB_OK, ICON_APP); break;
        case SYSCMD_REPORT: show_status_report(dialog, tool_host(dialog)); break;
        case SYSCMD_STOP_FILE: stop_command_file(dialog); break;
        case SYSCMD_MONITOR: status_monitor_open(dialog, tool_host(dialog)); break;
        case SYSCMD_PIN_PANEL:
            // Its polls cannot run inside a command's wait (the menu item is greyed
            // then; a menu opened before the command started may still send it).
            if (s.outstanding == 0) {
                ToolHost host = tool_host(dialog);
                ++s.dialogs_shown;
                ui_run_dialog(&PIN_PANEL_DIALOG, dialog, pin_panel_proc, &host);
            }
            break;
        default: break;
    }
}

}  // namespace

int32_t com_number_of_path(const char* text) {
    if (!text) return 0;
    for (const char* prefix : {"\\\\.\\", "\\\\?\\", "//./"}) {
        size_t n = std::strlen(prefix);
        if (std::strncmp(text, prefix, n) != 0) continue;
        const char* rest = text + n;
        if ((rest[0] | 0x20) != 'c' || (rest[1] | 0x20) != 'o' || (rest[2] | 0x20) != 'm') return 0;
        rest += 3;
        if (*rest < '1' || *rest > '9' || std::strlen(rest) > 3 || std::strspn(rest, "0123456789") != std::strlen(rest))
            return 0;
        int v = std::atoi(rest);
        return v <= 255 ? v : 0;
    }
    return 0;
}

void focus_home(UiWindow* dialog) {
    Session& s = session_of(dialog);
    if (!s.connected)
        ui_set_focus(dialog, ID_CONNECT);
    else if (ui_is_enabled(dialog, ID_COMMAND))
        ui_set_focus(dialog, ID_COMMAND);
    // else a command or a file runs: whoever started it puts the focus back after it.
}

void update_controls(UiWindow* dialog) {
    Session& s = session_of(dialog);
    int c = s.connected ? 1 : 0;
    ui_enable(dialog, ID_PORT, !c);
    ui_enable(dialog, ID_BAUD, !c);
    ui_enable(dialog, ID_STARTUP, !c);
    ui_enable(dialog, ID_CHOOSE_STARTUP, !c);
    ui_enable(dialog, ID_COMMAND, c);
    ui_enable(dialog, ID_SEND_FILE, c);
    ui_enable(dialog, ID_PAUSE, 0);
    ui_enable(dialog, ID_STOP, 0);
    ui_set_text(dialog, ID_CONNECT, c ? "Disconnect" : "Connect");
}

void connect_target(UiWindow* dialog) {
    Session& s = session_of(dialog);
    std::string port_text = control_text(dialog, ID_PORT);
    std::string baud_text = control_text(dialog, ID_BAUD);
    if (port_text.empty() || baud_text.empty()) {
        connection_error(dialog, "Must choose Port and Baud.");
        return;
    }
    // A device path is opened as typed: its digits are no port number.
    int by_path = ports_is_device_path(port_text.c_str());
    int32_t port = by_path ? ports_assign_free(port_text.c_str()) : number_in_text(port_text.c_str());
    int32_t baud = number_in_text(baud_text.c_str());
    if (port == 0 || baud == 0) {
        connection_error(dialog, "Must choose right Port and Baud.");
        return;
    }
    // What the operator sees: the path as typed, or "COM5" (and the device it names
    // in the connect notes).
    std::string link_address = connect_string(port, baud);
    std::string port_name = by_path ? port_text : com_port_name(port);
    std::string port_device = port_name;
    char device[300];
    if (!by_path && ports_device_path(port, device, sizeof device)) port_device += std::string(" (") + device + ")";
    log_set_port(dialog, port_name.c_str());
    s.connecting = 1;
    ui_enable(dialog, ID_CONNECT, 0);
    s.link = link_connect(link_address.c_str());
    // Clicks and keys that came during the greeting meet the connect guard too, not
    // the connected window (a double click on Connect would disconnect at once).
    dispatch_pending_messages();
    s.connecting = 0;
    char why[160] = "";
    if (!s.link) link_last_error(why, sizeof why);
    // Closed during the reset or the greeting: the operator has left, and nothing
    // may reach the controller.
    if (!ui_dialog_alive(dialog)) {
        link_close(&s.link);
        s.connected = 0;
        return;
    }
    ui_enable(dialog, ID_CONNECT, 1);
    s.connected = s.link ? 1 : 0;
    if (!s.connected) {
        std::string note = "no connection to " + port_device + " at " + std::to_string(baud) + " baud: " + why;
        log_append(dialog, note.c_str(), LOG_NOTE);
        std::string text = std::string("No connection.\r\n") + why;
        connection_error(dialog, text.c_str());
        return;
    }
    s.port = port;
    std::snprintf(s.port_name, sizeof s.port_name, "%s", port_name.c_str());
    if (by_path)
        std::snprintf(s.connect_string, sizeof s.connect_string, "%s: %d", port_text.c_str(),
                      static_cast<int>(baud));
    else
        std::snprintf(s.connect_string, sizeof s.connect_string, "%s", link_address.c_str());
    show_title(dialog);
    // "\\.\COM5" is port 5 to any reader of the settings that expects a number.
    int32_t named = com_number_of_path(port_text.c_str());
    if (by_path && !named)
        settings_write_string("Connection", "Port", port_text.c_str());
    else
        settings_write_int("Connection", "Port", named ? named : port);
    if (by_path) settings_add_recent_port(port_text.c_str());
    settings_write_int("Connection", "Baud", baud);
    std::string startup = control_text(dialog, ID_STARTUP);
    if (!settings_write_string("Connection", "Startup", startup.c_str())) {
        // Kept only for this session: the next start must not find the box empty unawares.
        bool line_break = startup.find_first_of("\r\n") != std::string::npos;
        log_append(dialog, line_break ? "(Startup path not saved in the settings: it holds a line break)"
                                      : "(Startup path not saved: the settings file cannot be written)",
                   LOG_NOTE);
    }
    update_controls(dialog);
    ui_set_timer(dialog, HEALTH_TIMER, HEALTH_CHECK_MS);
    std::string note = "connected to " + port_device + " at " + std::to_string(baud) + " baud";
    log_append(dialog, note.c_str(), LOG_NOTE);
    if (const char* raw = net_url_note(port_text.c_str())) log_append(dialog, raw, LOG_NOTE);
}

namespace {

void close_connection(UiWindow* dialog, const char* why) {
    Session& s = session_of(dialog);
    if (ui_is_enabled(dialog, ID_STOP)) link_stop(s.link);
    link_close(&s.link);
    s.connected = 0;
    std::snprintf(s.ended_by, sizeof s.ended_by, "%s", why);
    ui_kill_timer(dialog, HEALTH_TIMER);
    status_monitor_link_closed(s.monitor);
    show_title(dialog);
    update_controls(dialog);
}

}  // namespace

void disconnect_target(UiWindow* dialog) {
    Session& s = session_of(dialog);
    close_connection(dialog, "disconnected");
    std::string note = std::string("disconnected from ") + s.port_name;
    log_append(dialog, note.c_str(), LOG_NOTE);
}

void show_title(UiWindow* dialog, const char* extra) {
    Session& s = session_of(dialog);
    std::string title = "ZORVTalk";
    if (s.connected) title += std::string(" - ") + s.connect_string;
    if (extra && *extra) title += std::string(" - ") + extra;
    ui_set_text(dialog, 0, title.c_str());
}

void port_lost(UiWindow* dialog) {
    Session& s = session_of(dialog);
    if (!s.connected) return;
    close_connection(dialog, "port lost");
    char text[sizeof s.port_name + 32];
    std::snprintf(text, sizeof text, "(port lost: %s)", s.port_name);
    log_append(dialog, text, LOG_FAILED);
}

namespace {

// Once a second while idle: a port that went away shows at once, not at the next
// command. Waits notice it themselves; their commands are left alone here.
void check_port(UiWindow* dialog) {
    Session& s = session_of(dialog);
    if (!s.connected || s.outstanding > 0 || link_busy(s.link)) return;
    if (link_port_lost(s.link)) port_lost(dialog);
}

}  // namespace

void main_dialog_proc(UiWindow* dialog, const UiMessage* message) {
    Session& s = session_of(dialog);
    switch (message->kind) {
        case UI_INIT:
            init_main_dialog(dialog);
            update_controls(dialog);
            init_log_view(dialog, ID_LOG);
            break;
        case UI_SIZE:
            layout_apply(dialog, s.layout);
            break;
        case UI_COMMAND:
        case UI_SYSCOMMAND: {
            int shown = s.dialogs_shown;
            if (message->kind == UI_COMMAND)
                on_command(dialog, message->id, message->code);
            else
                on_syscommand(dialog, message->id);
            if (s.dialogs_shown != shown && ui_dialog_alive(dialog)) focus_home(dialog);
            break;
        }
        case UI_TIMER:
            if (message->id == HEALTH_TIMER)
                check_port(dialog);
            else
                log_timer(dialog, message->id);
            break;
        case UI_KEY:
            if (message->id == ID_COMMAND) recall_history(dialog, message->code);
            break;
        case UI_DESTROY:  // only windows that do not block get it
            break;
    }
}

namespace {

void title_event(UiWindow* dialog, const char* extra) { show_title(dialog, extra); }

}  // namespace

int app_main() {
    Session session;
    return app_main(&session);
}

int app_main(Session* session) {
    Session& s = *session;
    s.events.show_title = title_event;
    s.events.port_lost = port_lost;
    history_open(&s.history, history_path().c_str());
    ui_run_dialog(&MAIN_DIALOG, nullptr, main_dialog_proc, &s);
    journal_stop(&s.log.journal);
    // The operator may have left through a path that kept the link; never leak it.
    link_close(&s.link);
    s.connected = 0;
    layout_free(s.layout);
    s.layout = nullptr;
    return 0;
}
