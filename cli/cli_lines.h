// Command lines as the runner cuts them, from -c arguments and from the command
// file, with the link's line reader, so that both cut exactly as the window does.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct CliCommandLine {
    std::string text;
    bool cut;  // longer than a command line holds
};

// The lines of one -c argument, cut as a command file is: a CR or LF inside it starts
// another command and never reaches the controller inside one. "" gives one empty
// line (a CR alone goes out, as for an empty file line).
std::vector<CliCommandLine> cli_command_lines(const std::string& text);
