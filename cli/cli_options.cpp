// Option parsing for zorvtalk-cli. "--name VALUE" and "--name=VALUE" both work; every
// value is checked here so that a typo never resets the controller for nothing.
#include "cli/cli_options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/digits.h"

const char CLI_USAGE[] =
    "Usage: zorvtalk-cli [--port COM<n>|<n>|DEVICE-PATH|URL] [--baud N] [-c COMMAND]... [--file FILE|-]\n"
    "                    [--report] [--pins] [--set-pins data=HH,control=H] [--timeout SECONDS]\n"
    "                    [--fail-on REGEX]... [--expect REGEX]... [--watch MS [--count N]]\n"
    "                    [--keep-going] [--echo] [--times] [--quiet] [--raw] [--help] [--version]\n"
    "       zorvtalk-cli --list-ports\n"
    "\n"
    "Connects to the ZORV controller as the ZORVTalk window does (reset, greeting), runs\n"
    "the -c commands and then the lines of FILE, each after the previous reply, and\n"
    "prints every reply line on standard output.\n"
    "\n"
    "  --port PORT        COM<n> or <n>, numbered as in the window (the settings file's\n"
    "                     [Ports] section included), a device path, or a network\n"
    "                     address: rfc2217://HOST:PORT (ser2net; reset as locally) or\n"
    "                     tcp://HOST:PORT (raw TCP: the controller is not reset).\n"
    "                     Default: the port the window last connected with.\n"
    "  --baud N           Baud rate. Default: the rate the window last connected with.\n"
    "  -c COMMAND         A command line to run; may be given more than once.\n"
    "  --file FILE        A command file (CR, LF or CR LF end a line); - reads standard input.\n"
    "                     A NUL at a line's start drops it and the 16 bytes after it;\n"
    "                     other control bytes inside a line are dropped.\n"
    "  --set-pins data=HH,control=H\n"
    "                     First writes the data port (2 hex digits) and/or the control\n"
    "                     port (1 hex digit).\n"
    "  --report           After the commands, prints a status report\n"
    "                     (Q=.., X=.., Y=.., Z=.., W=..; No Data when none comes within 1 s).\n"
    "  --pins             Last, prints the pin ports: data=HH status=HH control=HH.\n"
    "  --timeout SECONDS  Gives each command at most this long (e.g. 2.5) from going out\n"
    "                     to the end of its reply line; then sends stop and counts the\n"
    "                     line as failed. Default: no limit.\n"
    "  --fail-on REGEX    A reply that matches REGEX fails its line. May be given more\n"
    "                     than once: a reply that matches any of them fails.\n"
    "  --expect REGEX     A reply that does not match REGEX fails its line. May be given\n"
    "                     more than once: a reply must match one of them.\n"
    "                     REGEX is an extended regular expression as grep -E reads it,\n"
    "                     found anywhere in the reply (anchor it with ^ and $).\n"
    "  --watch MS         Prints a status reading every MS milliseconds (10 to 3600000)\n"
    "                     as a CSV line (time,q,x,y,z,w; UTC ISO 8601 times with\n"
    "                     milliseconds), the header first, while the commands run and\n"
    "                     once after them; with no -c and no --file, until Ctrl+C or\n"
    "                     --count. The readings go to standard output; replies, --report\n"
    "                     and --pins then go to standard error. A reading not come\n"
    "                     within 1 s is said on standard error and asked for again;\n"
    "                     watching that got no reading fails. With --timeout, watching\n"
    "                     alone fails when a reading does not come within that time.\n"
    "  --count N          Ends watching after N readings.\n"
    "  --keep-going       Goes on after a failed line instead of ending the run.\n"
    "  --echo             Prints \"> COMMAND\" and \"< REPLY\" lines.\n"
    "  --times            Puts the time of day (HH:MM:SS.mmm) at which it is printed in\n"
    "                     front of every reply, echo, report, pin and failure line.\n"
    "  --quiet            Prints no replies, no --echo lines and no progress; failures,\n"
    "                     messages, --report and --pins still print.\n"
    "  --raw              Writes replies byte for byte to a terminal too. Without it, a\n"
    "                     terminal gets control bytes (below 0x20 but TAB, and 0x7F) as\n"
    "                     \\xNN; piped or redirected output is always byte for byte.\n"
    "  --list-ports       Prints the ports it knows, one \"COM<n> DEVICE\" a line, and\n"
    "                     ends without opening any.\n"
    "  --help             Prints this text.\n"
    "  --version          Prints the version.\n"
    "\n"
    "Failures go to standard error as \"(no reply: REASON)\", or \"(failed: REASON)\"\n"
    "for a reply judged by --fail-on or --expect. Ctrl+C sends stop to the running\n"
    "command, waits at most 2 s for its reply and ends the run; so do a termination\n"
    "request, a hang-up and standard output's reader going away. A signal ignored\n"
    "when the program started (nohup) stays ignored. Each line is written at once.\n"
    "\n"
    "Exit status: 0 every line answered, 1 a line failed or timed out (or no reading,\n"
    "or output that could not be written), 2 usage error,\n"
    "3 could not connect, 4 the port was lost, 130 (Ctrl+C), 143 (terminated),\n"
    "129 (hung up) or 141 (standard output closed) interrupted.\n";

namespace {

constexpr int MAX_COM = 255;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A run of decimal digits and nothing else, within 1..max.
bool whole_number(const char* s, long long max, long long* value) {
    if (!*s) return false;
    DigitRun run = read_digits(s, max);
    if (*run.end || !run.fits) return false;
    *value = run.value;
    return run.value >= 1;
}

bool set_flag(bool* flag) {
    *flag = true;
    return true;
}

enum Kind { FLAG, VALUE };

struct Option {
    const char* name;
    Kind kind;
    // Applies the option; false with *error set when its value is bad.
    bool (*apply)(CliOptions* o, const char* value, std::string* error);
};

bool opt_port(CliOptions* o, const char* v, std::string* error) {
    int kind = cli_parse_port(v, &o->port_number);
    if (kind == 0) {
        *error = std::string("bad --port '") + v + "': give COM1..COM255, 1..255, a device path or rfc2217://HOST:PORT";
        return false;
    }
    o->have_port = true;
    o->port_path = kind == 2 ? v : "";
    return true;
}

bool opt_baud(CliOptions* o, const char* v, std::string* error) {
    long long baud = 0;
    if (!whole_number(v, 2147483647LL, &baud)) {
        *error = std::string("bad --baud '") + v + "': give a positive whole number";
        return false;
    }
    o->baud = static_cast<int>(baud);
    return true;
}

bool opt_command(CliOptions* o, const char* v, std::string*) {
    o->commands.push_back(v);
    return true;
}

bool opt_file(CliOptions* o, const char* v, std::string* error) {
    if (o->have_file) {
        *error = "--file given twice";
        return false;
    }
    if (!*v) {
        *error = "--file needs a file name or -";
        return false;
    }
    o->have_file = true;
    o->file = v;
    return true;
}

bool opt_set_pins(CliOptions* o, const char* v, std::string* error) {
    if (cli_parse_set_pins(v, o)) return true;
    *error = std::string("bad --set-pins '") + v + "': give data=HH (2 hex digits), control=H (1 hex digit) or both, "
             "joined by a comma";
    return false;
}

bool opt_timeout(CliOptions* o, const char* v, std::string* error) {
    if (cli_parse_timeout(v, &o->timeout_ms)) return true;
    *error = std::string("bad --timeout '") + v + "': give seconds above 0, e.g. 5 or 0.5";
    return false;
}

bool add_rule(CliOptions* o, ReplyRuleKind kind, const char* name, const char* v, std::string* error) {
    std::string why;
    if (reply_judge_add(&o->judge, kind, v, &why)) return true;
    *error = std::string("bad ") + name + ": " + why;
    return false;
}

bool opt_fail_on(CliOptions* o, const char* v, std::string* error) {
    return add_rule(o, REPLY_FAIL_ON, "--fail-on", v, error);
}

bool opt_expect(CliOptions* o, const char* v, std::string* error) {
    return add_rule(o, REPLY_EXPECT, "--expect", v, error);
}

bool opt_watch(CliOptions* o, const char* v, std::string* error) {
    if (cli_parse_watch_period(v, &o->watch_ms)) return true;
    *error = std::string("bad --watch '") + v + "': give milliseconds from 10 to 3600000";
    return false;
}

bool opt_count(CliOptions* o, const char* v, std::string* error) {
    if (cli_parse_count(v, &o->count)) return true;
    *error = std::string("bad --count '") + v + "': give a positive whole number";
    return false;
}

const Option OPTIONS[] = {
    {"--port", VALUE, opt_port},
    {"--baud", VALUE, opt_baud},
    {"-c", VALUE, opt_command},
    {"--file", VALUE, opt_file},
    {"--set-pins", VALUE, opt_set_pins},
    {"--timeout", VALUE, opt_timeout},
    {"--fail-on", VALUE, opt_fail_on},
    {"--expect", VALUE, opt_expect},
    {"--watch", VALUE, opt_watch},
    {"--count", VALUE, opt_count},
    {"--report", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->report); }},
    {"--pins", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->pins); }},
    {"--keep-going", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->keep_going); }},
    {"--echo", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->echo); }},
    {"--times", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->times); }},
    {"--quiet", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->quiet); }},
    {"--raw", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->raw); }},
    {"--help", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->help); }},
    {"-h", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->help); }},
    {"--list-ports", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->list_ports); }},
    {"--version", FLAG, [](CliOptions* o, const char*, std::string*) { return set_flag(&o->version); }},
};

}  // namespace

int cli_parse_port(const char* text, int* number) {
    *number = 0;
    if (!text || !*text) return 0;
    const char* digits = text;
    if ((text[0] == 'C' || text[0] == 'c') && (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm'))
        digits = text + 3;
    bool all_digits = *digits != '\0';
    for (const char* p = digits; *p; ++p)
        if (*p < '0' || *p > '9') all_digits = false;
    if (!all_digits) return 2;
    long long n = 0;
    if (!whole_number(digits, MAX_COM, &n)) return 0;
    *number = static_cast<int>(n);
    return 1;
}

int cli_parse_set_pins(const char* text, CliOptions* o) {
    bool data = false, control = false;
    uint8_t data_value = 0, control_value = 0;
    const char* p = text;
    if (!p || !*p) return 0;
    for (;;) {
        if (std::strncmp(p, "data=", 5) == 0 && !data) {
            int hi = hex_digit(p[5]), lo = hi < 0 ? -1 : hex_digit(p[6]);
            if (lo < 0) return 0;
            data = true;
            data_value = static_cast<uint8_t>(hi << 4 | lo);
            p += 7;
        } else if (std::strncmp(p, "control=", 8) == 0 && !control) {
            int v = hex_digit(p[8]);
            if (v < 0) return 0;
            control = true;
            control_value = static_cast<uint8_t>(v);
            p += 9;
        } else {
            return 0;
        }
        if (*p == '\0') break;
        if (*p != ',') return 0;
        ++p;
    }
    o->set_data = data;
    o->data = data_value;
    o->set_control = control;
    o->control = control_value;
    return 1;
}

int cli_parse_timeout(const char* text, uint32_t* ms) {
    if (!text || !*text) return 0;
    for (const char* p = text; *p; ++p)
        if (!((*p >= '0' && *p <= '9') || *p == '.')) return 0;
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    if (!end || *end || !std::isfinite(seconds) || seconds <= 0 || seconds >= 49.0 * 86400) return 0;
    double v = std::ceil(seconds * 1000);
    *ms = static_cast<uint32_t>(v < 1 ? 1 : v);
    return 1;
}

int cli_parse_watch_period(const char* text, uint32_t* ms) {
    long long v = 0;
    if (!text || !whole_number(text, 3600000, &v) || v < 10) return 0;
    *ms = static_cast<uint32_t>(v);
    return 1;
}

int cli_parse_count(const char* text, long* count) {
    long long v = 0;
    if (!text || !whole_number(text, 2147483647LL, &v)) return 0;
    *count = static_cast<long>(v);
    return 1;
}

int cli_parse_options(int argc, char** argv, CliOptions* o, std::string* error) {
    *o = CliOptions();
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* eq = std::strncmp(arg, "--", 2) == 0 ? std::strchr(arg, '=') : nullptr;
        size_t name_len = eq ? static_cast<size_t>(eq - arg) : std::strlen(arg);
        const Option* found = nullptr;
        for (const Option& opt : OPTIONS)
            if (std::strlen(opt.name) == name_len && std::strncmp(opt.name, arg, name_len) == 0) found = &opt;
        if (!found) {
            *error = std::string(arg[0] == '-' && arg[1] ? "unknown option '" : "unexpected argument '") + arg + "'";
            return 0;
        }
        const char* value = nullptr;
        if (found->kind == VALUE) {
            if (eq) {
                value = eq + 1;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                *error = std::string(found->name) + " needs a value";
                return 0;
            }
        } else if (eq) {
            *error = std::string(found->name) + " takes no value";
            return 0;
        }
        if (!found->apply(o, value, error)) return 0;
    }
    if (o->count && !o->watch_ms) {
        *error = "--count needs --watch";
        return 0;
    }
    return 1;
}
