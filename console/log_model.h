// The command log's rows, kept once here: each row's text, kind and time, and every
// text made from them (the row as shown, its tip, copied rows, the saved file's and
// the journal's lines). A list control only displays them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a row holds; its colour follows from it.
enum LogRowKind : uint8_t { LOG_COMMAND, LOG_REPLY, LOG_FAILED, LOG_NOTE };

// A row's tip adds its whole text when the row is cut at the column's edge, in lines
// of at most this many bytes (a character is never split).
constexpr size_t LOG_TIP_LINE = 100;
// A row counts as cut when its shown text comes this close to the column's edge: the
// list draws the text inside a margin of its own.
constexpr int LOG_TIP_MARGIN_PX = 12;

struct LogModel {
    // By row, in three arrays: the kinds and times cost 9 bytes a row, where one record
    // of all three would be padded.
    std::vector<std::string> texts;
    std::vector<uint8_t> kinds;
    std::vector<int64_t> times;  // wall-clock ms since 1970
    int show_times = 0;          // the shown text starts with the row's time
};

int log_model_count(const LogModel& m);
// Puts a row in at index at (past the end, or negative: appended) stamped ms; a row put
// in above others takes no later time than the one it pushes down, so times read down
// the log never run backwards. Returns its index.
int log_model_insert(LogModel* m, int at, const char* text, LogRowKind kind, int64_t ms);
// Removes every row and gives their memory back.
void log_model_clear(LogModel* m);

// The row's own text ("" for no such row), kind (by parity for no such row: commands
// on even rows, replies on odd) and time (0 for no such row).
const std::string& log_model_text(const LogModel& m, int row);
LogRowKind log_model_kind(const LogModel& m, int row);
int64_t log_model_time(const LogModel& m, int row);

// The row as the list shows it, into out: with times shown, "HH:MM:SS.mmm  " first.
void log_model_shown(const LogModel& m, int row, std::string* out);
// The row's tip, into out: its date and time, then, when the shown text is cut
// (text_px wide in a column column_px wide), the whole row in lines (line_end between).
void log_model_tip(const LogModel& m, int row, int text_px, int column_px, const char* line_end, std::string* out);
// The rows as shown, one a line (line_end between), in the order given; rows that do
// not exist are left out.
void log_model_copy_text(const LogModel& m, const std::vector<int>& rows, const char* line_end, std::string* out);
// One row as a line of the saved log and the journal, appended to out:
// "YYYY-MM-DD HH:MM:SS.mmm M text" + line_end, M '>' command, '<' reply, '!' failed,
// '#' note, the text's bytes as they came but for CR and LF (line noise), which become
// spaces. The stamp is left in stamp ("-" when the time cannot be shown).
void log_model_file_line(std::string* out, int64_t ms, LogRowKind kind, const char* text, size_t length,
                         const char* line_end, char (&stamp)[32]);
// The whole log as the saved file holds it.
std::string log_model_file_text(const LogModel& m, const char* line_end);
