// Command files: the byte-level line reader, the runner, and the file choosers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ui.h"

constexpr int LINE_CHARS = 255;
constexpr int SKIP_BLOCK = 16;

// The line reader's state between bytes.
struct LineReader {
    int n;                 // kept characters of the line being collected
    int skip;              // bytes still to discard in a skip block, 0 when collecting
    bool after_cr;         // the previous byte ended a line with CR (an LF then belongs to it)
    char line[LINE_CHARS + 1];
};

void line_reader_init(LineReader* reader);
// Feeds one byte; returns 1 when it completed a line, which is then in reader->line.
int line_reader_feed(LineReader* reader, uint8_t byte);
// At the end of the file: 1 when a last line without a line end holds characters.
int line_reader_finish(LineReader* reader);

// Runs the startup file (use_startup_file 1; nothing when the box is empty) or a
// file the operator chooses, line by line through run_command.
void run_command_file(UiWindow* dialog, int use_startup_file);
void choose_startup_file(UiWindow* dialog);
// The file chooser: a new heap string (ui_free) or nullptr when cancelled.
char* choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext, int open,
                  const char* title);

// 1 while a command file runs; a disconnect or exit ends the run after its current line.
int script_running();
