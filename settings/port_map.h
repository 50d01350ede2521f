// The settings file's Ports section: "COM<n>=<device path>" lines that give a COM
// number to a device of the operator's choice. Read by every front end.
#pragma once

// Calls fn for each well-formed entry (a key COM<n> with n 1..255, any case, and a
// non-empty value), in file order. Returns how many entries were passed to fn; 0 when
// the file or the section is missing.
int settings_read_port_map(void (*fn)(int number, const char* device_path, void* context), void* context);
