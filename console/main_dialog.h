// The main window: connection control, enabling rules, Enter routing, the exit
// question and the program-wide state the other parts of the window share.
#pragma once

#include <cstdint>

#include "platform/ui.h"

struct TargetLink;
struct ChildLayout;

// Program-wide state owned by the main window; all zero at start.
struct MainState {
    TargetLink* link;     // not null exactly while connected
    int connected;
    int paused;
    ChildLayout* layout;  // taken at init, freed after the dialog ends
    int connecting;       // a connect is under way (reset, purge, greeting)
    int outstanding;      // command exchanges on the stack
    int port;             // the COM number of the open link, for the operator's texts
    char connect_string[300];  // "COM5: 115200" (or the typed device path) while connected
    char port_name[280];       // "COM5" or the typed device path, for the log
    char ended_by[32];         // why the last connection ended: "disconnected", "port lost"
    int dialogs_shown;         // boxes, choosers and panels opened so far: the focus goes home after one
};
extern MainState g_main;

void main_dialog_proc(UiWindow* dialog, const UiMessage* message);
void update_controls(UiWindow* dialog);
void connect_target(UiWindow* dialog);
// Closes the connection at the operator's request and notes it in the log.
void disconnect_target(UiWindow* dialog);
// The window title for the state: "ZORVTalk", or "ZORVTalk - " + the connect string,
// followed by " - " + extra when extra is given (a command file's progress).
void show_title(UiWindow* dialog, const char* extra = nullptr);
// The port went away: closes the link, shows the disconnected state and says so in
// the log. Never reconnects: a connect resets the controller.
void port_lost(UiWindow* dialog);
// The idle check for a lost port runs this often while connected.
constexpr int HEALTH_TIMER = 2, HEALTH_CHECK_MS = 1000;
// n when text is a Windows device path naming COMn ("\\.\COM5", "\\?\com12",
// "//./COM5"; n 1..255), else 0.
int32_t com_number_of_path(const char* text);
// Where the keyboard goes after a box, a chooser or the pin panel: the command line
// while connected (when it takes input), Connect while not. Never a button that a
// stray Space or Enter would turn into a disconnect and a reset.
void focus_home(UiWindow* dialog);
// A message box with the program icon when icon_id is set; the answer.
int show_message_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int icon_id);

// Texts the operator sees.
extern const char* const TEXT_ABOUT;
extern const char* const TEXT_EXIT_QUESTION;
