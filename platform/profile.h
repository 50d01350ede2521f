// Private-profile access to INI files: the calls the settings layer makes, with the
// Windows semantics (case-insensitive names, everything else in the file kept).
#pragma once

#include <string>

// Full path of the running executable into buf (size bytes incl. NUL). Returns the
// length; 0 when it cannot be obtained or does not fit (buf is then "" when size > 0).
int profile_module_path(char* buf, int size);

// The per-user settings folder, for when the executable's own folder cannot hold the
// settings: "$XDG_CONFIG_HOME/zorvtalk", or "$HOME/.config/zorvtalk" when that is
// unset, empty or not absolute. Returns the length; 0 (buf "" when size > 0) where
// settings always stay beside the program (Windows), without a home, or when it does
// not fit.
int profile_user_dir(char* buf, int size);
// 1 when dir is where installed programs live (the install prefix's bin folder,
// /usr/bin and the other system folders): their settings are kept per user. 0
// elsewhere, and always on Windows, where settings stay beside the program.
int profile_system_dir(const char* dir);
// 1 when the current user may create files in dir, else 0.
int profile_dir_writable(const char* dir);
// 1 when something exists at path, else 0.
int profile_file_exists(const char* path);
// Creates dir and its missing parents, new ones private to the user. 1 when dir is a
// directory afterwards, else 0.
int profile_make_dirs(const char* dir);

// Like GetPrivateProfileStringA with a non-null key: copies the value of key in
// section (or def when the file, the section or the key is missing) into buf, at most
// size-1 characters and a NUL, cutting longer values. Returns the characters copied.
// Names match without regard to ASCII case and surrounding blanks; the value is the
// text after the first '=', blanks trimmed, one pair of matching surrounding quotes
// removed; the first match wins. A key given as nullptr acts as profile_get_keys.
// buf nullptr or size <= 0: returns 0 and touches nothing.
int profile_get_string(const char* section, const char* key, const char* def, char* buf,
                       int size, const char* path);

// Like GetPrivateProfileStringA with a null key: every key name of the section (each
// name once, in file order), each NUL-ended, the list ended by an extra NUL. Names that
// do not fit are left out. Returns the characters copied excluding the final NUL; 0
// (buf "" "") when the file or section is missing.
int profile_get_keys(const char* section, char* buf, int size, const char* path);

// Like WritePrivateProfileStringA: sets section/key to value, adding the key, the
// section and the file as needed, every other byte of the file unchanged. The file is
// replaced atomically, so a failure leaves the old file whole. Returns non-zero on
// success; 0 when the file cannot be read or replaced, is not a regular file or is
// larger than 1 MiB, or when section or key is empty or a text would break the file's
// structure (CR or LF anywhere, '=' in the key, a key starting with ';' or '[').
int profile_put_string(const char* section, const char* key, const char* value, const char* path);

// Replaces the whole file at path with size bytes of data, atomically (a temporary
// beside it, then a rename), so a failure or a kill leaves the old file whole. Non-zero
// on success. Used for the files that are not INI files (history, saved logs). The
// temporary is the program's own: a new name ("<path>.zorvtalk-<process>-<n>.tmp",
// see profile_is_temporary), created exclusively and held (locked) until renamed, so
// no file of the user's is ever taken over. made, when given, is told its name once it
// exists, before anything is written to it.
int profile_replace_file(const char* path, const char* data, int size,
                         void (*made)(const char* temporary, void* ctx) = nullptr, void* ctx = nullptr);
// 1 when path has the form of a temporary that profile_replace_file makes.
inline int profile_is_temporary(const char* path) {
    if (!path) return 0;
    std::string p = path;
    size_t at = p.rfind(".zorvtalk-");
    if (at == std::string::npos || p.size() < at + 14 || p.compare(p.size() - 4, 4, ".tmp") != 0) return 0;
    std::string middle = p.substr(at + 10, p.size() - 4 - at - 10);  // "<process>-<n>"
    size_t dash = middle.find('-');
    return dash != std::string::npos && dash > 0 && dash + 1 < middle.size() &&
           middle.find_first_not_of("0123456789-") == std::string::npos && middle.find('-', dash + 1) == std::string::npos;
}
// Why the last profile_replace_file that failed did so, in the system's words, into
// buf (size bytes incl. NUL); the length, 0 when unknown.
int profile_replace_error(char* buf, int size);
// The line end of the system's text files: "\n", or "\r\n" on Windows.
const char* profile_line_end();
