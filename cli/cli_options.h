// The command line of zorvtalk-cli: what the operator asked for, checked before
// anything is opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/reply_match.h"

struct CliOptions {
    bool have_port = false;
    int port_number = 0;     // COM<n>; 0 when port_path names the device
    std::string port_path;   // a device path given as it is
    int baud = 0;            // 0: not given
    std::vector<std::string> commands;  // -c, in order
    bool have_file = false;
    std::string file;        // "-" is standard input
    bool report = false, pins = false;
    bool set_data = false, set_control = false;
    uint8_t data = 0, control = 0;
    uint32_t timeout_ms = 0;  // 0: a reply is awaited as long as it takes
    uint32_t watch_ms = 0;    // --watch: a reading every watch_ms; 0: no watching
    long count = 0;           // --count: readings to print; 0: no limit
    bool keep_going = false, echo = false, times = false, quiet = false;
    bool raw = false;   // replies to a terminal byte for byte
    ReplyJudge judge;   // --fail-on and --expect, compiled as they are read
    bool help = false, version = false, list_ports = false;
};

// Fills options from argv. 1 on success; 0 with the reason in error.
int cli_parse_options(int argc, char** argv, CliOptions* options, std::string* error);

// "COM<n>" (any case) or "<n>", n 1..255: 1 with *number. Anything else that is not
// empty is a device path: 2 with *number 0. 0 for "" and for out-of-range numbers.
int cli_parse_port(const char* text, int* number);
// "data=HH", "control=H" or both, joined by a comma: 1, else 0.
int cli_parse_set_pins(const char* text, CliOptions* options);
// Seconds, a fraction allowed, above 0 and below 49 days: 1 with *ms (at least 1).
int cli_parse_timeout(const char* text, uint32_t* ms);

// --watch MS: whole milliseconds, 10 to 3600000: 1 with *ms, else 0.
int cli_parse_watch_period(const char* text, uint32_t* ms);
// --count N: a whole number, 1 to 2^31 - 1: 1 with *count, else 0.
int cli_parse_count(const char* text, long* count);

// The usage and option text for --help.
extern const char CLI_USAGE[];
