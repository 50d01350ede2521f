// The log journal, kept only when the operator turns it on: every row the log shows,
// in the window's order, one line in the saved-log format with the port after the
// time, to a file per day and port. A port is open in one window at a time, so a
// file's rows never run backwards. A crash, a kill or Exit without Save then loses at
// most the rows of the last fraction of a second.
#pragma once

#include <cstdint>
#include <string>

struct PlatformFile;

// One window's journal; journal_start sets it up, journal_stop closes its file.
struct Journal {
    int on = 1;
    int failed = 0;        // a write failed; nothing more is tried until turned on again
    std::string dir;       // decided at start
    std::string name;      // of the open file: "YYYY-MM-DD" or "YYYY-MM-DD-COM3"
    PlatformFile* file = nullptr;
    std::string pending;   // whole lines for pending_name, not yet written
    std::string pending_name;
    int64_t last_write_ms = INT64_MIN;
};

constexpr int JOURNAL_KEEP_DAYS = 30;
// Rows that come within this long of the last write wait to go with the next write,
// so that a command file's thousands of rows a second cost a few writes, not one
// each; a timer of the window writes what waits (journal_flush).
constexpr int JOURNAL_BATCH_MS = 100;
constexpr size_t JOURNAL_BATCH_BYTES = 64 * 1024;

// The journal's folder: "<state folder>/log" when the settings live in the per-user
// folder, else a "log" folder beside the settings file; "" when there is no settings
// path.
std::string journal_dir();
// Starts a session: reads [Log] Journal (off unless set and not "0") and decides the
// folder.
void journal_start(Journal* j);
// Adds one line (its line end included), stamped ms, for the file of day
// ("YYYY-MM-DD") and port (zorvtalk-YYYY-MM-DD-COM3.log; without a port, or one with
// nothing to name a file by, zorvtalk-YYYY-MM-DD.log). It is written at once, with the lines waiting before it, in one
// write of whole lines, unless the last write was less than JOURNAL_BATCH_MS before
// ms; then it waits (journal_pending). The folder and the file are made on first use;
// a new day or port opens a new file. Opening a day's file (the session's first row, midnight)
// removes the day files more than JOURNAL_KEEP_DAYS older; only names
// zorvtalk-YYYY-MM-DD.log and zorvtalk-YYYY-MM-DD-<port>.log are touched. 1 when written or kept, or when the journal is
// off; 0 the first time it fails, with why set (the caller says so once); -1 on later
// rows after a failure (nothing is tried until the journal is turned on again).
int journal_write(Journal* j, const char* day, const char* port, const std::string& line, int64_t ms, std::string* why);
// The part of a journal's file name that names the port: letters, digits and dots
// kept, anything else one '_' ("/dev/ttyUSB0" gives "dev_ttyUSB0"); "" for none.
std::string journal_file_part(const char* port);
// 1 while lines wait to be written.
int journal_pending(const Journal* j);
// Writes the lines that wait; as journal_write.
int journal_flush(Journal* j, std::string* why);
// Turns the journal on or off (what waits is written first) and keeps the choice as
// [Log] Journal=1/0. Turning it on again tries anew after a failure.
void journal_set_on(Journal* j, int on);
int journal_is_on(const Journal* j);
// Writes what waits and closes the file (at the end of the window).
void journal_stop(Journal* j);
// Days since 1970-01-01 of "YYYY-MM-DD", or INT_MIN when text is not such a date.
int journal_day_number(const char* text);
