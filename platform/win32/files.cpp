// The program's own files on Windows: FILE_APPEND_DATA writers, directory listing,
// and reads that refuse anything but a file on disk.
#include "platform/files.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

struct PlatformFile {
    HANDLE handle;
};

namespace {

DWORD g_error = 0;

int failed(DWORD code) {
    g_error = code;
    return 0;
}

}  // namespace

PlatformFile* file_open_append(const char* path) {
    if (!path || !*path) {
        failed(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // FILE_APPEND_DATA alone: every write goes to the end, whoever else appends.
    // Read access too: a handle without it cannot take the lock file_append uses.
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        failed(GetLastError());
        return nullptr;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        failed(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return new PlatformFile{h};
}

int file_append(PlatformFile* file, const char* data, int size) {
    if (!file || size < 0 || (!data && size > 0)) return failed(ERROR_INVALID_PARAMETER);
    // Appends from two handles at once can land on the same offset under Wine: the
    // writers take turns on a byte no file reaches. Without the lock the write still goes.
    OVERLAPPED turn = {};
    turn.Offset = 0xFFFFFFFEu;
    turn.OffsetHigh = 0x7FFFFFFFu;
    bool locked = LockFileEx(file->handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != 0;
    DWORD written = 0;
    bool ok = WriteFile(file->handle, data, static_cast<DWORD>(size), &written, nullptr) != 0;
    DWORD err = ok ? 0 : GetLastError();
    if (locked) UnlockFileEx(file->handle, 0, 1, 0, &turn);
    if (!ok) return failed(err);
    return written == static_cast<DWORD>(size) ? 1 : failed(ERROR_DISK_FULL);
}

void file_close(PlatformFile* file) {
    if (!file) return;
    CloseHandle(file->handle);
    delete file;
}

int file_error(char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    if (!g_error) return 0;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, g_error, 0, buf,
                             static_cast<DWORD>(size), nullptr);
    // The system's texts end with a full stop and a line break; the caller adds its own.
    while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == '.' || buf[n - 1] == ' ')) --n;
    buf[n] = '\0';
    return static_cast<int>(n);
}

int file_list(const char* dir, void (*each)(const char* name, void* ctx), void* ctx) {
    if (!dir || !*dir) return -1;
    std::string pattern = std::string(dir) + "\\*";
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : -1;
    int count = 0;
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        ++count;
        if (each) each(found.cFileName, ctx);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return count;
}

int file_remove(const char* path) {
    if (!path || !*path) return failed(ERROR_INVALID_PARAMETER);
    return DeleteFileA(path) ? 1 : failed(GetLastError());
}

// A save holds its temporary open without sharing, so a held one cannot be deleted.
int file_remove_unlocked(const char* path) {
    if (!path || !*path) return failed(ERROR_INVALID_PARAMETER);
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return failed(GetLastError());
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return failed(ERROR_INVALID_PARAMETER);
    return file_remove(path);
}

PlatformFile* file_open_read(const char* path, FileReadResult* result) {
    FileReadResult ignored;
    if (!result) result = &ignored;
    *result = FILE_READ_MISSING;
    if (!path || !*path) return nullptr;
    // Shared for deleting too, so that a save may replace the file while it is open.
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        *result = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? FILE_READ_MISSING : FILE_READ_REFUSED;
        return nullptr;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        *result = FILE_READ_REFUSED;
        return nullptr;
    }
    *result = FILE_READ_OK;
    return new PlatformFile{h};
}

// A pipe (and what Wine opens a FIFO as) is read overlapped: a read that has to wait
// stays under way, and its event joins the window's wait.
struct FileStream {
    HANDLE handle;
    bool regular;
    bool overlapped;
    OVERLAPPED ov;
    bool pending;
    int asked;
    char chunk[4096];
};

FileStream* file_stream_open(const char* path) {
    if (!path || !*path) {
        errno = ENOENT;
        return nullptr;
    }
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        errno = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ENOENT
                : e == ERROR_ACCESS_DENIED                             ? EACCES
                                                                       : EIO;
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        errno = EISDIR;
        return nullptr;
    }
    auto* stream = new FileStream{};
    stream->handle = h;
    stream->regular = GetFileType(h) == FILE_TYPE_DISK;
    stream->overlapped = GetFileType(h) == FILE_TYPE_PIPE;
    stream->ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return stream;
}

int file_stream_is_regular(FileStream* stream) { return stream && stream->regular ? 1 : 0; }

int file_stream_read(FileStream* stream, char* buf, int size) {
    if (!stream || !buf || size <= 0) return FILE_STREAM_ERROR;
    DWORD got = 0;
    if (!stream->overlapped) {
        // A file on disk or a device: its offset kept by hand, as the handle is overlapped.
        OVERLAPPED ov{};
        LARGE_INTEGER at;
        at.QuadPart = 0;
        SetFilePointerEx(stream->handle, at, &at, FILE_CURRENT);
        ov.Offset = at.LowPart;
        ov.OffsetHigh = static_cast<DWORD>(at.HighPart);
        ov.hEvent = stream->ov.hEvent;
        BOOL ok = ReadFile(stream->handle, buf, static_cast<DWORD>(size), &got, &ov);
        if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(stream->handle, &ov, &got, TRUE);
        if (!ok) return GetLastError() == ERROR_HANDLE_EOF || GetLastError() == ERROR_BROKEN_PIPE ? FILE_STREAM_END
                                                                                                 : FILE_STREAM_ERROR;
        at.QuadPart += got;
        SetFilePointerEx(stream->handle, at, nullptr, FILE_BEGIN);
        return static_cast<int>(got);
    }
    if (!stream->pending) {
        ResetEvent(stream->ov.hEvent);
        // No more than the caller takes, so nothing read is ever left behind.
        stream->asked = size < static_cast<int>(sizeof stream->chunk) ? size : static_cast<int>(sizeof stream->chunk);
        if (ReadFile(stream->handle, stream->chunk, static_cast<DWORD>(stream->asked), &got, &stream->ov)) {
            std::memcpy(buf, stream->chunk, got);
            return static_cast<int>(got);
        }
        DWORD e = GetLastError();
        if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) return FILE_STREAM_END;
        if (e != ERROR_IO_PENDING) return FILE_STREAM_ERROR;
        stream->pending = true;
    }
    if (!GetOverlappedResult(stream->handle, &stream->ov, &got, FALSE)) {
        DWORD e = GetLastError();
        if (e == ERROR_IO_INCOMPLETE) return FILE_STREAM_WAIT;
        stream->pending = false;
        return e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF ? FILE_STREAM_END : FILE_STREAM_ERROR;
    }
    stream->pending = false;
    // The read under way asked for stream->asked bytes: a caller keeps its size.
    int n = static_cast<int>(got) < size ? static_cast<int>(got) : size;
    std::memcpy(buf, stream->chunk, static_cast<size_t>(n));
    return n;
}

intptr_t file_stream_handle(FileStream* stream) {
    return stream && stream->pending ? reinterpret_cast<intptr_t>(stream->ov.hEvent) : -1;
}

void file_stream_close(FileStream* stream) {
    if (!stream) return;
    if (stream->pending) {
        CancelIo(stream->handle);
        DWORD got = 0;
        GetOverlappedResult(stream->handle, &stream->ov, &got, TRUE);
    }
    CloseHandle(stream->ov.hEvent);
    CloseHandle(stream->handle);
    delete stream;
}

int file_read_rest(PlatformFile* file, size_t max_bytes, std::string* out, bool* cut) {
    if (cut) *cut = false;
    if (!file || !out) return 0;
    out->clear();
    LARGE_INTEGER zero, at, length;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(file->handle, zero, &at, FILE_CURRENT) || !GetFileSizeEx(file->handle, &length)) return 0;
    if (length.QuadPart > at.QuadPart && static_cast<unsigned long long>(length.QuadPart - at.QuadPart) > max_bytes) {
        LARGE_INTEGER tail;
        tail.QuadPart = length.QuadPart - static_cast<LONGLONG>(max_bytes);
        if (!SetFilePointerEx(file->handle, tail, nullptr, FILE_BEGIN)) return 0;
        if (cut) *cut = true;
    }
    char chunk[16384];
    while (out->size() < max_bytes) {
        DWORD n = 0;
        if (!ReadFile(file->handle, chunk, sizeof chunk, &n, nullptr)) return 0;
        if (n == 0) break;
        size_t take = n < max_bytes - out->size() ? n : max_bytes - out->size();
        out->append(chunk, take);
        if (take < n) {
            LARGE_INTEGER back;
            back.QuadPart = static_cast<LONGLONG>(take) - static_cast<LONGLONG>(n);
            SetFilePointerEx(file->handle, back, nullptr, FILE_CURRENT);
        }
    }
    return 1;
}

// State stays beside the settings on Windows, as the settings do.
int file_state_dir(char* buf, int size) {
    if (buf && size > 0) buf[0] = '\0';
    return 0;
}
