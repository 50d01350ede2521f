// The command log: its rows live in the session's log model, which the list shows
// through a row source; each row remembers its kind (command, reply, failed, note)
// and when it was added, so colours stay right, and the log can show its times and
// be saved.
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
    {ID_LOG_COPY, "&Copy\tCtrl+C", 'C', 0},
    {ID_LOG_SELECT_ALL, "Select &All\tCtrl+A", 'A', 0},
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

// What the list shows, asked for as it draws.
int source_count(UiWindow* dialog) { return log_model_count(log_of(dialog).rows); }

const char* source_text(UiWindow* dialog, int row, int* length) {
    LogState& L = log_of(dialog);
    if (!L.rows.show_times) {  // the row's own text: no copy
        const std::string& text = log_model_text(L.rows, row);
        *length = static_cast<int>(text.size());
        return text.c_str();
    }
    log_model_shown(L.rows, row, &L.shown);
    *length = static_cast<int>(L.shown.size());
    return L.shown.c_str();
}

const char* source_tip(UiWindow* dialog, int row, int text_px, int column_px, int* length) {
    LogState& L = log_of(dialog);
    log_model_tip(L.rows, row, text_px, column_px, profile_line_end(), &L.shown);
    *length = static_cast<int>(L.shown.size());
    return L.shown.c_str();
}

// The selected rows as shown, one a line, onto the clipboard.
void copy_rows(UiWindow* dialog) {
    std::vector<int> picked;
    for (int row = ui_list_next_selected(dialog, ID_LOG, -1); row >= 0; row = ui_list_next_selected(dialog, ID_LOG, row))
        picked.push_back(row);
    std::string text;
    log_model_copy_text(log_of(dialog).rows, picked, profile_line_end(), &text);
    if (!text.empty() && text.size() <= static_cast<size_t>(INT_MAX))
        ui_set_clipboard(dialog, text.data(), static_cast<int>(text.size()));
}

// Each row goes to the journal in the window's order; a journal that cannot be
// written says so in one note row and the window goes on.
void journal_row(UiWindow* dialog, LogState& L, int64_t ms, LogRowKind kind, const char* port, const char* text) {
    if (!journal_is_on(&L.journal)) return;
    std::string& line = L.journal_line;
    line.clear();
    char stamp[32];
    log_model_file_line(&line, ms, kind, text, text ? std::strlen(text) : 0, profile_line_end(), stamp);
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
        L.unwritten_from = log_model_count(L.rows);
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

int log_row_count(UiWindow* dialog) { return log_model_count(log_of(dialog).rows); }

const std::string& log_row_text(UiWindow* dialog, int row) { return log_model_text(log_of(dialog).rows, row); }

const UiRowSource LOG_ROWS = {source_count, source_text, log_row_colour, source_tip};

LogRowKind log_row_kind(UiWindow* dialog, int row) { return log_model_kind(log_of(dialog).rows, row); }

int64_t log_row_time(UiWindow* dialog, int row) { return log_model_time(log_of(dialog).rows, row); }

uint32_t log_row_colour(UiWindow* dialog, int row) {
    const LogColours& colours = log_of(dialog).colours;
    switch (log_row_kind(dialog, row)) {
        case LOG_REPLY: return colours.reply;
        case LOG_FAILED: return colours.failed;
        default: return colours.command;
    }
}

void log_put_row(UiWindow* dialog, int row, const char* text, LogRowKind kind, int64_t ago_ms) {
    LogState& L = log_of(dialog);
    int at = log_model_insert(&L.rows, row, text, kind, now_ms(L) - (ago_ms > 0 ? ago_ms : 0));
    ui_list_inserted(dialog, ID_LOG, at);
    ui_list_ensure_visible(dialog, ID_LOG, at);
    journal_put(dialog, L, at, log_model_time(L.rows, at), kind, L.port, text);
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
    int row = log_row_count(dialog);
    log_put_row(dialog, row, text, kind);
    return row;
}

void init_log_view(UiWindow* dialog, int id) {
    LogState& L = log_of(dialog);
    log_model_clear(&L.rows);
    L.rows.show_times = settings_read_int(TIMES_SECTION, TIMES_KEY) != 0;
    L.colours = read_log_colours();
    ui_list_bind(dialog, id, &LOG_ROWS, L.colours.background);
    L.journal_timer = 0;
    L.unwritten.clear();
    L.unwritten_from = 0;
    L.holds = 0;
    L.hold_from = INT_MAX;
    L.port = "-";
    ui_list_set_menu(dialog, id, LOG_MENU, static_cast<int>(sizeof LOG_MENU / sizeof LOG_MENU[0]));
    ui_list_check_menu(dialog, id, ID_LOG_SHOW_TIMES, L.rows.show_times);
    journal_start(&L.journal);
    ui_list_check_menu(dialog, id, ID_LOG_KEEP_FILES, journal_is_on(&L.journal));
    settings_remove_stale_save();
}

int log_command(UiWindow* dialog, int id) {
    LogState& L = log_of(dialog);
    switch (id) {
        case ID_LOG_SAVE: log_save(dialog); return 1;
        case ID_LOG_CLEAR: log_clear(dialog); return 1;
        case ID_LOG_SHOW_TIMES: log_show_times(dialog, !L.rows.show_times); return 1;
        case ID_LOG_COPY: copy_rows(dialog); return 1;
        case ID_LOG_SELECT_ALL: ui_list_select_all(dialog, ID_LOG); return 1;
        case ID_LOG_KEEP_FILES: {
            journal_set_on(&L.journal, !journal_is_on(&L.journal));
            ui_list_check_menu(dialog, ID_LOG, ID_LOG_KEEP_FILES, journal_is_on(&L.journal));
            // Rows from here on: the journal starts at the next row.
            L.unwritten.clear();
            L.unwritten_from = log_model_count(L.rows);
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
    log_model_clear(&L.rows);
    ui_list_cleared(dialog, ID_LOG);
}

void log_show_times(UiWindow* dialog, int show) {
    LogState& L = log_of(dialog);
    L.rows.show_times = show ? 1 : 0;
    ui_list_check_menu(dialog, ID_LOG, ID_LOG_SHOW_TIMES, L.rows.show_times);
    ui_list_changed(dialog, ID_LOG);
    settings_write_int(TIMES_SECTION, TIMES_KEY, L.rows.show_times);
}

int log_save(UiWindow* dialog) {
    static const char FILTER[] = "Log Files (*.log)\0*.log\0Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
    // "*": a name typed without an extension is kept as typed.
    char* path = session_choose_file(dialog, "zorvtalk.log", FILTER, "*", 0, "Save Log");
    if (!path) return 0;
    std::string target = path;
    ui_free(path);
    if (!ui_dialog_alive(dialog)) return 0;
    std::string text = log_model_file_text(log_of(dialog).rows, profile_line_end());
    char why[256] = "";
    int ok = settings_save_file(target.c_str(), text.data(), text.size(), why, sizeof why);
    if (ok) return 1;
    std::string message = "The log was not saved to\r\n" + target + "\r\n(" + why + ").";
    session_box(dialog, message.c_str(), "Save Log", UI_MB_OK | UI_MB_ICONERROR, 0);
    return 0;
}
