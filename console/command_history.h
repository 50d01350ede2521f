// The command line's history: Up and Down step through the commands typed before,
// newest first; kept across runs in a plain-text file beside the settings file.
#pragma once

#include <string>
#include <vector>

constexpr int HISTORY_MAX = 500;        // oldest entries go first
constexpr int HISTORY_SAVE_EVERY = 50;  // commands between saves while running

struct CommandHistory {
    std::vector<std::string> entries;  // oldest first
    size_t browse = 0;                 // entry shown by Up/Down; entries.size() when none
    int unsaved = 0;                   // commands added since the last save
};
extern CommandHistory g_history;

// Adds a typed command (a repeat of the newest is kept once) and ends browsing.
// 1 when a save is due.
int history_add(CommandHistory* h, const char* command);
// Up: the next older command (the oldest stays), or nullptr when there is none.
const char* history_older(CommandHistory* h);
// Down: the next newer command; past the newest, "" (an empty line).
const char* history_newer(CommandHistory* h);
// The history file: "zorvtalk.history" in the settings file's folder ("" when the
// settings path is unknown).
std::string history_path();
// Replaces the entries with the file's lines (the last HISTORY_MAX); 0 when unreadable.
int history_load(CommandHistory* h, const char* path);
// Writes one command a line, atomically; 1 on success.
int history_save(CommandHistory* h, const char* path);
