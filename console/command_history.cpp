// Command history: a bounded list of distinct commands, a browse position, and its
// append-only file.
#include "console/command_history.h"

#include <algorithm>
#include <cstring>

#include "platform/files.h"
#include "platform/profile.h"
#include "settings/settings.h"

namespace {

// Moves (or adds) command to the newest place and drops the oldest beyond the cap.
void put_newest(CommandHistory* h, const std::string& command) {
    auto it = std::find(h->entries.begin(), h->entries.end(), command);
    if (it != h->entries.end()) h->entries.erase(it);
    h->entries.push_back(command);
    if (h->entries.size() > static_cast<size_t>(HISTORY_MAX))
        h->entries.erase(h->entries.begin(), h->entries.end() - HISTORY_MAX);
}

void end_browsing(CommandHistory* h) {
    h->browse = h->entries.size();
    h->typed.clear();
}

}  // namespace

int history_add(CommandHistory* h, const char* command) {
    if (!h || !command || !*command) return 0;
    // A line break cannot be kept in a one-command-a-line file, nor typed anyway.
    if (std::strpbrk(command, "\r\n")) return 0;
    put_newest(h, std::string(command, strnlen(command, HISTORY_ENTRY_MAX)));
    end_browsing(h);
    return 1;
}

const char* history_older(CommandHistory* h, const char* typed) {
    if (!h || h->entries.empty()) return nullptr;
    if (h->browse >= h->entries.size()) {
        h->browse = h->entries.size();
        h->typed = typed ? typed : "";
    }
    if (h->browse > 0) --h->browse;
    return h->entries[h->browse].c_str();
}

const char* history_newer(CommandHistory* h) {
    if (!h || h->browse >= h->entries.size()) return nullptr;
    if (h->browse + 1 < h->entries.size()) return h->entries[++h->browse].c_str();
    h->browse = h->entries.size();
    return h->typed.c_str();
}

std::string history_path() {
    std::string settings = settings_path();
    size_t slash = settings.find_last_of("/\\");
    if (settings.empty() || slash == std::string::npos) return std::string();
    return settings.substr(0, slash + 1) + "zorvtalk.history";
}

namespace {

// Adds the file's lines in text to h; cut: text is a tail that begins mid-line.
void add_lines(CommandHistory* h, const std::string& text, bool cut) {
    size_t pos = 0;
    if (cut) pos = std::min(text.find_first_of("\r\n"), text.size());
    while (pos < text.size()) {
        size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
        if (end > pos) {
            ++h->file_lines;
            put_newest(h, text.substr(pos, std::min<size_t>(end - pos, HISTORY_ENTRY_MAX)));
        }
        pos = end + 1;
    }
    if (cut) ++h->file_lines;  // more than was read: worth compacting
}

// Loads the file into h and, when it holds more lines than it keeps, replaces it with
// the kept ones. Lines another window appends meanwhile land in the old file; they
// are read from it after the replace and appended to the new one.
int load(CommandHistory* h, const char* path, bool compact) {
    *h = CommandHistory();
    PlatformFile* file = file_open_read(path, nullptr);
    std::string text;
    bool cut = false;
    int ok = file_read_rest(file, HISTORY_READ_MAX, &text, &cut);
    if (ok) add_lines(h, text, cut);
    if (ok && compact && h->file_lines > h->entries.size()) {
        if (history_save(h, path)) {
            if (file_read_rest(file, HISTORY_READ_MAX, &text, &cut) && !text.empty()) {
                add_lines(h, text, cut);
                if (text.back() != '\n') text += '\n';
                PlatformFile* out = file_open_append(path);
                file_append(out, text.data(), static_cast<int>(text.size()));
                file_close(out);
            }
        } else {
            // Some systems refuse to replace a file that is open, even shared for it.
            file_close(file);
            file = nullptr;
            history_save(h, path);
        }
    }
    file_close(file);
    end_browsing(h);
    return ok;
}

}  // namespace

int history_load(CommandHistory* h, const char* path) { return h ? load(h, path, false) : 0; }

int history_save(CommandHistory* h, const char* path) {
    if (!h || !path || !*path) return 0;
    std::string text;
    for (const std::string& e : h->entries) text += e + "\n";
    std::string dir(path);
    size_t slash = dir.find_last_of("/\\");
    // The per-user settings folder may not exist before the first save.
    if (slash != std::string::npos && slash > 0) profile_make_dirs(dir.substr(0, slash).c_str());
    if (!profile_replace_file(path, text.data(), static_cast<int>(text.size()))) return 0;
    h->file_lines = h->entries.size();
    return 1;
}

int history_open(CommandHistory* h, const char* path) { return h ? load(h, path, true) : 0; }

int history_record(CommandHistory* h, const char* command, const char* path) {
    if (!history_add(h, command) || !path || !*path) return 0;
    std::string dir(path);
    size_t slash = dir.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0) profile_make_dirs(dir.substr(0, slash).c_str());
    // One write for the whole line: another window appending at the same time never
    // splits it.
    std::string line = h->entries.back() + "\n";
    PlatformFile* file = file_open_append(path);
    int ok = file_append(file, line.data(), static_cast<int>(line.size()));
    file_close(file);
    if (!ok) return 0;
    if (++h->file_lines > static_cast<size_t>(2 * HISTORY_MAX)) {
        // Re-read first: the file holds the other windows' commands too.
        CommandHistory merged;
        if (history_open(&merged, path)) h->file_lines = merged.file_lines;
    }
    return 1;
}
