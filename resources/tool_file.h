// Writing an output file of the build tools in resources/.
#pragma once

#include <cstddef>
#include <cstdio>

// Writes size bytes to path, replacing it; 1 on success, 0 when any step fails.
inline int tool_write_file(const char* path, const void* data, size_t size) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 0;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}
