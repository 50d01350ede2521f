// The temporary's name is kept in the settings only while a save runs.
#include "settings/saved_file.h"

#include <climits>
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "platform/profile.h"
#include "settings/settings.h"

namespace {

const char* const SAVING_SECTION = "Log";
const char* const SAVING_KEY = "Saving";

void note_saving(const char* temporary, void* ctx) {
    *static_cast<std::string*>(ctx) = temporary;
    settings_write_string(SAVING_SECTION, SAVING_KEY, temporary);
}

}  // namespace

int settings_save_file(const char* path, const char* data, size_t size, char* why, int why_size) {
    char reason[256] = "";
    int ok = 0;
    if (!path || !*path || (size && !data)) {
        std::snprintf(reason, sizeof reason, "no file named");
    } else if (size > static_cast<size_t>(INT_MAX)) {
        std::snprintf(reason, sizeof reason, "too large for one file");
    } else {
        std::string temporary;
        ok = profile_replace_file(path, data ? data : "", static_cast<int>(size), note_saving, &temporary);
        if (!ok && profile_replace_error(reason, sizeof reason) <= 0)
            std::snprintf(reason, sizeof reason, "the file could not be written");
        // Another window's save may have noted its own since: that note stays.
        if (!temporary.empty() && temporary == settings_read_string(SAVING_SECTION, SAVING_KEY))
            settings_write_string(SAVING_SECTION, SAVING_KEY, nullptr);
    }
    if (why && why_size > 0) std::snprintf(why, static_cast<size_t>(why_size), "%s", ok ? "" : reason);
    return ok ? 1 : 0;
}

void settings_remove_stale_save() {
    std::string temporary = settings_read_string(SAVING_SECTION, SAVING_KEY);
    if (temporary.empty()) return;
    if (profile_is_temporary(temporary.c_str()) && !file_remove_unlocked(temporary.c_str())) {
        std::FILE* still = std::fopen(temporary.c_str(), "rb");
        if (still) {
            std::fclose(still);
            return;
        }
    }
    settings_write_string(SAVING_SECTION, SAVING_KEY, nullptr);
}
