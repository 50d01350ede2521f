// Cutting and counting command lines for the runner.
#include "cli/cli_lines.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "link/line_reader.h"
#include "platform/terminal.h"

namespace {

// Counting is only worth it for a file read quickly: a bigger one (or a device, a
// FIFO) shows "line N" alone.
constexpr uintmax_t COUNT_LINES_UP_TO = 16u << 20;

}  // namespace

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

long cli_count_file_lines(FILE* file, const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) > COUNT_LINES_UP_TO || ec)
        return -1;
    LineReader reader;
    line_reader_init(&reader);
    long n = 0;
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        n += line_reader_feed(&reader, static_cast<uint8_t>(c));
        if (terminal_interrupt_status()) return -1;
    }
    n += line_reader_finish(&reader);
    bool ok = !std::ferror(file);
    std::rewind(file);
    return ok ? n : -1;
}
