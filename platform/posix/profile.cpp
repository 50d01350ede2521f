// Private-profile INI files on POSIX: Windows lookup rules over a plain text file,
// edited in memory and replaced atomically (locked temporary file, fsync, rename).
#include "platform/profile.h"
#include "platform/posix/ini_text.h"
#include "platform/posix/xdg_dir.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <string>

#ifndef ZORV_INSTALL_BINDIR
#define ZORV_INSTALL_BINDIR "/usr/local/bin"
#endif

namespace {

// Settings files are a few lines; anything bigger is not ours to rewrite.
constexpr size_t MAX_FILE_BYTES = size_t(1) << 20;

enum LoadResult { LOAD_OK, LOAD_MISSING, LOAD_FAILED };

struct Loaded {
    std::string data;
    bool truncated = false;  // the file holds more than MAX_FILE_BYTES
    mode_t mode = 0;         // permission bits of the existing file
};

// O_NONBLOCK so that a FIFO at the settings path cannot hang the program.
LoadResult load_file(const char* path, Loaded* out) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? LOAD_MISSING : LOAD_FAILED;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return LOAD_FAILED;
    }
    out->mode = st.st_mode & 07777;
    char chunk[16384];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return LOAD_FAILED;
        }
        if (n == 0) break;
        size_t room = MAX_FILE_BYTES - out->data.size();
        if (size_t(n) > room) {
            out->data.append(chunk, room);
            out->truncated = true;
            break;
        }
        out->data.append(chunk, size_t(n));
    }
    close(fd);
    return LOAD_OK;
}

// Copies at most size-1 bytes of [text, text+len), cut at a NUL, and a NUL.
int copy_cut(const char* text, size_t len, char* buf, int size) {
    size_t n = 0;
    while (n < len && n + 1 < size_t(size) && text[n] != '\0') ++n;
    std::memcpy(buf, text, n);
    buf[n] = '\0';
    return int(n);
}

bool has_line_break(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

bool write_all(int fd, const char* data, size_t len) {
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        len -= size_t(n);
    }
    return true;
}

std::string directory_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Settings are saved under one temporary name, <target>.tmp, locked while in use:
// whoever holds the lock on the file now at that name owns the name. A save killed
// mid-way leaves that file unlocked, and the next save reuses it; a save running in
// another instance is waited for, so the two edits follow one another instead of
// one undoing the other.
constexpr int LOCK_TRIES = 100;  // 10 ms apart: a save takes milliseconds
constexpr long LOCK_RETRY_NS = 10 * 1000 * 1000;

std::string temporary_of(const std::string& target) { return target + ".tmp"; }

// Opens and locks the temporary file; -1 when it cannot be had within about a second.
int lock_temporary(const std::string& tmp) {
    for (int attempt = 0; attempt < LOCK_TRIES; ++attempt) {
        if (attempt > 0) {
            struct timespec pause = {0, LOCK_RETRY_NS};
            nanosleep(&pause, nullptr);
        }
        // O_NOFOLLOW and O_NONBLOCK: a link or a FIFO planted at the name is refused.
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
        int fd = open(tmp.c_str(), O_RDWR | O_CREAT | flags, 0666);
        if (fd < 0 && errno == EACCES) {
            // Left read-only (a killed save of a read-only file) or by another user: if
            // nobody holds it, it is ours to remove, and the name is free again.
            fd = open(tmp.c_str(), O_RDONLY | flags);
            if (fd < 0) {
                errno = EACCES;  // the reason to tell: no file there means the folder is not writable
                return -1;
            }
            if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
                close(fd);
                continue;
            }
            struct stat held, now;
            bool ours = fstat(fd, &held) == 0 && lstat(tmp.c_str(), &now) == 0 &&
                        held.st_dev == now.st_dev && held.st_ino == now.st_ino;
            bool removed = ours && S_ISREG(held.st_mode) && unlink(tmp.c_str()) == 0;
            close(fd);
            if (ours && !removed) return -1;
            continue;  // removed, or renamed into place meanwhile: try the name again
        }
        if (fd < 0) return -1;
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(fd);
            return -1;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR)) {
            close(fd);
            continue;
        }
        // Locked (or locks are not supported here, and the save goes ahead as before).
        // If the holder we waited for renamed the file into place, the name is free
        // again and belongs to a new file: start over.
        struct stat now;
        if (lstat(tmp.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
            return fd;
        close(fd);
    }
    return -1;
}

// Temporaries of earlier versions were named <target>.tmp<pid> or .tmp<pid>-<n>; those
// of processes that are gone are litter.
void remove_dead_temporaries(const std::string& target) {
    std::string dir = directory_of(target);
    std::string prefix = target.substr(target.rfind('/') + 1) + ".tmp";
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* e = readdir(d)) {
        const char* name = e->d_name;
        if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0) continue;
        const char* p = name + prefix.size();
        long long pid = 0;
        const char* digits = p;
        while (*p >= '0' && *p <= '9' && pid < INT_MAX) pid = pid * 10 + (*p++ - '0');
        if (p == digits || pid <= 0 || pid >= INT_MAX) continue;
        if (*p == '-') {
            const char* more = ++p;
            while (*p >= '0' && *p <= '9') ++p;
            if (p == more) continue;
        }
        if (*p != '\0') continue;
        // EPERM means alive under another user: only a pid nobody has is dead.
        if (kill(pid_t(pid), 0) != 0 && errno == ESRCH) unlinkat(dirfd(d), name, 0);
    }
    closedir(d);
}

// Writes data to the locked temporary and renames it over target, so readers see
// either the old file or the new one, never a mix or a stub. Closes fd.
bool replace_file(int fd, const std::string& tmp, const std::string& target, const std::string& data,
                  bool existed, mode_t mode) {
    // A reused temporary holds what a killed save left; the old file's mode bits are
    // wanted exactly, not as the umask left them.
    bool ok = ftruncate(fd, 0) == 0;
    if (ok && existed) ok = fchmod(fd, mode) == 0;
    if (ok) ok = write_all(fd, data.data(), data.size());
    if (ok) ok = fsync(fd) == 0;
    if (ok) ok = rename(tmp.c_str(), target.c_str()) == 0;
    int err = ok ? 0 : errno;  // the first failure is the one worth telling
    // Removed while still locked, so no waiting save can have taken the name over.
    if (!ok) unlink(tmp.c_str());
    if (close(fd) != 0) {
        if (ok) err = errno;
        ok = false;
    }
    if (!ok) {
        errno = err;
        return false;
    }
    // Makes the rename itself durable; the data is safe either way.
    int dir = open(directory_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

}  // namespace

int profile_module_path(char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    char path[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0 || n >= ssize_t(size) || n >= ssize_t(sizeof path - 1)) return 0;
    std::memcpy(buf, path, size_t(n));
    buf[n] = '\0';
    return int(n);
}

int xdg_program_dir(const char* variable, const char* home_default, char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    // A relative base is invalid and ignored, as the base-directory rules say.
    const char* base = getenv(variable);
    std::string dir;
    if (base && base[0] == '/') {
        dir = base;
    } else {
        const char* home = getenv("HOME");
        if (!home || home[0] != '/') return 0;
        dir = std::string(home) + "/" + home_default;
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    dir += dir == "/" ? "zorvtalk" : "/zorvtalk";
    if (dir.size() >= size_t(size)) return 0;
    std::memcpy(buf, dir.c_str(), dir.size() + 1);
    return int(dir.size());
}

int profile_user_dir(char* buf, int size) { return xdg_program_dir("XDG_CONFIG_HOME", ".config", buf, size); }

int profile_system_dir(const char* dir) {
    if (!dir || !*dir) return 0;
    // Folders whose programs a package manager or `make install` put there. /opt is
    // not one: a copy unpacked there stays portable.
    static const char* const FOLDERS[] = {"/bin", "/sbin", "/usr/bin", "/usr/sbin", "/usr/games",
                                          "/usr/local/bin", "/usr/local/sbin", "/usr/local/games"};
    static const char* const TREES[] = {"/usr/lib/", "/usr/libexec/", "/usr/local/lib/", "/usr/local/libexec/",
                                        "/usr/share/", "/snap/", "/nix/store/"};
    std::string d = dir;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    if (d == ZORV_INSTALL_BINDIR) return 1;
    for (const char* f : FOLDERS)
        if (d == f) return 1;
    for (const char* t : TREES)
        if (d.compare(0, std::strlen(t), t) == 0) return 1;
    return 0;
}

int profile_dir_writable(const char* dir) {
    return dir && *dir && access(dir, W_OK | X_OK) == 0 ? 1 : 0;
}

int profile_file_exists(const char* path) {
    struct stat st;
    return path && *path && lstat(path, &st) == 0 ? 1 : 0;
}

int profile_make_dirs(const char* dir) {
    if (!dir || !*dir) return 0;
    std::string path = dir;
    // Each missing level in turn, from the top: mkdir -p with mode 0700.
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string level = path.substr(0, slash);
        if (!level.empty() && mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return 0;
        if (slash == std::string::npos) break;
    }
    struct stat st;
    return stat(dir, &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

int profile_get_string(const char* section, const char* key, const char* def, char* buf,
                       int size, const char* path) {
    if (!buf || size <= 0) return 0;
    if (!key) return profile_get_keys(section, buf, size, path);
    if (!def) def = "";
    Loaded file;
    std::string name = ini_trimmed(key);
    if (!section || !path || !*path || name.empty() || load_file(path, &file) != LOAD_OK)
        return copy_cut(def, std::strlen(def), buf, size);
    IniFound f = ini_find(file.data, ini_trimmed(section), &name);
    if (!f.key) return copy_cut(def, std::strlen(def), buf, size);
    IniRange v = ini_unquoted(file.data, f.key_line.value);
    return copy_cut(file.data.data() + v.begin, v.end - v.begin, buf, size);
}

int profile_get_keys(const char* section, char* buf, int size, const char* path) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    if (size >= 2) buf[1] = '\0';
    Loaded file;
    if (!section || !path || !*path || load_file(path, &file) != LOAD_OK) return 0;
    IniFound f = ini_find(file.data, ini_trimmed(section), nullptr);
    if (!f.section) return 0;
    size_t used = 0;
    for (const std::string& name : ini_key_names(file.data, f)) {
        // The name, its NUL and the list's final NUL must fit; stop at the first that
        // does not, so the caller gets a clean prefix of the list.
        if (used + name.size() + 2 > size_t(size)) break;
        std::memcpy(buf + used, name.data(), name.size());
        used += name.size();
        buf[used++] = '\0';
    }
    buf[used] = '\0';
    return used == 0 ? 0 : int(used);
}

int profile_put_string(const char* section, const char* key, const char* value, const char* path) {
    if (!path || !*path || !section || !key) return 0;
    if (!value) value = "";
    std::string sec = ini_trimmed(section), name = ini_trimmed(key), val = value;
    if (sec.empty() || name.empty()) return 0;
    // Any of these would be read back as a different key, section or line.
    if (has_line_break(sec) || has_line_break(name) || has_line_break(val)) return 0;
    if (name.find('=') != std::string::npos || name[0] == ';' || name[0] == '[') return 0;

    Loaded file;
    LoadResult loaded = load_file(path, &file);
    if (loaded == LOAD_FAILED || file.truncated) return 0;
    // Nothing to change: the directory (perhaps read-only) is not touched.
    if (loaded == LOAD_OK && ini_with_value(file.data, sec, name, val) == file.data) return 1;

    // Replace the file a symbolic link points to, not the link itself.
    std::string target = path;
    if (loaded == LOAD_OK) {
        char* real = realpath(path, nullptr);
        if (real) {
            target = real;
            free(real);
        }
    }
    std::string tmp = temporary_of(target);
    int fd = lock_temporary(tmp);
    if (fd < 0) return 0;
    // Read again under the lock: another instance may have saved in the meantime.
    file = Loaded();
    loaded = load_file(path, &file);
    std::string s;
    if (loaded != LOAD_FAILED && !file.truncated) s = ini_with_value(file.data, sec, name, val);
    bool unchanged = loaded == LOAD_OK && !file.truncated && s == file.data;
    if (unchanged || loaded == LOAD_FAILED || file.truncated || s.size() > MAX_FILE_BYTES) {
        unlink(tmp.c_str());
        close(fd);
        return unchanged ? 1 : 0;
    }
    remove_dead_temporaries(target);
    return replace_file(fd, tmp, target, s, loaded == LOAD_OK, file.mode) ? 1 : 0;
}

namespace {

std::string g_replace_error;  // why the last profile_replace_file failed

int replace_failed(const char* why) {
    g_replace_error = why;
    return 0;
}

}  // namespace

int profile_replace_file(const char* path, const char* data, int size, void (*made)(const char*, void*), void* ctx) {
    g_replace_error.clear();
    if (!path || !*path || size < 0 || (!data && size > 0)) return replace_failed("no file name or no data");
    std::string target = path;
    struct stat st;
    bool existed = stat(path, &st) == 0;
    if (existed) {
        if (S_ISDIR(st.st_mode)) return replace_failed("it is a folder");
        if (!S_ISREG(st.st_mode)) return replace_failed("it is not a regular file");
        char* real = realpath(path, nullptr);
        if (real) {
            target = real;
            free(real);
        }
    }
    // A name of our own, made here and nowhere else: a file that happens to be called
    // "<name>.tmp" is the user's, never ours to reuse.
    static unsigned counter = 0;
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = target + ".zorvtalk-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".tmp";
        fd = open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return replace_failed(std::strerror(errno));
    // Held while it is written: another window's clean-up leaves a locked file alone.
    flock(fd, LOCK_EX | LOCK_NB);
    if (made) made(tmp.c_str(), ctx);
    if (!replace_file(fd, tmp, target, std::string(data ? data : "", size_t(size)), existed,
                      existed ? st.st_mode & 07777 : 0))
        return replace_failed(errno ? std::strerror(errno) : "the file could not be written");
    return 1;
}

int profile_replace_error(char* buf, int size) {
    if (!buf || size <= 0) return 0;
    return copy_cut(g_replace_error.data(), g_replace_error.size(), buf, size);
}

const char* profile_line_end() { return "\n"; }
