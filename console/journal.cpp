// The journal's policy: where its files live, which day's file a row goes to, when old
// ones go, and one clear word when it cannot be written. The file calls are the
// platform's.
#include "console/journal.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/files.h"
#include "platform/profile.h"
#include "settings/settings.h"

namespace {

const char* const SECTION = "Log";
const char* const KEY = "Journal";
const char* const PREFIX = "zorvtalk-";
const char* const SUFFIX = ".log";

std::string folder_of(const std::string& path) {
    size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

char separator_of(const std::string& path) { return path.find('\\') != std::string::npos ? '\\' : '/'; }

struct OldFiles {
    int today;
    std::string dir;
    char sep;
};

// zorvtalk-YYYY-MM-DD.log and zorvtalk-YYYY-MM-DD-<port>.log only.
void remove_if_old(const char* name, void* ctx) {
    const OldFiles* old = static_cast<const OldFiles*>(ctx);
    size_t prefix = std::strlen(PREFIX), length = std::strlen(name), suffix = std::strlen(SUFFIX);
    if (length < prefix + 10 + suffix || std::strncmp(name, PREFIX, prefix) != 0 ||
        std::strcmp(name + length - suffix, SUFFIX) != 0 ||
        (length > prefix + 10 + suffix && (name[prefix + 10] != '-' || length == prefix + 11 + suffix)))
        return;
    std::string date(name + prefix, 10);
    int day = journal_day_number(date.c_str());
    if (day != INT_MIN && old->today - day > JOURNAL_KEEP_DAYS) file_remove((old->dir + old->sep + name).c_str());
}

int fail(Journal* j, const std::string& path, std::string* why) {
    file_close(j->file);
    j->file = nullptr;
    j->name.clear();
    j->pending.clear();
    j->failed = 1;
    char reason[160] = "";
    if (file_error(reason, sizeof reason) <= 0) std::strcpy(reason, "it cannot be written");
    if (why) *why = path.empty() ? std::string("no folder for it") : path + ": " + reason;
    return 0;
}

}  // namespace

int journal_day_number(const char* text) {
    if (!text || std::strlen(text) != 10 || text[4] != '-' || text[7] != '-') return INT_MIN;
    int parts[3] = {0, 0, 0};
    const int at[3] = {0, 5, 8}, width[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (int i = 0; i < width[p]; ++i) {
            char c = text[at[p] + i];
            if (c < '0' || c > '9') return INT_MIN;
            parts[p] = parts[p] * 10 + (c - '0');
        }
    int y = parts[0], m = parts[1], d = parts[2];
    if (m < 1 || m > 12 || d < 1 || d > 31) return INT_MIN;
    // Days from the civil date (proleptic Gregorian), as the usual era arithmetic does it.
    y -= m <= 2;
    int era = y / 400;
    int yoe = y - era * 400;
    int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::string journal_dir() {
    std::string settings = settings_path();
    std::string folder = folder_of(settings);
    if (folder.empty()) return std::string();
    char user[SETTINGS_TEXT_SIZE], state[SETTINGS_TEXT_SIZE];
    // Settings in the per-user config folder: the journal is state, kept apart from them.
    if (profile_user_dir(user, sizeof user) > 0 && folder == user && file_state_dir(state, sizeof state) > 0)
        return std::string(state) + "/log";
    return folder + separator_of(settings) + "log";
}

void journal_start(Journal* j) {
    journal_stop(j);
    *j = Journal();
    // Kept only when the operator asked for it, as terminals do.
    const char* on = settings_read_string(SECTION, KEY);
    j->on = *on && std::strcmp(on, "0") != 0;
    j->dir = journal_dir();
}

int journal_flush(Journal* j, std::string* why) {
    if (!j->on) return 1;
    if (j->failed) return -1;
    if (j->pending.empty()) return 1;
    const std::string& name = j->pending_name;
    std::string path = j->dir + separator_of(j->dir) + PREFIX + name + SUFFIX;
    if (!j->file || j->name != name) {
        file_close(j->file);
        j->file = nullptr;
        if (j->dir.empty()) return fail(j, std::string(), why);
        profile_make_dirs(j->dir.c_str());
        // The first row of a session or of a new day: old days go then.
        OldFiles old{journal_day_number(name.substr(0, 10).c_str()), j->dir, separator_of(j->dir)};
        if (old.today != INT_MIN) file_list(old.dir.c_str(), remove_if_old, &old);
        j->file = file_open_append(path.c_str());
        if (!j->file) return fail(j, path, why);
        j->name = name;
    }
    // Whole lines in one write: another window's rows never land inside one of ours.
    if (!file_append(j->file, j->pending.data(), static_cast<int>(j->pending.size())))
        return fail(j, path, why);
    j->pending.clear();
    return 1;
}

std::string journal_file_part(const char* port) {
    std::string out;
    for (const char* p = port; p && *p && out.size() < 64; ++p) {
        char c = *p;
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.';
        if (plain)
            out += c;
        else if (!out.empty() && out.back() != '_')
            out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out;
}

int journal_write(Journal* j, const char* day, const char* port, const std::string& line, int64_t ms, std::string* why) {
    if (!j->on) return 1;
    if (j->failed) return -1;
    std::string part = journal_file_part(port);
    std::string name = part.empty() ? std::string(day) : std::string(day) + "-" + part;
    if (!j->pending.empty() && j->pending_name != name) {
        int flushed = journal_flush(j, why);
        if (flushed != 1) return flushed;
    }
    j->pending += line;
    j->pending_name = name;
    // A clock set back by more than a second starts afresh.
    bool recent = j->last_write_ms != INT64_MIN && ms - j->last_write_ms < JOURNAL_BATCH_MS &&
                  ms >= j->last_write_ms - 1000;
    if (recent && j->pending.size() < JOURNAL_BATCH_BYTES) return 1;
    j->last_write_ms = ms;
    return journal_flush(j, why);
}

int journal_pending(const Journal* j) { return j->on && !j->failed && !j->pending.empty() ? 1 : 0; }

void journal_set_on(Journal* j, int on) {
    if (!on) journal_stop(j);
    j->on = on ? 1 : 0;
    j->failed = 0;
    settings_write_int(SECTION, KEY, j->on);
}

int journal_is_on(const Journal* j) { return j->on; }

void journal_stop(Journal* j) {
    journal_flush(j, nullptr);
    file_close(j->file);
    j->file = nullptr;
    j->name.clear();
}
