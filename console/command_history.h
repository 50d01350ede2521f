// The command line's history: Up and Down step through the commands typed before,
// newest first; kept across runs in a plain-text file beside the settings file, one
// command a line, each appended as it is sent so that a kill loses none and several
// windows on the same file keep all of theirs.
#pragma once

#include <string>
#include <vector>

constexpr int HISTORY_MAX = 500;                   // oldest entries go first
constexpr int HISTORY_ENTRY_MAX = 255;             // the command line's length
constexpr size_t HISTORY_READ_MAX = size_t(1) << 20;  // the file's tail read at start

struct CommandHistory {
    std::vector<std::string> entries;  // oldest first, each once
    size_t browse = 0;                 // entry shown by Up/Down; entries.size() when none
    std::string typed;                 // the line being typed when Up began browsing
    size_t file_lines = 0;             // lines in the file as far as this window knows
};

// Adds a typed command, cut at HISTORY_ENTRY_MAX: a command typed before moves to the
// newest place and is kept once. Ends browsing. 1 when added; 0 for an empty command
// or one holding a line break.
int history_add(CommandHistory* h, const char* command);
// Up: the next older command (the oldest stays), or nullptr when there is none. typed
// is the command line's text, kept when browsing begins.
const char* history_older(CommandHistory* h, const char* typed = nullptr);
// Down: the next newer command; past the newest, the text that was being typed when
// Up began; nullptr (leave the line alone) when not browsing.
const char* history_newer(CommandHistory* h);
// The history file: "zorvtalk.history" in the settings file's folder ("" when the
// settings path is unknown).
std::string history_path();
// Replaces the entries with the file's commands, the newest HISTORY_MAX, each once.
// Only a regular file is read, without blocking, at most its last HISTORY_READ_MAX
// bytes. 0 when it is missing or refused (entries then empty).
int history_load(CommandHistory* h, const char* path);
// Writes one command a line, atomically; 1 on success.
int history_save(CommandHistory* h, const char* path);
// Adds command (history_add) and appends it to the file at once. The file is
// compacted to the newest HISTORY_MAX when it holds more than twice that. 1 when the
// line reached the file.
int history_record(CommandHistory* h, const char* command, const char* path);
// At start: loads the file and, when it holds more lines than it keeps, rewrites it
// with the kept ones, atomically. 1 when the file was read.
int history_open(CommandHistory* h, const char* path);
