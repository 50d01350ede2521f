// Command files: the runner that plays a file line by line, and the Startup chooser.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/line_reader.h"
#include "platform/ui.h"

// Runs the startup file (use_startup_file 1; nothing when the box is empty) or a
// file the operator chooses, line by line through run_command.
void run_command_file(UiWindow* dialog, int use_startup_file);
void choose_startup_file(UiWindow* dialog);

// A disconnect or exit ends a run after its current line (Session::file_running).
// Stops the running file: the stop byte for the line that runs, and no line after it.
void stop_command_file(UiWindow* dialog);
