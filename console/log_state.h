// What the log holds for one window, kept in its session record: its rows, the
// colours, and what the journal still waits for.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "console/journal.h"
#include "console/log_model.h"

// Colours fixed at set-up (0xRRGGBB).
struct LogColours {
    uint32_t background;  // the button-highlight colour
    uint32_t command;     // the button-text colour, for commands and notes
    uint32_t reply;       // blue, for replies
    uint32_t failed;      // red, for failed exchanges and a lost port
};

// A row the journal has not had yet.
struct UnwrittenRow {
    int64_t ms;
    LogRowKind kind;
    std::string port, text;
};

// The log's state for one window (a part of its session record).
struct LogState {
    LogModel rows;
    // The classic colours until the window reads the system's own.
    LogColours colours = {0xFFFFFF, 0x000000, 0x0000FF, 0xFF0000};
    int journal_timer = 0;  // JOURNAL_TIMER runs
    // The clock rows are stamped from (ms since 1970); nullptr for the wall clock. Tests set it.
    int64_t (*clock)() = nullptr;
    // Rows from unwritten_from on that the journal has not had yet. A command's rows
    // are held until its exchange ends: a dropped-input note and the reply are put in
    // above rows added meanwhile (a disconnect note), and the journal keeps the window's
    // order.
    std::vector<UnwrittenRow> unwritten;
    int unwritten_from = 0;
    int holds = 0, hold_from = INT_MAX;
    std::string port = "-";
    Journal journal;
    std::string journal_line;  // reused: rows come thousands a second in a command file
    std::string shown;         // the text last handed to the list
};
