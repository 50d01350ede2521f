// Counting the lines of a command file, guarded so that no file can hold up a start.
#include "common/file_lines.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "link/line_reader.h"

namespace {

// Counting is only worth it for a file read quickly: a bigger one (or a device, a
// FIFO) shows "line N" alone.
constexpr uintmax_t COUNT_LINES_UP_TO = 16u << 20;

}  // namespace

long count_file_lines(std::FILE* file, const std::string& path, int (*interrupted)()) {
    if (!file) return -1;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) > COUNT_LINES_UP_TO || ec)
        return -1;
    LineReader reader;
    line_reader_init(&reader);
    long n = 0;
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        n += line_reader_feed(&reader, static_cast<uint8_t>(c));
        if (interrupted && interrupted()) {
            std::rewind(file);
            return -1;
        }
    }
    n += line_reader_finish(&reader);
    bool ok = !std::ferror(file);
    std::rewind(file);
    return ok ? n : -1;
}
