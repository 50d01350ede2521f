// The settings file's Ports section: "COM<n>=<device path>" lines that give a COM
// number to a device of the operator's choice. Read by every front end.
#pragma once

// Calls fn for each well-formed entry (a key COM<n> with n 1..255, any case, and a
// non-empty value), in file order. Returns how many entries were passed to fn; 0 when
// the file or the section is missing.
int settings_read_port_map(void (*fn)(int number, const char* device_path, void* context), void* context);

// The ports connected to before by name (a network address or a device path), kept
// as typed in the section "Recent Ports" (Port1 the latest): the window's Port box
// offers them. At most SETTINGS_RECENT_PORTS.
constexpr int SETTINGS_RECENT_PORTS = 8;
// Calls fn for each, latest first; returns how many.
int settings_read_recent_ports(void (*fn)(const char* port, void* context), void* context);
// Puts port first (moving it up when it is there already, dropping the oldest beyond
// the limit). 1 when the file was written, 0 for an empty port or a failed write.
int settings_add_recent_port(const char* port);
