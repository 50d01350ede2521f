// The program's folder under an XDG base directory, shared by the settings and the
// state (journal) lookups so both read the variables by the same rules.
#pragma once

// "$<variable>/zorvtalk", or "$HOME/<home_default>/zorvtalk" when the variable is unset
// or relative (invalid by the base-directory rules), into buf; its length, 0 when
// there is no absolute base or buf is too small.
int xdg_program_dir(const char* variable, const char* home_default, char* buf, int size);
