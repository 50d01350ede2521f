// The command log: set-up, row colours by parity, and the small list and combo
// helpers the window uses.
#pragma once

#include <cstdint>

#include "platform/ui.h"

// Colours fixed at set-up (0xRRGGBB).
struct LogColours {
    uint32_t background;  // the button-highlight colour
    uint32_t command;     // the button-text colour, for commands and notes
    uint32_t reply;       // blue, for replies
    uint32_t failed;      // red, for failed exchanges and a lost port
};

// What a row holds; its colour follows from it.
enum LogRowKind : uint8_t { LOG_COMMAND, LOG_REPLY, LOG_FAILED, LOG_NOTE };
extern LogColours g_log_colours;

constexpr int LOG_COLUMN_WIDTH = 566;

void init_log_view(UiWindow* dialog, int id);
void read_log_colours();
// The text colour of a row by its kind; rows of unknown kind by parity (replies on
// odd rows).
uint32_t log_row_colour(int row);
// Inserts a row of the given kind at index row, sets its text and scrolls it into view.
void log_put_row(UiWindow* dialog, int row, const char* text, LogRowKind kind);
// Appends a row; its index.
int log_append(UiWindow* dialog, const char* text, LogRowKind kind);

int listview_row_count(UiWindow* dialog, int id);
int listview_insert_row(UiWindow* dialog, int id, int row);
void listview_set_row_text(UiWindow* dialog, int id, int row, const char* text);
// Adds a combo item, selecting it when select is set; its index or -1.
int combo_add_item(UiWindow* dialog, int id, const char* text, int select);
