// The command log: each row remembers its kind (command, reply, failed, note), so
// colours stay right when rows other than command/reply pairs are added.
#include "console/log_view.h"

#include <cstddef>
#include <vector>

// The classic colours until the window reads the system's own.
LogColours g_log_colours = {0xFFFFFF, 0x000000, 0x0000FF, 0xFF0000};

namespace {

std::vector<uint8_t> g_kinds;  // by row; one byte a row

}  // namespace

// Read once: a later change of the system colours shows at the next start. There is
// no system colour for errors: red, as the screen shows it.
void read_log_colours() {
    g_log_colours = LogColours{ui_system_colour(UI_COLOUR_BUTTON_HIGHLIGHT), ui_system_colour(UI_COLOUR_BUTTON_TEXT),
                               ui_nearest_colour(0x0000FF), ui_nearest_colour(0xFF0000)};
}

uint32_t log_row_colour(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= g_kinds.size()) return (row & 1) ? g_log_colours.reply : g_log_colours.command;
    switch (g_kinds[static_cast<std::size_t>(row)]) {
        case LOG_REPLY: return g_log_colours.reply;
        case LOG_FAILED: return g_log_colours.failed;
        default: return g_log_colours.command;
    }
}

void log_put_row(UiWindow* dialog, int row, const char* text, LogRowKind kind) {
    int at = ui_list_insert(dialog, ID_LOG, row);
    if (at < 0) return;
    // Rows of unknown kind (none so far) count as commands and replies by parity.
    while (g_kinds.size() < static_cast<std::size_t>(at)) g_kinds.push_back(g_kinds.size() & 1 ? LOG_REPLY : LOG_COMMAND);
    g_kinds.insert(g_kinds.begin() + at, kind);
    ui_list_set_text(dialog, ID_LOG, at, text);
    ui_list_ensure_visible(dialog, ID_LOG, at);
}

int log_append(UiWindow* dialog, const char* text, LogRowKind kind) {
    int row = listview_row_count(dialog, ID_LOG);
    log_put_row(dialog, row, text, kind);
    return row;
}

void init_log_view(UiWindow* dialog, int id) {
    g_kinds.clear();
    ui_list_add_column(dialog, id, "", LOG_COLUMN_WIDTH);
    read_log_colours();
    ui_list_set_colours(dialog, id, g_log_colours.background, log_row_colour);
}

int listview_row_count(UiWindow* dialog, int id) {
    int n = ui_list_count(dialog, id);
    return n < 0 ? 0 : n;
}

int listview_insert_row(UiWindow* dialog, int id, int row) { return ui_list_insert(dialog, id, row); }

void listview_set_row_text(UiWindow* dialog, int id, int row, const char* text) {
    ui_list_set_text(dialog, id, row, text);
}

int combo_add_item(UiWindow* dialog, int id, const char* text, int select) {
    return ui_combo_add(dialog, id, text, select);
}
