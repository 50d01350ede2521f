// How a command file begins: a UTF-8 byte order mark is skipped (its first byte would
// reach the controller as a pin command), a UTF-16 file is refused (its NULs would cut
// it into fragments). Both front ends call this before their first line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// For the first bytes of a file: how many to skip (0 or 3), or -1 when the file is
// UTF-16 (a byte order mark, or ASCII text with NULs between its letters).
int command_file_head(const uint8_t* head, size_t n);
// Reads the head of an open file and leaves it positioned at its first command byte.
// 0 with why (size bytes) for a file that is not a text command file. A stream that
// cannot seek (a terminal, a pipe) is left untouched: 1.
int command_file_begin(std::FILE* file, char* why, size_t size);
