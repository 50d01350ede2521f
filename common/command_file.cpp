// The start of a command file, looked at once for both front ends.
#include "common/command_file.h"

namespace {

bool letter(uint8_t b) { return (b >= 0x20 && b < 0x7F) || b == 0x0D || b == 0x0A || b == 0x09; }

}  // namespace

int command_file_head(const uint8_t* head, size_t n) {
    if (!head) return 0;
    if (n >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF))) return -1;
    if (n >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) return 3;
    // Without a mark: letters with a NUL after (or before) each, two in a row. A skip
    // block opens with one NUL followed by its 16 bytes, not this pattern.
    if (n >= 4 && letter(head[0]) && head[1] == 0 && letter(head[2]) && head[3] == 0) return -1;
    if (n >= 4 && head[0] == 0 && letter(head[1]) && head[2] == 0 && letter(head[3]) && head[1] != 0x0D) return -1;
    return 0;
}

int command_file_begin(std::FILE* file, char* why, size_t size) {
    if (why && size) why[0] = '\0';
    if (!file) return 0;
    long at = std::ftell(file);
    if (at < 0) return 1;
    uint8_t head[4];
    size_t n = std::fread(head, 1, sizeof head, file);
    int skip = command_file_head(head, n);
    if (skip < 0) {
        if (why && size) std::snprintf(why, size, "not a text command file (UTF-16)");
        return 0;
    }
    std::clearerr(file);
    return std::fseek(file, at + skip, SEEK_SET) == 0 ? 1 : 0;
}
