// Cutting command lines for the runner.
#include "cli/cli_lines.h"

#include "link/line_reader.h"

std::vector<CliCommandLine> cli_command_lines(const std::string& text) {
    std::vector<CliCommandLine> lines;
    if (text.empty()) {
        lines.push_back({"", false});
        return lines;
    }
    LineReader reader;
    line_reader_init(&reader);
    for (unsigned char b : text)
        if (line_reader_feed(&reader, b)) lines.push_back({reader.line, reader.cut});
    if (line_reader_finish(&reader)) lines.push_back({reader.line, reader.cut});
    return lines;
}
