// The settings file beside the executable (or in the per-user folder when the
// executable's is not writable): the path rule and the read/write layer, sharing one
// path buffer and one value buffer for the whole program.
#include "settings/settings.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/digits.h"
#include "platform/profile.h"

namespace {

constexpr int MAX_TEXT = SETTINGS_TEXT_SIZE - 1;

char g_path[SETTINGS_TEXT_SIZE];
bool g_path_fixed = false;  // settings_use_path chose the path; never recompute it
char value_buffer[SETTINGS_TEXT_SIZE];

const char* text_or_empty(const char* s) { return s ? s : ""; }

// "" when no usable settings path exists, so callers can skip the platform call.
const char* resolve(const char* file) { return (file && *file) ? file : settings_path(); }

// The part of a path before its last separator ('/' or '\\'), or "." without one.
std::string folder_of(const std::string& path) {
    size_t sep = path.find_last_of("/\\");
    if (sep == std::string::npos) return ".";
    return sep == 0 ? path.substr(0, 1) : path.substr(0, sep);
}

std::string file_name(const std::string& path) {
    size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

// The per-user folder is made on the first save into it, as a fresh account has none.
void make_user_folder_for(const char* path) {
    char user_dir[SETTINGS_TEXT_SIZE];
    if (!profile_user_dir(user_dir, sizeof user_dir)) return;
    if (folder_of(path) == user_dir) profile_make_dirs(user_dir);
}

}  // namespace

int settings_path_from_module(const char* module, char* out, int size) {
    if (!out || size <= 0) return 0;
    out[0] = '\0';
    if (!module || !*module) return 0;
    size_t len = std::strlen(module);
    // Walk back to the extension's dot or the start of the file name. '/' counts
    // with '\\' and ':' so that a dot in a Linux directory name is not taken as the
    // extension ('/opt/my.tools/term' must not become '/opt/my.ini').
    size_t i = len;
    while (i > 0) {
        char c = module[i - 1];
        if (c == '.' || c == '\\' || c == ':' || c == '/') break;
        --i;
    }
    bool has_dot = i > 0 && module[i - 1] == '.';
    size_t stem = has_dot ? i : len;
    const char* suffix = has_dot ? "ini" : ".ini";
    size_t total = stem + std::strlen(suffix);
    if (total > size_t(MAX_TEXT) || total >= size_t(size)) return 0;
    std::memcpy(out, module, stem);
    std::strcpy(out + stem, suffix);
    return int(total);
}

int settings_window_path(const char* own, char* out, int size) {
    if (!out || size <= 0) return 0;
    out[0] = '\0';
    if (!own || !*own) return 0;
    static const char SUFFIX[] = "-cli.ini";
    const size_t n = sizeof SUFFIX - 1;
    std::string path = own;
    size_t name = path.find_last_of("/\\");
    name = name == std::string::npos ? 0 : name + 1;
    bool runner = path.size() - name > n;  // the name must keep a stem
    for (size_t i = 0; runner && i < n; ++i) {
        char c = path[path.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        runner = c == SUFFIX[i];
    }
    if (runner) path = path.substr(0, path.size() - n) + ".ini";
    if (path.size() >= size_t(size)) return 0;
    std::strcpy(out, path.c_str());
    return int(path.size());
}

int settings_path_choose(const char* beside, int folder_writable, int file_exists, int system_folder,
                         const char* user_dir, char* out, int size) {
    if (!out || size <= 0) return 0;
    out[0] = '\0';
    if (!beside || !*beside) return 0;
    std::string chosen = beside;
    // An installed program must not write beside itself even when it may (root):
    // that file would capture every user's settings and outlive the package.
    bool portable = !system_folder && (folder_writable || file_exists);
    if (!portable && user_dir && *user_dir) {
        std::string in_user_dir = std::string(user_dir) + "/" + file_name(beside);
        if (in_user_dir.size() <= size_t(MAX_TEXT)) chosen = in_user_dir;
    }
    if (chosen.size() >= size_t(size)) return 0;
    std::strcpy(out, chosen.c_str());
    return int(chosen.size());
}

int settings_locate(const char* beside, char* out, int size) {
    if (!beside || !*beside) return settings_path_choose(beside, 0, 0, 0, nullptr, out, size);
    char user_dir[SETTINGS_TEXT_SIZE];
    // Only a system with a per-user folder needs to know more about the program's own.
    if (!profile_user_dir(user_dir, sizeof user_dir)) return settings_path_choose(beside, 1, 1, 0, "", out, size);
    std::string folder = folder_of(beside);
    return settings_path_choose(beside, profile_dir_writable(folder.c_str()), profile_file_exists(beside),
                                profile_system_dir(folder.c_str()), user_dir, out, size);
}

const char* settings_path() {
    if (g_path[0] || g_path_fixed) return g_path;
    char module[SETTINGS_TEXT_SIZE], own[SETTINGS_TEXT_SIZE], beside[SETTINGS_TEXT_SIZE];
    if (profile_module_path(module, sizeof module) > 0 && settings_path_from_module(module, own, sizeof own) > 0 &&
        settings_window_path(own, beside, sizeof beside) > 0)
        settings_locate(beside, g_path, sizeof g_path);
    return g_path;
}

void settings_use_path(const char* path) {
    g_path[0] = '\0';
    g_path_fixed = false;
    if (!path || !*path) return;
    g_path_fixed = true;
    // Too long: stays "" and every operation does nothing, rather than cutting the
    // path and writing some other file.
    if (std::strlen(path) <= size_t(MAX_TEXT)) std::strcpy(g_path, path);
}

const char* profile_read_string(const char* file, const char* section, const char* key) {
    value_buffer[0] = '\0';
    const char* path = resolve(file);
    if (!*path) return value_buffer;
    profile_get_string(text_or_empty(section), text_or_empty(key), "", value_buffer,
                       SETTINGS_TEXT_SIZE, path);
    return value_buffer;
}

int profile_write_string(const char* file, const char* section, const char* key, const char* value) {
    const char* path = resolve(file);
    if (!*path) return 0;
    make_user_folder_for(path);
    return profile_put_string(text_or_empty(section), text_or_empty(key), text_or_empty(value),
                              path);
}

int32_t profile_read_int(const char* file, const char* section, const char* key) {
    const char* p = profile_read_string(file, section, key);
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    // Give up beyond int32 (2^31 for the most negative): atol would overflow here.
    DigitRun run = read_digits(p, int64_t(INT32_MAX) + 1);
    if (!run.fits) return 0;
    int64_t n = negative ? -run.value : run.value;
    if (n > INT32_MAX) return 0;
    return int32_t(n);
}

int profile_write_int(const char* file, const char* section, const char* key, int32_t value) {
    std::snprintf(value_buffer, sizeof value_buffer, "%ld", long(value));
    return profile_write_string(file, section, key, value_buffer);
}

const char* settings_read_string(const char* section, const char* key) {
    return profile_read_string(nullptr, section, key);
}

int settings_write_string(const char* section, const char* key, const char* value) {
    return profile_write_string(nullptr, section, key, value);
}

int32_t settings_read_int(const char* section, const char* key) {
    return profile_read_int(nullptr, section, key);
}

int settings_write_int(const char* section, const char* key, int32_t value) {
    return profile_write_int(nullptr, section, key, value);
}

int settings_read_keys(const char* section, char* buf, int size) {
    if (!buf || size <= 0) return 0;
    const char* path = settings_path();
    if (!*path) {
        buf[0] = '\0';
        if (size >= 2) buf[1] = '\0';
        return 0;
    }
    return profile_get_keys(text_or_empty(section), buf, size, path);
}
