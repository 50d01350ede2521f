// The command line under the log: one command out, its two rows in the log.
#pragma once

#include "platform/ui.h"

// Runs one command through the link and logs it and its reply (an empty row when
// the exchange failed). Returns 0 when the dialog ended during the wait.
int run_command(UiWindow* dialog, const char* command);
// The reply the last run_command got; nullptr when it got none (a failed exchange).
const char* last_command_reply(UiWindow* dialog);
// Sends the command line's text, if any, then empties the line.
void send_typed_line(UiWindow* dialog);
// Up (UI_KEY_UP) or Down in the command line: the previous or next typed command.
void recall_history(UiWindow* dialog, int key);
