// Plain files the program keeps for itself (the command history, the log journal):
// append with one system call per write, list, remove, and a guarded read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct PlatformFile;

// Opens a regular file for appending, creating it when missing. Every write lands at
// the end of the file, also when other processes append to it at the same time
// (O_APPEND, FILE_APPEND_DATA). nullptr when it cannot be opened or is not a regular
// file (a FIFO, a device): file_error says why.
PlatformFile* file_open_append(const char* path);
// Writes size bytes with one system call, so a line never interleaves with another
// writer's. 1 when all were written; 0 otherwise (file_error says why).
int file_append(PlatformFile* file, const char* data, int size);
// Closes the file; nullptr is ignored.
void file_close(PlatformFile* file);
// Why the last failed file_ operation failed, in the system's words, into buf
// (size bytes incl. NUL); the length, 0 when unknown.
int file_error(char* buf, int size);

// Calls each(name, ctx) for every entry of dir but "." and "..". The number of
// entries; -1 when the folder cannot be read.
int file_list(const char* dir, void (*each)(const char* name, void* ctx), void* ctx);
// Removes a file; 1 on success.
int file_remove(const char* path);
// Removes the regular file at path (not a link's target) only when no save holds it
// (the lock a save takes on its temporary, or an open handle on Windows); 1 when removed.
int file_remove_unlocked(const char* path);

enum FileReadResult { FILE_READ_OK, FILE_READ_MISSING, FILE_READ_REFUSED };
// Opens a regular file for reading, without blocking, so a FIFO or a device at the
// path never hangs the caller; anything but a regular file is refused. nullptr with
// *result saying why (result may be nullptr).
PlatformFile* file_open_read(const char* path, FileReadResult* result);
// Reads from where the last read ended to the end of the file into out (replacing
// it), at most max_bytes: when more are there, the last max_bytes, and *cut is set.
// Bytes appended by others after a read are found by the next one. 1 on success.
int file_read_rest(PlatformFile* file, size_t max_bytes, std::string* out, bool* cut);

// A command file read as raw bytes: a regular file, a FIFO, a pipe or a device, never
// blocking the caller, so a file whose writer is slow or silent leaves the window live.
struct FileStream;
// Opens it; a FIFO without a writer opens at once (and reads as ended). nullptr when
// it cannot be opened or is a folder; errno says why.
FileStream* file_stream_open(const char* path);
// 1 for a regular file (one that is read to its end without waiting).
int file_stream_is_regular(FileStream* stream);
// Constants of file_stream_read.
constexpr int FILE_STREAM_END = 0, FILE_STREAM_ERROR = -1, FILE_STREAM_WAIT = -2;
// Reads up to size bytes: the count; FILE_STREAM_END at the end; FILE_STREAM_ERROR;
// FILE_STREAM_WAIT when nothing is there yet (wait on file_stream_handle, then read
// again).
int file_stream_read(FileStream* stream, char* buf, int size);
// What an event wait (platform/dispatch.h) watches for the stream's input: a
// descriptor on POSIX, an event on Windows; -1 (none) where nothing can signal it.
intptr_t file_stream_handle(FileStream* stream);
// Closes it (a read under way is cancelled); nullptr is ignored.
void file_stream_close(FileStream* stream);

// The per-user folder for state the program keeps ("$XDG_STATE_HOME/zorvtalk", or
// "$HOME/.local/state/zorvtalk" when that is unset or not absolute). The length; 0
// (buf "" when size > 0) where there is none (Windows, no home) or it does not fit.
int file_state_dir(char* buf, int size);
