// The runner's ports: --list-ports (for people and for shell completion), and the
// port and rate a run connects with.
#pragma once

#include <cstdio>
#include <string>

// Writes one line "COM<n> DEVICE" per port: first those the settings file's Ports
// section assigns (which it also makes current), then the system's other ports.
// Returns how many were written.
int cli_list_ports(FILE* to);

struct CliOptions;

// The port and rate to connect with: the options' own, else those the window last
// connected with (a typed device path stored as typed goes to opt->port_path). A
// device path gets a free COM number; otherwise the settings' Ports are made current.
// false, with the usage error in *error, when no port or rate is known or the path
// is too long.
bool cli_choose_port(CliOptions* opt, int* port, int* baud, std::string* error);
// The port as a connect failure names it: the device path given, else "COMn (device)".
std::string cli_port_name(const CliOptions& opt, int port);
