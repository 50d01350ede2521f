// zorvtalk-cli: connects as the window does, runs command lines from the command
// line and a file, prints the replies; the exit status tells a script what happened.
#pragma once

enum CliExit {
    CLI_EXIT_OK = 0,          // every line answered
    CLI_EXIT_FAILED = 1,      // a line, the report or the pins failed or timed out
    CLI_EXIT_USAGE = 2,       // bad options, no port or rate known, a file that cannot be read
    CLI_EXIT_NO_CONNECTION = 3,
    CLI_EXIT_PORT_LOST = 4,
    // 130 (Ctrl+C) and 143 (termination request): interrupted
};

// The whole program; returns its exit status.
int cli_main(int argc, char** argv);
