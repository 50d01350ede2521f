// The command log of the main window: its rows (console/log_model.h) shown in the
// log list, its menu and keys, Save Log and the journal.
#pragma once

#include <cstdint>
#include <string>

#include "console/log_state.h"
#include "platform/ui.h"

// The log of a dialog that runs with a session as its context (the main window).
void init_log_view(UiWindow* dialog, int id);
// The text colour of a row by its kind; rows of unknown kind by parity (replies on
// odd rows).
uint32_t log_row_colour(UiWindow* dialog, int row);
// Inserts a row of the given kind at index row, sets its text and scrolls it into view.
// A text that came ago_ms before it is put (held up by a menu left open) carries the
// time it came.
void log_put_row(UiWindow* dialog, int row, const char* text, LogRowKind kind, int64_t ago_ms = 0);
// The port the journal names on the rows that follow ("-" for none).
void log_set_port(UiWindow* dialog, const char* name);
// A command's exchange starts with its row at index row: the journal holds that row
// and those after it until log_release_journal, as rows may still be put in above
// later ones. Holds nest.
void log_hold_journal(UiWindow* dialog, int row);
void log_release_journal(UiWindow* dialog);
// The window ended during the exchange: its outcome row, at index row as the window
// would have shown it, goes to the journal with every row held, and the hold ends.
void log_journal_outcome(UiWindow* dialog, int row, const char* text, LogRowKind kind);
// Appends a row; its index.
int log_append(UiWindow* dialog, const char* text, LogRowKind kind);

// Rows in the log, and a row's own text ("" for no such row).
int log_row_count(UiWindow* dialog);
const std::string& log_row_text(UiWindow* dialog, int row);
// Every row records when it was added (wall-clock ms since 1970), also while times
// are hidden; 0 for no such row.
int64_t log_row_time(UiWindow* dialog, int row);
LogRowKind log_row_kind(UiWindow* dialog, int row);

// What the log list shows: the session's rows (init_log_view binds it).
extern const UiRowSource LOG_ROWS;
// The log's context menu, headed by the window menu's tools, which some desktops keep
// out of reach. Copy puts the selected rows as shown on the clipboard, one a line.
extern const UiMenuEntry LOG_MENU[13];
// Runs a command of the context menu; 0 when id is none of them.
int log_command(UiWindow* dialog, int id);
// The main window's timer that writes journal rows kept for a batch.
constexpr int JOURNAL_TIMER = 3, JOURNAL_FLUSH_MS = 250;
// Runs a timer of the log's; 0 when id is none of them.
int log_timer(UiWindow* dialog, int id);
// Empties the log, its kinds and times; asks nothing (it is the operator's own view).
void log_clear(UiWindow* dialog);
// Shows or hides each row's time in front of its text; remembered in the settings
// file, section "Log", key "ShowTimes".
void log_show_times(UiWindow* dialog, int show);
// Asks for a file ("Save Log") and writes the whole log to it, one row a line:
// "YYYY-MM-DD HH:MM:SS.mmm M text" with M '>' command, '<' reply, '!' failed exchange
// or lost port, '#' note. A failure leaves any old file whole and says why. 1 when saved.
// Every row is also appended to the journal (console/journal.h) as it is added, in
// the same format, unless "Keep Log Files" is turned off.
int log_save(UiWindow* dialog);
