// What the window knows about its session, in one record that app_main owns and the
// dialog procedures reach through their dialog (ui_context), never through a global.
#pragma once

#include <cstdint>
#include <string>

#include "console/command_history.h"
#include "console/log_state.h"
#include "platform/ui.h"
#include "tools/tool_host.h"

struct TargetLink;
struct ChildLayout;

// What the parts of the window tell the main dialog, which alone owns the title and
// the connection's end.
struct SessionEvents {
    // The title for the state, with extra (a command file's progress) when given.
    void (*show_title)(UiWindow* dialog, const char* extra) = nullptr;
    // The port went away during an exchange: close the link and say so. Never reconnect.
    void (*port_lost)(UiWindow* dialog) = nullptr;
};

struct Session {
    TargetLink* link = nullptr;  // not null exactly while connected
    int connected = 0;
    int paused = 0;
    ChildLayout* layout = nullptr;  // taken at init, freed after the dialog ends
    int connecting = 0;             // a connect is under way (reset, purge, greeting)
    int outstanding = 0;            // command exchanges on the stack
    int port = 0;                   // the COM number of the open link, for the operator's texts
    char connect_string[300] = "";  // "COM5: 115200" (or the typed device path) while connected
    char port_name[280] = "";       // "COM5" or the typed device path, for the log
    char ended_by[32] = "";         // why the last connection ended: "disconnected", "port lost"
    int dialogs_shown = 0;          // boxes, choosers and panels opened so far: the focus goes home after one
    CommandHistory history;
    // The command-file run: 1 while a file runs; a stop asked for its current line.
    int file_running = 0;
    int file_stop_requested = 0;
    // The reply the last command got, kept as text for a command file that judges
    // it (the operator may clear the log during the wait).
    std::string last_reply;
    bool have_reply = false;
    PinPanelState pins = {};
    UiWindow* monitor = nullptr;  // the status monitor while it is open
    LogState log;
    SessionEvents events;
};

// The session of a dialog run with it as context (the main window).
Session& session_of(UiWindow* dialog);
// A message box, counted as a dialog shown (the focus goes home after it).
int session_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int icon_id);
// Before the command line or Send File is disabled for a command or a file: the focus
// goes to the log, as a disabled control hands it on (on some desktops to Disconnect,
// where the next Space typed would end the connection and Enter reset the controller).
void session_park_focus(UiWindow* dialog);
// The file chooser, counted as a dialog shown: a new heap string (ui_free) or nullptr
// when cancelled.
char* session_choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext,
                          int open, const char* title);
