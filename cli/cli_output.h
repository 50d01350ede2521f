// What the runner writes: replies, messages and the progress line, with a
// controller's bytes kept from driving a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// text with every control byte (below 0x20 but TAB, and 0x7F; NUL too) written as
// \xNN, so that ESC sequences, bells and the like show instead of acting. Other
// bytes, UTF-8 included, stay as they are. A null text gives "".
std::string cli_terminal_safe(const char* text, size_t length);
std::string cli_terminal_safe(const char* text);

// The progress line is redrawn at most this often.
constexpr uint64_t CLI_PROGRESS_EVERY_MS = 100;

// How the run prints, decided once from the options and the streams.
struct CliOutput {
    bool times = false;
    bool stdout_tty = false;
    bool escape_out = false, escape_err = false;  // control bytes as \xNN on a terminal
    bool progress = false;  // a progress line on the terminal of stderr
    std::string progress_text;
    size_t shown = 0;  // width of the progress line on screen, 0 when none
    uint64_t drawn_at = 0;
    int write_error = 0;  // errno of the first write to stdout that failed; 0: none
    std::string line;     // the line being written, kept to spare an allocation a line
};

// Clears the progress line from the screen, if one shows.
void cli_progress_erase(CliOutput* o);
// Draws the progress text over what shows (nothing without a progress line).
void cli_progress_draw(CliOutput* o, uint64_t now);
// Sets the progress text to "line N of T" ("line N" when total < 0) and draws it when
// the last drawing is old enough.
void cli_progress_set(CliOutput* o, long line, long total, uint64_t now);

// One printed line to stdout or stderr: [time] [mark] text. Replies are written byte
// for byte (length bytes, NULs included), but for the control bytes a terminal would
// act on. Each line goes out whole and at once, so that a reader of a pipe gets every
// reply as it comes and stdout and stderr stay in step; a failed write to stdout is
// kept in write_error.
void cli_emit(CliOutput* o, FILE* to, const char* mark, const char* text, size_t length);
void cli_emit(CliOutput* o, FILE* to, const char* mark, const char* text);
// "zorvtalk-cli: text" on stderr. o may be null (before the run is set up): the
// text is then escaped when stderr is a terminal.
void cli_say(CliOutput* o, const char* text);

// "2 s", "1.5 s": a duration in milliseconds as messages give it.
std::string cli_seconds_text(uint32_t ms);
