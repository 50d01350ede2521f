// --list-ports: the ports the runner can open by number, for people and for shell
// completion.
#pragma once

#include <cstdio>

// Writes one line "COM<n> DEVICE" per port: first those the settings file's Ports
// section assigns (which it also makes current), then the system's other ports.
// Returns how many were written.
int cli_list_ports(FILE* to);
