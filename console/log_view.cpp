// The command log: each row remembers its kind (command, reply, failed, note) and
// when it was added, so colours stay right when rows other than command/reply pairs
// are added, and the log can show its times and be saved.
#include "console/log_view.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/clock_stamp.h"
#include "console/journal.h"
#include "console/session.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "settings/saved_file.h"
#include "settings/settings.h"

const UiMenuEntry LOG_MENU[13] = {
    {UI_MENU_WINDOW + SYSCMD_MONITOR, "ZORV Status M&onitor\tCtrl+M", 0, 0},
    {UI_MENU_WINDOW + SYSCMD_REPORT, "ZORV &Report\tCtrl+R", 0, 0},
    {UI_MENU_WINDOW + SYSCMD_PIN_PANEL, "ZORV as L&PT\tCtrl+L", 0, 0},  // 'L' is Clear Log's
    {UI_MENU_WINDOW + SYSCMD_STOP_FILE, "Stop Command &File", 0, 0},
    {0, nullptr, 0, 0},
    {UI_LIST_COPY, "&Copy\tCtrl+C", 'C', 0},
    {UI_LIST_SELECT_ALL, "Select &All\tCtrl+A", 'A', 0},
    {0, nullptr, 0, 0},
    {ID_LOG_SAVE, "&Save Log As...\tCtrl+S", 'S', 0},
    {ID_LOG_CLEAR, "C&lear Log", 0, 0},
    {0, nullptr, 0, 0},
    {ID_LOG_SHOW_TIMES, "Show &Times", 0, 1},
    {ID_LOG_KEEP_FILES, "&Keep Log Files", 0, 1},
};

namespace {

LogState& log_of(UiWindow* dialog) { return session_of(dialog).log; }

int64_t now_ms(const LogState& log) {
    if (log.clock) return log.clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

const char* const TIMES_SECTION = "Log";
const char* const TIMES_KEY = "ShowTimes";

int time_prefix(UiWindow* dialog, int row, char* buf, int size) {
    int64_t ms = log_row_time(dialog, row);
    int n = ms ? clock_stamp(ms, false, buf, size) : 0;
    if (n <= 0 || n + 3 > size) return 0;
    buf[n++] = ' ';
    buf[n++] = ' ';
    buf[n] = '\0';
    return n;
}

// The tip carries the date too: a long session runs past midnight.
int time_tip(UiWindow* dialog, int row, char* buf, int size) {
    int64_t ms = log_row_time(dialog, row);
    return ms ? clock_stamp(ms, true, buf, size) : 0;
}

char kind_marker(LogRowKind kind) {
    switch (kind) {
        case LOG_COMMAND: return '>';
        case LOG_REPLY: return '<';
        case LOG_FAILED: return '!';
        default: return '#';
    }
}

// One row a line: "<date time> <marker> <text>", the text's bytes as they came but
// for CR and LF, which only line noise puts in a row and which would split it. The
// stamp is left in stamp ("-" when the time cannot be shown).
void append_file_line(std::string* out, int64_t ms, LogRowKind kind, const char* text, size_t length,
                      char (&stamp)[32]) {
    if (clock_stamp(ms, true, stamp, sizeof stamp) <= 0) std::snprintf(stamp, sizeof stamp, "-");
    *out += stamp;
    *out += ' ';
    *out += kind_marker(kind);
    *out += ' ';
    size_t start = out->size();
    out->append(text, length);
    for (size_t i = start; i < out->size(); ++i)
        if ((*out)[i] == '\r' || (*out)[i] == '\n') (*out)[i] = ' ';
    *out += profile_line_end();
}

std::string file_text(UiWindow* dialog) {
    int count = listview_row_count(dialog, ID_LOG);
    std::string out, row;
    char stamp[32];
    for (int i = 0; i < count; ++i) {
        int n = ui_list_text_length(dialog, ID_LOG, i);
        row.assign(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
        int got = ui_list_get_text(dialog, ID_LOG, i, &row[0], n + 1);
        row.resize(got > 0 ? static_cast<size_t>(got) : 0);
        append_file_line(&out, log_row_time(dialog, i), log_row_kind(dialog, i), row.data(), row.size(), stamp);
    }
    return out;
}

// Each row goes to the journal in the window's order; a journal that cannot be
// written says so in one note row and the window goes on.
void journal_row(UiWindow* dialog, LogState& L, int64_t ms, LogRowKind kind, const char* port, const char* text) {
    if (!journal_is_on(&L.journal)) return;
    std::string& line = L.journal_line;
    line.clear();
    char stamp[32];
    append_file_line(&line, ms, kind, text ? text : "", text ? std::strlen(text) : 0, stamp);
    if (std::strlen(stamp) < 10) return;  // no day to file it under
    line.insert(std::strlen(stamp) + 1, std::string(port) + " ");
    std::string why;
    int written = journal_write(&L.journal, std::string(stamp, 10).c_str(), port, line, ms, &why);
    if (written == 0) log_append(dialog, ("(log file not kept: " + why + ")").c_str(), LOG_NOTE);
    // Rows kept for a batch are written by the timer if no row comes after them.
    if (written == 1 && !L.journal_timer && journal_pending(&L.journal)) {
        L.journal_timer = 1;
        ui_set_timer(dialog, JOURNAL_TIMER, JOURNAL_FLUSH_MS);
    }
}

void journal_ready_rows(UiWindow* dialog, LogState& L) {
    size_t ready = L.unwritten.size();
    if (L.holds > 0) {
        int before_hold = L.hold_from - L.unwritten_from;
        ready = before_hold <= 0 ? 0 : std::min(ready, static_cast<size_t>(before_hold));
    }
    if (ready == 0) return;
    // Moved out first: a failure note re-enters log_put_row.
    std::vector<UnwrittenRow> rows(std::make_move_iterator(L.unwritten.begin()),
                                   std::make_move_iterator(L.unwritten.begin() + static_cast<std::ptrdiff_t>(ready)));
    L.unwritten.erase(L.unwritten.begin(), L.unwritten.begin() + static_cast<std::ptrdiff_t>(ready));
    L.unwritten_from += static_cast<int>(ready);
    for (const UnwrittenRow& r : rows) journal_row(dialog, L, r.ms, r.kind, r.port.c_str(), r.text.c_str());
}

// A row put in at window index at: kept in order with those the journal waits for.
void journal_put(UiWindow* dialog, LogState& L, int at, int64_t ms, LogRowKind kind, const std::string& port, const char* text) {
    if (!journal_is_on(&L.journal)) {
        L.unwritten.clear();
        L.unwritten_from = listview_row_count(dialog, ID_LOG);
        return;
    }
    if (at < L.unwritten_from) {  // above rows already written (turned on meanwhile): now
        ++L.unwritten_from;
        journal_row(dialog, L, ms, kind, port.c_str(), text);
        return;
    }
    size_t i = std::min(static_cast<size_t>(at - L.unwritten_from), L.unwritten.size());
    L.unwritten.insert(L.unwritten.begin() + static_cast<std::ptrdiff_t>(i), UnwrittenRow{ms, kind, port, text ? text : ""});
    journal_ready_rows(dialog, L);
}

// Read once: a later change of the system colours shows at the next start. There is
// no system colour for errors: red, as the screen shows it.
LogColours read_log_colours() {
    return LogColours{ui_system_colour(UI_COLOUR_BUTTON_HIGHLIGHT), ui_system_colour(UI_COLOUR_BUTTON_TEXT),
                      ui_nearest_colour(0x0000FF), ui_nearest_colour(0xFF0000)};
}

}  // namespace

LogRowKind log_row_kind(UiWindow* dialog, int row) {
    const LogState& L = log_of(dialog);
    if (row < 0 || static_cast<std::size_t>(row) >= L.kinds.size()) return (row & 1) ? LOG_REPLY : LOG_COMMAND;
    return static_cast<LogRowKind>(L.kinds[static_cast<std::size_t>(row)]);
}

int64_t log_row_time(UiWindow* dialog, int row) {
    const LogState& L = log_of(dialog);
    if (row < 0 || static_cast<std::size_t>(row) >= L.times.size()) return 0;
    return L.times[static_cast<std::size_t>(row)];
}

uint32_t log_row_colour(UiWindow* dialog, int row) {
    const LogColours& colours = log_of(dialog).colours;
    switch (log_row_kind(dialog, row)) {
        case LOG_REPLY: return colours.reply;
        case LOG_FAILED: return colours.failed;
        default: return colours.command;
    }
}

void log_put_row(UiWindow* dialog, int row, const char* text, LogRowKind kind, int64_t ago_ms) {
    int at = ui_list_insert(dialog, ID_LOG, row);
    if (at < 0) return;
    LogState& L = log_of(dialog);
    int64_t now = now_ms(L) - (ago_ms > 0 ? ago_ms : 0);
    // A row put in above others (a reply under a later note) is no later than they:
    // times read down the log never run backwards.
    if (static_cast<std::size_t>(at) < L.times.size() && L.times[static_cast<std::size_t>(at)] < now)
        now = L.times[static_cast<std::size_t>(at)];
    // Rows of unknown kind (none so far) count as commands and replies by parity.
    while (L.kinds.size() < static_cast<std::size_t>(at)) L.kinds.push_back(L.kinds.size() & 1 ? LOG_REPLY : LOG_COMMAND);
    while (L.times.size() < static_cast<std::size_t>(at)) L.times.push_back(now);
    L.kinds.insert(L.kinds.begin() + at, kind);
    L.times.insert(L.times.begin() + at, now);
    ui_list_set_text(dialog, ID_LOG, at, text);
    ui_list_ensure_visible(dialog, ID_LOG, at);
    journal_put(dialog, L, at, now, kind, L.port, text);
}

void log_set_port(UiWindow* dialog, const char* name) { log_of(dialog).port = name && *name ? name : "-"; }

void log_hold_journal(UiWindow* dialog, int row) {
    LogState& L = log_of(dialog);
    L.hold_from = L.holds++ == 0 ? row : std::min(L.hold_from, row);
}

void log_release_journal(UiWindow* dialog) {
    LogState& L = log_of(dialog);
    if (L.holds > 0 && --L.holds == 0) L.hold_from = INT_MAX;
    if (ui_dialog_alive(dialog)) journal_ready_rows(dialog, L);
}

void log_journal_outcome(UiWindow* dialog, int row, const char* text, LogRowKind kind) {
    LogState& L = log_of(dialog);
    int64_t now = now_ms(L);
    if (journal_is_on(&L.journal) && row >= L.unwritten_from) {
        size_t i = std::min(static_cast<size_t>(row - L.unwritten_from), L.unwritten.size());
        if (i < L.unwritten.size() && L.unwritten[i].ms < now) now = L.unwritten[i].ms;
        L.unwritten.insert(L.unwritten.begin() + static_cast<std::ptrdiff_t>(i), UnwrittenRow{now, kind, L.port, text ? text : ""});
    }
    if (L.holds > 0 && --L.holds == 0) L.hold_from = INT_MAX;
    // The window has ended: whatever waits goes now, no note can follow.
    for (const UnwrittenRow& r : L.unwritten) journal_row(nullptr, L, r.ms, r.kind, r.port.c_str(), r.text.c_str());
    L.unwritten.clear();
}

int log_append(UiWindow* dialog, const char* text, LogRowKind kind) {
    int row = listview_row_count(dialog, ID_LOG);
    log_put_row(dialog, row, text, kind);
    return row;
}

void init_log_view(UiWindow* dialog, int id) {
    LogState& L = log_of(dialog);
    L.kinds.clear();
    L.times.clear();
    ui_list_add_column(dialog, id, "", LOG_COLUMN_WIDTH);
    L.colours = read_log_colours();
    ui_list_set_colours(dialog, id, L.colours.background, log_row_colour);
    L.journal_timer = 0;
    L.unwritten.clear();
    L.unwritten_from = 0;
    L.holds = 0;
    L.hold_from = INT_MAX;
    L.port = "-";
    ui_list_set_menu(dialog, id, LOG_MENU, static_cast<int>(sizeof LOG_MENU / sizeof LOG_MENU[0]));
    L.show_times = settings_read_int(TIMES_SECTION, TIMES_KEY) != 0;
    ui_list_check_menu(dialog, id, ID_LOG_SHOW_TIMES, L.show_times);
    journal_start(&L.journal);
    ui_list_check_menu(dialog, id, ID_LOG_KEEP_FILES, journal_is_on(&L.journal));
    settings_remove_stale_save();
    ui_list_set_row_texts(dialog, id, L.show_times ? time_prefix : nullptr, time_tip);
}

int log_command(UiWindow* dialog, int id) {
    LogState& L = log_of(dialog);
    switch (id) {
        case ID_LOG_SAVE: log_save(dialog); return 1;
        case ID_LOG_CLEAR: log_clear(dialog); return 1;
        case ID_LOG_SHOW_TIMES: log_show_times(dialog, !L.show_times); return 1;
        case ID_LOG_KEEP_FILES: {
            journal_set_on(&L.journal, !journal_is_on(&L.journal));
            ui_list_check_menu(dialog, ID_LOG, ID_LOG_KEEP_FILES, journal_is_on(&L.journal));
            // Rows from here on: the journal starts at the next row.
            L.unwritten.clear();
            L.unwritten_from = listview_row_count(dialog, ID_LOG);
            std::string dir = journal_dir();
            std::string note = !journal_is_on(&L.journal) ? std::string("(log files no longer kept)")
                               : dir.empty()    ? std::string("(log files kept: no folder for them)")
                                                : "(log files kept in " + dir + ", one a day and port)";
            log_append(dialog, note.c_str(), LOG_NOTE);
            return 1;
        }
        default: return 0;
    }
}

int log_timer(UiWindow* dialog, int id) {
    if (id != JOURNAL_TIMER) return 0;
    LogState& L = log_of(dialog);
    ui_kill_timer(dialog, JOURNAL_TIMER);
    L.journal_timer = 0;
    std::string why;
    if (journal_flush(&L.journal, &why) == 0) log_append(dialog, ("(log file not kept: " + why + ")").c_str(), LOG_NOTE);
    return 1;
}

void log_clear(UiWindow* dialog) {
    LogState& L = log_of(dialog);
    // What the journal still waits for goes first: the rows' places are gone.
    if (L.holds > 0) L.hold_from = 0;
    int holds = L.holds;
    L.holds = 0;
    journal_ready_rows(dialog, L);
    L.holds = holds;
    L.unwritten.clear();
    L.unwritten_from = 0;
    ui_list_clear(dialog, ID_LOG);
    // Swapped out, not cleared: a long log's memory goes back.
    std::vector<uint8_t>().swap(L.kinds);
    std::vector<int64_t>().swap(L.times);
}

void log_show_times(UiWindow* dialog, int show) {
    LogState& L = log_of(dialog);
    L.show_times = show ? 1 : 0;
    ui_list_check_menu(dialog, ID_LOG, ID_LOG_SHOW_TIMES, L.show_times);
    ui_list_set_row_texts(dialog, ID_LOG, L.show_times ? time_prefix : nullptr, time_tip);
    settings_write_int(TIMES_SECTION, TIMES_KEY, L.show_times);
}

int log_save(UiWindow* dialog) {
    static const char FILTER[] = "Log Files (*.log)\0*.log\0Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
    // "*": a name typed without an extension is kept as typed.
    char* path = session_choose_file(dialog, "zorvtalk.log", FILTER, "*", 0, "Save Log");
    if (!path) return 0;
    std::string target = path;
    ui_free(path);
    if (!ui_dialog_alive(dialog)) return 0;
    std::string text = file_text(dialog);
    char why[256] = "";
    int ok = settings_save_file(target.c_str(), text.data(), text.size(), why, sizeof why);
    if (ok) return 1;
    std::string message = "The log was not saved to\r\n" + target + "\r\n(" + why + ").";
    session_box(dialog, message.c_str(), "Save Log", UI_MB_OK | UI_MB_ICONERROR, 0);
    return 0;
}

int listview_row_count(UiWindow* dialog, int id) {
    int n = ui_list_count(dialog, id);
    return n < 0 ? 0 : n;
}
