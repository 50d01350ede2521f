// Command history: a bounded list, a browse position, and its file.
#include "console/command_history.h"

#include <cstdio>
#include <cstring>

#include "platform/profile.h"
#include "settings/settings.h"

CommandHistory g_history;

int history_add(CommandHistory* h, const char* command) {
    if (!h || !command || !*command) return 0;
    // A line break cannot be kept in a one-command-a-line file, nor typed anyway.
    if (std::strpbrk(command, "\r\n")) return 0;
    if (h->entries.empty() || h->entries.back() != command) {
        h->entries.emplace_back(command);
        if (h->entries.size() > static_cast<size_t>(HISTORY_MAX))
            h->entries.erase(h->entries.begin(), h->entries.end() - HISTORY_MAX);
        ++h->unsaved;
    }
    h->browse = h->entries.size();
    return h->unsaved >= HISTORY_SAVE_EVERY ? 1 : 0;
}

const char* history_older(CommandHistory* h) {
    if (!h || h->entries.empty()) return nullptr;
    if (h->browse > h->entries.size()) h->browse = h->entries.size();
    if (h->browse > 0) --h->browse;
    return h->entries[h->browse].c_str();
}

const char* history_newer(CommandHistory* h) {
    if (!h) return "";
    if (h->browse + 1 < h->entries.size()) return h->entries[++h->browse].c_str();
    h->browse = h->entries.size();
    return "";
}

std::string history_path() {
    std::string settings = settings_path();
    size_t slash = settings.find_last_of("/\\");
    if (settings.empty() || slash == std::string::npos) return std::string();
    return settings.substr(0, slash + 1) + "zorvtalk.history";
}

int history_load(CommandHistory* h, const char* path) {
    if (!h || !path || !*path) return 0;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return 0;
    h->entries.clear();
    std::string line;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n' || c == '\r') {
            if (!line.empty()) h->entries.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) h->entries.push_back(line);
    std::fclose(f);
    if (h->entries.size() > static_cast<size_t>(HISTORY_MAX))
        h->entries.erase(h->entries.begin(), h->entries.end() - HISTORY_MAX);
    h->browse = h->entries.size();
    h->unsaved = 0;
    return 1;
}

int history_save(CommandHistory* h, const char* path) {
    if (!h || !path || !*path) return 0;
    std::string text;
    for (const std::string& e : h->entries) text += e + "\n";
    std::string dir(path);
    size_t slash = dir.find_last_of("/\\");
    // The per-user settings folder may not exist before the first save.
    if (slash != std::string::npos && slash > 0) profile_make_dirs(dir.substr(0, slash).c_str());
    if (!profile_replace_file(path, text.data(), static_cast<int>(text.size()))) return 0;
    h->unsaved = 0;
    return 1;
}
