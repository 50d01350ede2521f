// Private-profile INI files on Windows: the system's own functions, with the same
// refusals as the POSIX layer so a text can never turn into another key or section.
#include "platform/profile.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string trimmed(const char* text) {
    std::string s = text ? text : "";
    size_t b = 0, e = s.size();
    while (b < e && is_blank(s[b])) ++b;
    while (e > b && is_blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool has_line_break(const char* s) { return s && std::strpbrk(s, "\r\n") != nullptr; }

}  // namespace

int profile_module_path(char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    DWORD n = GetModuleFileNameA(nullptr, buf, static_cast<DWORD>(size));
    // A full buffer means the path was cut: no path is better than another file's.
    if (n == 0 || n >= static_cast<DWORD>(size)) {
        buf[0] = '\0';
        return 0;
    }
    return static_cast<int>(n);
}

// Settings stay beside the program on Windows, whatever its folder allows.
int profile_user_dir(char* buf, int size) {
    if (buf && size > 0) buf[0] = '\0';
    return 0;
}

int profile_system_dir(const char*) { return 0; }

int profile_dir_writable(const char* dir) { return dir && *dir ? 1 : 0; }

int profile_file_exists(const char* path) {
    return path && *path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int profile_make_dirs(const char* dir) {
    if (!dir || !*dir) return 0;
    // Each missing level in turn, from the top (a drive or share root is there already).
    std::string path = dir;
    for (size_t sep = path.find_first_of("/\\", 1);; sep = path.find_first_of("/\\", sep + 1)) {
        std::string level = path.substr(0, sep);
        if (!level.empty() && level.back() != ':' && GetFileAttributesA(level.c_str()) == INVALID_FILE_ATTRIBUTES)
            CreateDirectoryA(level.c_str(), nullptr);
        if (sep == std::string::npos) break;
    }
    DWORD attributes = GetFileAttributesA(dir);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int profile_get_string(const char* section, const char* key, const char* def, char* buf, int size,
                       const char* path) {
    if (!buf || size <= 0) return 0;
    if (!key) return profile_get_keys(section, buf, size, path);
    if (!def) def = "";
    if (!section || !path || !*path) {
        std::strncpy(buf, def, static_cast<size_t>(size) - 1);
        buf[size - 1] = '\0';
        return static_cast<int>(std::strlen(buf));
    }
    return static_cast<int>(GetPrivateProfileStringA(section, key, def, buf, static_cast<DWORD>(size), path));
}

int profile_get_keys(const char* section, char* buf, int size, const char* path) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    if (size >= 2) buf[1] = '\0';
    if (!section || !path || !*path) return 0;
    // The system cuts the last name of a list that does not fit; read it whole and
    // hand back only the names that fit entirely.
    std::vector<char> all(4096);
    for (;;) {
        DWORD n = GetPrivateProfileStringA(section, nullptr, "", all.data(), static_cast<DWORD>(all.size()), path);
        if (n + 2 < all.size() || all.size() >= (1u << 20)) break;
        all.assign(all.size() * 4, '\0');
    }
    size_t used = 0;
    for (const char* name = all.data(); *name; name += std::strlen(name) + 1) {
        size_t len = std::strlen(name);
        if (used + len + 2 > static_cast<size_t>(size)) break;
        std::memcpy(buf + used, name, len + 1);
        used += len + 1;
    }
    buf[used] = '\0';
    return static_cast<int>(used);
}

int profile_put_string(const char* section, const char* key, const char* value, const char* path) {
    if (!path || !*path || !section || !key) return 0;
    if (!value) value = "";
    std::string sec = trimmed(section), name = trimmed(key);
    if (sec.empty() || name.empty()) return 0;
    // Any of these would be read back as a different key, section or line.
    if (has_line_break(section) || has_line_break(key) || has_line_break(value)) return 0;
    if (name.find('=') != std::string::npos || name[0] == ';' || name[0] == '[') return 0;
    return WritePrivateProfileStringA(sec.c_str(), name.c_str(), value, path) ? 1 : 0;
}

namespace {

std::string g_replace_error;  // why the last profile_replace_file failed

int replace_failed(DWORD code) {
    char text[256] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    // The system's texts end with a full stop and a line break; the caller adds its own.
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.' || text[n - 1] == ' ')) --n;
    text[n] = '\0';
    g_replace_error = n > 0 ? text : "error " + std::to_string(code);
    return 0;
}

}  // namespace

int profile_replace_file(const char* path, const char* data, int size, void (*made)(const char*, void*), void* ctx) {
    g_replace_error.clear();
    if (!path || !*path || size < 0 || (!data && size > 0)) return replace_failed(ERROR_INVALID_PARAMETER);
    // A name of our own, made here and nowhere else: a file that happens to be called
    // "<name>.tmp" is the user's, never ours to reuse. Unshared while open.
    static unsigned counter = 0;
    std::string tmp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        tmp = std::string(path) + ".zorvtalk-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++counter) + ".tmp";
        h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE) return replace_failed(GetLastError());
    if (made) made(tmp.c_str(), ctx);
    DWORD written = 0;
    bool ok = size == 0 || (WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr) &&
                            written == static_cast<DWORD>(size));
    if (ok) ok = FlushFileBuffers(h) != 0;
    DWORD err = ok ? 0 : GetLastError();
    CloseHandle(h);
    if (ok) ok = MoveFileExA(tmp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok && err == 0) err = GetLastError();
    if (!ok) DeleteFileA(tmp.c_str());
    return ok ? 1 : replace_failed(err);
}

int profile_replace_error(char* buf, int size) {
    if (!buf || size <= 0) return 0;
    size_t n = g_replace_error.size() < static_cast<size_t>(size) - 1 ? g_replace_error.size() : size_t(size) - 1;
    std::memcpy(buf, g_replace_error.data(), n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

const char* profile_line_end() { return "\r\n"; }
