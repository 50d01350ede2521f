// The log journal: every row the log shows, written as it is added, one line in the
// saved-log format, to a file per day that every window appends to. A crash, a kill
// or Exit without Save then loses nothing the log showed.
#pragma once

#include <string>

constexpr int JOURNAL_KEEP_DAYS = 30;

// The journal's folder: "<state folder>/log" when the settings live in the per-user
// folder, else a "log" folder beside the settings file; "" when there is no settings
// path.
std::string journal_dir();
// Starts a session: reads [Log] Journal (on unless "0") and decides the folder.
void journal_start();
// Appends one line (its line end included) to the file of day ("YYYY-MM-DD"), with one
// write. The folder and the file are made on first use; a new day opens a new file.
// Opening a day's file (the session's first row, midnight) removes the day files more
// than JOURNAL_KEEP_DAYS older; only names zorvtalk-YYYY-MM-DD.log are touched.
// 1 when written or when the journal is off; 0 the first time it fails, with why set
// (the caller says so once); -1 on later rows after a failure (nothing is tried until
// the journal is turned on again).
int journal_write(const char* day, const std::string& line, std::string* why);
// Turns the journal on or off and keeps the choice as [Log] Journal=1/0. Turning it on
// again tries anew after a failure.
void journal_set_on(int on);
int journal_is_on();
// Closes the file (at the end of the window).
void journal_stop();
// Days since 1970-01-01 of "YYYY-MM-DD", or INT_MIN when text is not such a date.
int journal_day_number(const char* text);
