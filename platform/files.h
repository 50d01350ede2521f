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

// Opens a command file as a stdio stream of raw bytes: a regular file, a FIFO or a
// device, never blocking on a FIFO that has no writer yet. A FIFO or a device stays
// non-blocking: a read with nothing there yet fails with errno EAGAIN (clearerr, wait
// on file_stream_handle, then read again). nullptr when it cannot be opened or is a
// folder; errno says why.
std::FILE* file_open_stream(const char* path);
// What an event wait (platform/dispatch.h) watches for the stream's input: its
// descriptor on POSIX; -1 (none) where the system cannot signal it.
intptr_t file_stream_handle(std::FILE* file);
// 1 when the next read of the stream would block: a pipe on Windows with nothing in
// it yet (its writer still there). 0 otherwise; POSIX streams never block (EAGAIN).
int file_stream_would_block(std::FILE* file);

// The per-user folder for state the program keeps ("$XDG_STATE_HOME/zorvtalk", or
// "$HOME/.local/state/zorvtalk" when that is unset or not absolute). The length; 0
// (buf "" when size > 0) where there is none (Windows, no home) or it does not fit.
int file_state_dir(char* buf, int size);
