// The program's own files on POSIX: O_APPEND writers, directory listing, reads that
// refuse FIFOs and devices, and command-file streams that never block on opening.
#include "platform/files.h"
#include "platform/posix/xdg_dir.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

struct PlatformFile {
    int fd;
};

namespace {

int g_errno = 0;

int failed(int err) {
    g_errno = err;
    return 0;
}

}  // namespace

PlatformFile* file_open_append(const char* path) {
    if (!path || !*path) {
        failed(EINVAL);
        return nullptr;
    }
    // O_NONBLOCK: a FIFO planted at the name must not hang the window until a reader comes.
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        failed(errno);
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        failed(EINVAL);
        return nullptr;
    }
    return new PlatformFile{fd};
}

int file_append(PlatformFile* file, const char* data, int size) {
    if (!file || size < 0 || (!data && size > 0)) return failed(EINVAL);
    for (;;) {
        ssize_t n = write(file->fd, data, size_t(size));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(errno);
        // A short write (a full disk) would leave half a line; say so rather than add the rest later.
        return n == ssize_t(size) ? 1 : failed(ENOSPC);
    }
}

void file_close(PlatformFile* file) {
    if (!file) return;
    close(file->fd);
    delete file;
}

int file_error(char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    if (!g_errno) return 0;
    const char* text = g_errno == EINVAL ? "not a regular file" : std::strerror(g_errno);
    size_t n = std::strlen(text);
    if (n >= size_t(size)) n = size_t(size) - 1;
    std::memcpy(buf, text, n);
    buf[n] = '\0';
    return int(n);
}

int file_list(const char* dir, void (*each)(const char* name, void* ctx), void* ctx) {
    DIR* d = dir && *dir ? opendir(dir) : nullptr;
    if (!d) return -1;
    int count = 0;
    while (struct dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        ++count;
        if (each) each(e->d_name, ctx);
    }
    closedir(d);
    return count;
}

int file_remove(const char* path) {
    if (!path || !*path) return failed(EINVAL);
    return unlink(path) == 0 ? 1 : failed(errno);
}

int file_remove_unlocked(const char* path) {
    if (!path || !*path) return failed(EINVAL);
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return failed(errno);
    // Unlinked while locked, and only if the name still means the file locked.
    struct stat held, now;
    bool ours = flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
                lstat(path, &now) == 0 && held.st_dev == now.st_dev && held.st_ino == now.st_ino;
    int removed = ours && unlink(path) == 0;
    close(fd);
    return removed ? 1 : failed(errno);
}

PlatformFile* file_open_read(const char* path, FileReadResult* result) {
    FileReadResult ignored;
    if (!result) result = &ignored;
    *result = FILE_READ_MISSING;
    if (!path || !*path) return nullptr;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *result = errno == ENOENT ? FILE_READ_MISSING : FILE_READ_REFUSED;
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        *result = FILE_READ_REFUSED;
        return nullptr;
    }
    *result = FILE_READ_OK;
    return new PlatformFile{fd};
}

struct FileStream {
    int fd;
    bool regular;
};

FileStream* file_stream_open(const char* path) {
    if (!path || !*path) {
        errno = ENOENT;
        return nullptr;
    }
    // Non-blocking, so a FIFO without a writer opens at once (and reads as ended).
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st;
    int err = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err) {
        close(fd);
        errno = err;
        return nullptr;
    }
    return new FileStream{fd, S_ISREG(st.st_mode)};
}

int file_stream_is_regular(FileStream* stream) { return stream && stream->regular ? 1 : 0; }

int file_stream_read(FileStream* stream, char* buf, int size) {
    if (!stream || !buf || size <= 0) return FILE_STREAM_ERROR;
    for (;;) {
        ssize_t n = read(stream->fd, buf, static_cast<size_t>(size));
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? FILE_STREAM_WAIT : FILE_STREAM_ERROR;
    }
}

intptr_t file_stream_handle(FileStream* stream) { return stream ? stream->fd : -1; }

void file_stream_close(FileStream* stream) {
    if (!stream) return;
    close(stream->fd);
    delete stream;
}

int file_read_rest(PlatformFile* file, size_t max_bytes, std::string* out, bool* cut) {
    if (cut) *cut = false;
    if (!file || !out) return 0;
    out->clear();
    struct stat st;
    off_t at = lseek(file->fd, 0, SEEK_CUR);
    if (at < 0 || fstat(file->fd, &st) != 0) return 0;
    if (st.st_size > at && size_t(st.st_size - at) > max_bytes) {
        if (lseek(file->fd, off_t(st.st_size - off_t(max_bytes)), SEEK_SET) < 0) return 0;
        if (cut) *cut = true;
    }
    char chunk[16384];
    while (out->size() < max_bytes) {
        ssize_t n = read(file->fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 0;
        if (n == 0) break;
        // The file may grow while it is read: the cap holds all the same, and the
        // rest waits for the next read.
        size_t take = size_t(n) < max_bytes - out->size() ? size_t(n) : max_bytes - out->size();
        out->append(chunk, take);
        if (take < size_t(n)) lseek(file->fd, off_t(take) - off_t(n), SEEK_CUR);
    }
    return 1;
}

int file_state_dir(char* buf, int size) { return xdg_program_dir("XDG_STATE_HOME", ".local/state", buf, size); }
