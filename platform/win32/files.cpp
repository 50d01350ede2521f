// The program's own files on Windows: FILE_APPEND_DATA writers, directory listing,
// and reads that refuse anything but a file on disk.
#include "platform/files.h"

#include <windows.h>
#include <io.h>

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

std::FILE* file_open_stream(const char* path) {
    if (!path || !*path) {
        errno = ENOENT;
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "rb");
    // A pipe is read a byte at a time, so that what it holds tells whether a read
    // would wait (file_stream_would_block).
    if (file && GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) == FILE_TYPE_PIPE)
        std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

intptr_t file_stream_handle(std::FILE*) { return -1; }

int file_stream_would_block(std::FILE* file) {
    HANDLE h = file ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))) : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_PIPE) return 0;
    DWORD available = 0;
    // A broken pipe (no writer left) reads as ended at once.
    return PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr) && available == 0 ? 1 : 0;
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
