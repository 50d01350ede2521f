// The main window: connection control, enabling rules, Enter routing and the exit
// question; the session it runs with is in console/session.h.
#pragma once

#include <cstdint>

#include "platform/ui.h"

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

// Texts the operator sees.
extern const char* const TEXT_ABOUT;
extern const char* const TEXT_EXIT_QUESTION;
