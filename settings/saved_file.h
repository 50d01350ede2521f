// Files the operator asks to save (the log, the monitor's samples): written whole or
// not at all, with no temporary left behind by a kill.
#pragma once

#include <cstddef>

// Replaces the file at path with size bytes of data atomically (profile_replace_file).
// While it is written, the temporary's name is noted in the settings ([Log] Saving), so
// that one left by a kill is removed at the next start. 1 when saved; 0 with the reason
// in why (why_size bytes, may be null), the old file left whole.
int settings_save_file(const char* path, const char* data, size_t size, char* why, int why_size);
// Removes a temporary that a save killed mid-way left behind, unless a save (another
// window's, under way) still holds it; the note stays until it is gone.
void settings_remove_stale_save();
