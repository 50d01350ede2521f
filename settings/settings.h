// The settings file (<executable name>.ini) beside the executable or in the per-user
// folder: path rule and string/integer reads and writes over the platform's
// private-profile calls.
#pragma once

#include <cstdint>

// Size of the settings path and of the value buffer: 260 characters and a NUL.
constexpr int SETTINGS_TEXT_SIZE = 261;

// The settings path for an executable path: the extension after the last '.' of the
// file name becomes "ini", or ".ini" is appended when the name has none. Returns the
// length written to out; 0 (out "" when size > 0) when module is null or empty, or
// the result would exceed 260 characters or not fit in size bytes.
int settings_path_from_module(const char* module, char* out, int size);

// The window's settings file for a front end's own: "<name>-cli.ini" names
// "<name>.ini" in the same folder (names matched without regard to ASCII case), so
// that the runner and the window share one file. Other paths are copied unchanged.
// Returns the length written to out; 0 (out "") when own is null or empty or the
// result does not fit in size bytes.
int settings_window_path(const char* own, char* out, int size);

// Where the settings file lives, given `beside`, its path beside the executable:
// in a system folder (an installed program) the same file name in user_dir, the
// per-user settings folder, whoever runs it and whatever lies beside it; elsewhere
// `beside` itself when its folder is writable or the file is already there
// (portable use), else the file in user_dir. `beside` when there is no user_dir
// (Windows) or the result would exceed 260 characters. Returns the length written
// to out; 0 (out "") when beside is null or empty or the result does not fit.
int settings_path_choose(const char* beside, int folder_writable, int file_exists, int system_folder,
                         const char* user_dir, char* out, int size);
// settings_path_choose with this system's answers (folder writable, file there,
// system folder, the per-user folder).
int settings_locate(const char* beside, char* out, int size);

// The cached settings path, the one answer for every front end: the window's file
// (settings_window_path) beside the executable, then settings_locate; computed on
// first use. "" while the executable's path cannot be obtained or the
// result would be too long; every settings operation on an empty path does nothing
// (reads "" / 0, writes 0). A write to a file in the per-user folder creates the
// folder first.
const char* settings_path();

// Makes path the settings path from now on (tests, the demo). nullptr or "" drops the
// override: the next settings_path computes it from the executable again. A path
// longer than 260 characters leaves the settings path empty.
void settings_use_path(const char* path);

// Reads a value into the program-wide value buffer and returns it ("" when the file,
// section or key is missing); it stays valid until the next read or integer write.
// file nullptr or "" means the settings path. Values longer than 260 are cut.
const char* profile_read_string(const char* file, const char* section, const char* key);
// Non-zero when the value was stored. A nullptr section, key or value is "".
int profile_write_string(const char* file, const char* section, const char* key, const char* value);
// The value as atol reads it: leading white space, an optional sign, decimal digits
// up to the first other character. 0 when missing, not a number, or outside int32.
int32_t profile_read_int(const char* file, const char* section, const char* key);
// Stores value as decimal text (leading '-' when negative), put first into the value
// buffer. Non-zero on success.
int profile_write_int(const char* file, const char* section, const char* key, int32_t value);

// The same on the settings path.
const char* settings_read_string(const char* section, const char* key);
int settings_write_string(const char* section, const char* key, const char* value);
int32_t settings_read_int(const char* section, const char* key);
int settings_write_int(const char* section, const char* key, int32_t value);

// Every key name of section in the settings file, each NUL-ended, the list ended by
// an extra NUL (see profile_get_keys). Returns the characters copied without the
// final NUL; 0 when the file, the section or the settings path is missing.
int settings_read_keys(const char* section, char* buf, int size);
