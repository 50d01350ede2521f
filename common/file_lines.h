// How many command lines a command file holds, counted as the runner and the window
// will cut them, for their "line N of T" progress.
#pragma once

#include <cstdio>
#include <string>

// Lines the command file at path (opened as file) will run; file is rewound after.
// -1 when it is not a regular file (a FIFO or a device may never end), is too big to
// count quickly, cannot be read, or interrupted (may be nullptr) answers non-zero:
// progress then shows "line N" alone.
long count_file_lines(std::FILE* file, const std::string& path, int (*interrupted)() = nullptr);
