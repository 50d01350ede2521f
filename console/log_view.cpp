// Log rows alternate command and reply; the colour follows the row's parity so
// the two kinds never drift apart, empty replies included.
#include "console/log_view.h"

// The classic colours until the window reads the system's own.
LogColours g_log_colours = {0xFFFFFF, 0x000000, 0x0000FF};

// Read once: a later change of the system colours shows at the next start.
void read_log_colours() {
    g_log_colours = LogColours{ui_system_colour(UI_COLOUR_BUTTON_HIGHLIGHT), ui_system_colour(UI_COLOUR_BUTTON_TEXT),
                               ui_nearest_colour(0x0000FF)};
}

uint32_t log_row_colour(int row) { return (row & 1) ? g_log_colours.reply : g_log_colours.command; }

void init_log_view(UiWindow* dialog, int id) {
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
