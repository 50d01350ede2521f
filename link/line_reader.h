// The command-file line reader: bytes in, command lines out. Shared by every front
// end, so a file runs the same lines in the window and on the command line.
#pragma once

#include <cstdint>

constexpr int LINE_CHARS = 255;
constexpr int SKIP_BLOCK = 16;

// The line reader's state between bytes.
struct LineReader {
    int n;                 // kept characters of the line being collected
    int skip;              // bytes still to discard in a skip block, 0 when collecting
    bool after_cr;         // the previous byte ended a line with CR (an LF then belongs to it)
    bool cutting;          // the line being collected has lost characters past LINE_CHARS
    bool cut;              // the line just completed was longer than LINE_CHARS and was cut
    char line[LINE_CHARS + 1];
};

void line_reader_init(LineReader* reader);
// Feeds one byte; returns 1 when it completed a line, which is then in reader->line.
int line_reader_feed(LineReader* reader, uint8_t byte);
// At the end of the file: 1 when a last line without a line end holds characters.
int line_reader_finish(LineReader* reader);
