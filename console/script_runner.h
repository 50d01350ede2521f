// Command files: the byte-level line reader, the runner, and the file choosers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/line_reader.h"
#include "platform/ui.h"

// Runs the startup file (use_startup_file 1; nothing when the box is empty) or a
// file the operator chooses, line by line through run_command.
void run_command_file(UiWindow* dialog, int use_startup_file);
void choose_startup_file(UiWindow* dialog);
// The file chooser: a new heap string (ui_free) or nullptr when cancelled.
char* choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext, int open,
                  const char* title);

// 1 while a command file runs; a disconnect or exit ends the run after its current line.
int script_running();
// Stops the running file: the stop byte for the line that runs, and no line after it.
void stop_command_file(UiWindow* dialog);
