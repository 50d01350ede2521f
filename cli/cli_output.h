// What the runner writes to a terminal: a controller's bytes must not drive it.
#pragma once

#include <string>

// text with every control byte (below 0x20 but TAB, and 0x7F) written as \xNN, so
// that ESC sequences, bells and the like show instead of acting. Other bytes,
// UTF-8 included, stay as they are. A null text gives "".
std::string cli_terminal_safe(const char* text);
