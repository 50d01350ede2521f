// The run of zorvtalk-cli: options to a port, then the commands, the file, the
// report and the pins, each bounded by the wait of cli_wait; the exit status says how.
#include "cli/cli_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cli/cli_lines.h"
#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "cli/cli_ports.h"
#include "cli/cli_wait.h"
#include "cli/cli_watch.h"
#include "common/command_file.h"
#include "common/file_lines.h"
#include "common/stray_input.h"
#include "common/texts.h"
#include "link/line_reader.h"
#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/net/net_url.h"
#include "platform/terminal.h"

#ifndef ZORV_VERSION
#error ZORV_VERSION must be the project version
#endif

namespace {

// Report and pin answers come at once from a live controller (the report box's bound).
constexpr uint32_t QUICK_ANSWER_MS = 1000;

struct Run {
    CliOptions opt;
    TargetLink* link = nullptr;
    CliOutput out;
    // Replies still due for commands that were stopped and gave up on: dropped when
    // they come, so that every later reply stays with its own command.
    int owed = 0;
    int lines = 0, lines_failed = 0;
    int failed = 0;  // lines, pin writes, reports and pin reads
    bool port_lost = false;
    bool output_lost = false;  // a write to stdout failed: the run ended there
    std::string where;  // the line being run, for the closing message
    std::string command;
    CliWatch watch;
    CliWaiter waiter;  // the bounded wait, on link, out and watch
};

enum LineResult { LINE_OK, LINE_FAILED, LINE_END };  // LINE_END: the run cannot go on

Run* g_run = nullptr;

// Under --watch standard output holds only the readings, so a pipe gets clean CSV.
FILE* replies(const Run& r) { return r.opt.watch_ms ? stderr : stdout; }

// Messages on stderr, escaped and clear of the progress line once the run is set up.
void say(const std::string& text) { cli_say(g_run ? &g_run->out : nullptr, text.c_str()); }

std::string last_error_text() {
    char text[200];
    link_last_error(text, sizeof text);
    return text;
}

// --- lines ------------------------------------------------------------------------

LineResult line_failed(Run& r, const std::string& reason) {
    ++r.failed;
    ++r.lines_failed;
    const bool not_sent = link_last_error(nullptr, 0) == LINK_ERROR_NOT_SENT;
    const std::string text = not_sent ? not_sent_text(reason) : no_reply_text(reason);
    cli_emit(&r.out, stderr, nullptr, text.data(), text.size());
    if (link_last_error(nullptr, 0) == LINK_ERROR_PORT_LOST) {
        r.port_lost = true;
        return LINE_END;
    }
    return LINE_FAILED;
}

// One line on standard error for input the link dropped before the last command or
// pin transaction went out: it answered nothing, and the operator should know.
void tell_dropped(Run& r) {
    char excerpt[96];
    uint32_t count = link_dropped_input(r.link, excerpt, sizeof excerpt);
    if (count) say(stray_input_text(count, excerpt, link_dropped_rest(r.link)));
}

// A line the controller's command line cannot hold is not sent cut.
LineResult refuse_long_line(Run& r, const char* command) {
    ++r.lines;
    r.command = command;
    ++r.failed;
    ++r.lines_failed;
    cli_emit(&r.out, stderr, nullptr,
         ("(not sent: the line is longer than " + std::to_string(LINE_CHARS) + " characters)").c_str());
    return LINE_FAILED;
}

// Reads and drops the replies still due for stopped commands. false when one has not
// come in time (or the link failed): a new line must not go out before it.
bool settle_owed(Run& r) {
    while (r.owed > 0) {
        cli_wait_begin(&r.waiter, false, r.opt.timeout_ms);
        int ok = link_await_reply(r.link) && link_read_reply(r.link, nullptr);
        cli_wait_end(&r.waiter);
        if (!ok) return false;
        --r.owed;
    }
    return true;
}

// A reply or reading that could not be written (a full disk, a closed descriptor)
// ends the run before the next command: nobody would learn what it answered.
bool output_failed(Run& r) {
    int error = r.out.write_error ? r.out.write_error : r.watch.write_error;
    if (!error) return false;
    if (!r.output_lost) say(std::string("cannot write to standard output: ") + std::strerror(error));
    r.output_lost = true;
    return true;
}

LineResult run_command(Run& r, const char* command) {
    // A reader that left (| head -1) is seen before the next command goes out, also
    // when nothing was written since it left.
    if (terminal_output_gone(1) && !terminal_interrupt_status() && !r.out.write_error) r.out.write_error = EPIPE;
    if (terminal_interrupt_status() || output_failed(r)) return LINE_END;
    ++r.lines;
    r.command = command;
    if (!settle_owed(r)) {
        if (terminal_interrupt_status()) return LINE_END;
        if (link_last_error(nullptr, 0) == LINK_ERROR_TIMEOUT)
            link_set_error(LINK_ERROR_TIMEOUT, "not sent: a stopped command has still not answered");
        return line_failed(r, last_error_text());
    }
    if (r.opt.echo && !r.opt.quiet) cli_emit(&r.out, replies(r), "> ", command);
    // Whole replies, as the controller sent them.
    std::unique_ptr<char[]> buffer(new char[LINK_WHOLE_REPLY_MAX + 1]);
    char* reply = buffer.get();
    cli_wait_begin(&r.waiter, true, r.opt.timeout_ms);
    int ok = link_exchange_whole(r.link, command, reply, LINK_WHOLE_REPLY_MAX + 1);
    const size_t length = link_reply_length(r.link);  // a NUL inside does not end it
    CliWait w = cli_wait_end(&r.waiter);
    std::string why = ok ? std::string() : last_error_text();
    tell_dropped(r);

    if (w.interrupted) {
        // The reply that came after the stop belongs to this command: print it.
        if (ok && !r.opt.quiet) cli_emit(&r.out, replies(r), r.opt.echo ? "< " : nullptr, reply, length);
        if (!ok) cli_emit(&r.out, stderr, nullptr, no_reply_text(w.stop_sent ? "interrupted; stop sent" : "interrupted").c_str());
        return LINE_END;
    }
    if (w.timed_out && (ok || w.cancelled)) {
        std::string text = "timed out after " + cli_seconds_text(r.opt.timeout_ms) + "; stop sent";
        if (ok) {
            text += ", the controller answered \"" + std::string(reply, length) + "\"";
        } else if (reply[0]) {
            // The reply had begun: the link drops its rest, nothing more is owed.
            text += "; " + why;
        } else {
            text += ", no answer within " + cli_seconds_text(CLI_STOP_GRACE_MS);
            ++r.owed;
        }
        link_set_error(LINK_ERROR_TIMEOUT, text.c_str());
        return line_failed(r, text);
    }
    if (!ok) return line_failed(r, why);
    if (!r.opt.quiet) cli_emit(&r.out, replies(r), r.opt.echo ? "< " : nullptr, reply, length);
    std::string judged;
    if (!reply_judge_check(&r.opt.judge, reply, length, &judged)) {
        // Answered, so nothing is owed and the link is fine: the line alone failed.
        ++r.failed;
        ++r.lines_failed;
        judged = "(failed: " + judged + ")";
        cli_emit(&r.out, stderr, nullptr, judged.data(), judged.size());
        return LINE_FAILED;
    }
    return LINE_OK;
}

// --- report and pins --------------------------------------------------------------

// A report or pin answer cannot be told from a late reply line: none is asked for
// while a stopped command still owes its reply.
bool quick_answer_possible(Run& r, const char* what) {
    if (terminal_interrupt_status()) return false;
    if (settle_owed(r)) return true;
    if (terminal_interrupt_status()) return false;
    ++r.failed;
    std::string text = last_error_text();
    if (link_last_error(nullptr, 0) == LINK_ERROR_TIMEOUT) text = "a stopped command has still not answered";
    cli_emit(&r.out, stderr, nullptr, ("(no " + std::string(what) + ": " + text + ")").c_str());
    if (link_last_error(nullptr, 0) == LINK_ERROR_PORT_LOST) r.port_lost = true;
    return false;
}

LineResult quick_failure(Run& r, const char* what, const char* timeout_text) {
    ++r.failed;
    if (link_last_error(nullptr, 0) == LINK_ERROR_TIMEOUT && timeout_text)
        link_set_error(LINK_ERROR_TIMEOUT, timeout_text);
    cli_emit(&r.out, stderr, nullptr, ("(no " + std::string(what) + ": " + last_error_text() + ")").c_str());
    if (link_last_error(nullptr, 0) == LINK_ERROR_PORT_LOST) {
        r.port_lost = true;
        return LINE_END;
    }
    return terminal_interrupt_status() ? LINE_END : LINE_FAILED;
}

LineResult set_pins(Run& r) {
    if (!quick_answer_possible(r, "pin reply"))
        return r.port_lost || terminal_interrupt_status() ? LINE_END : LINE_FAILED;
    cli_wait_begin(&r.waiter, false, QUICK_ANSWER_MS);
    int ok = link_pin_transaction(r.link, r.opt.set_data ? &r.opt.data : nullptr, nullptr,
                                  r.opt.set_control ? &r.opt.control : nullptr, nullptr, nullptr, nullptr);
    cli_wait_end(&r.waiter);
    tell_dropped(r);
    if (!ok) return quick_failure(r, "pin reply", "no pin reply within 1 s");
    return LINE_OK;
}

LineResult show_pins(Run& r) {
    if (!quick_answer_possible(r, "pin reply"))
        return r.port_lost || terminal_interrupt_status() ? LINE_END : LINE_FAILED;
    uint8_t data = 0, status = 0, control = 0;
    cli_wait_begin(&r.waiter, false, QUICK_ANSWER_MS);
    int ok = link_pin_transaction(r.link, nullptr, nullptr, nullptr, &data, &status, &control);
    cli_wait_end(&r.waiter);
    tell_dropped(r);
    if (!ok) return quick_failure(r, "pin reply", "no pin reply within 1 s");
    char text[64];
    std::snprintf(text, sizeof text, "data=%02X status=%02X control=%02X", data, status, control);
    cli_emit(&r.out, replies(r), nullptr, text);
    return LINE_OK;
}

LineResult show_report(Run& r) {
    if (!quick_answer_possible(r, "report")) {
        if (terminal_interrupt_status()) return LINE_END;
        cli_emit(&r.out, replies(r), nullptr, REPORT_NO_DATA);
        return r.port_lost ? LINE_END : LINE_FAILED;
    }
    int16_t q = 0;
    int32_t x = 0, y = 0, z = 0, w = 0;
    int ok = link_query_report_within(r.link, QUICK_ANSWER_MS, &q, &x, &y, &z, &w);
    tell_dropped(r);  // unasked input is dropped before the request, as before a command
    if (!ok) {
        cli_emit(&r.out, replies(r), nullptr, REPORT_NO_DATA);
        return quick_failure(r, "report", nullptr);
    }
    cli_emit(&r.out, replies(r), nullptr, report_text(q, x, y, z, w).c_str());
    return LINE_OK;
}

// Watching with no command: the link's reply wait is the loop, so the report is taken
// in at the head of the input as during a command, and Ctrl+C, --count and --timeout
// end it through the dispatch hook.
LineResult watch_alone(Run& r) {
    r.where = "--watch";
    for (;;) {
        if (terminal_interrupt_status()) return LINE_END;
        if (cli_watch_done(&r.watch)) return LINE_OK;
        r.waiter.watch_alone = true;
        cli_wait_begin(&r.waiter, false, 0);
        int ok = link_await_reply(r.link);
        CliWait w = cli_wait_end(&r.waiter);
        r.waiter.watch_alone = false;
        if (cli_watch_done(&r.watch)) return LINE_OK;
        if (w.interrupted || terminal_interrupt_status()) return LINE_END;
        if (r.waiter.watch_late) {
            ++r.failed;
            r.watch.missed = 0;  // this line says the outage
            cli_emit(&r.out, stderr, nullptr, ("(no report: none within " + cli_seconds_text(r.opt.timeout_ms) + ")").c_str());
            return LINE_FAILED;
        }
        if (!ok) return quick_failure(r, "report", nullptr);
        // Input nobody asked for: a line goes where replies go, a stray byte is dropped,
        // so that it never stands before the next report.
        char text[256];
        if (link_read_reply(r.link, text)) {
            if (!r.opt.quiet) cli_emit(&r.out, stderr, nullptr, text);
        } else if (link_last_error(nullptr, 0) == LINK_ERROR_BAD_START) {
            uint8_t b = 0;
            uint32_t got = 0;
            link_read(r.link, &b, 1, &got);
        }
    }
}

// --- set-up -----------------------------------------------------------------------

const char* interrupt_text(int status) {
    switch (status) {
    case 143: return "terminated";
    case 129: return "hung up";
    case 141: return "standard output closed";
    default: return "interrupted";
    }
}

int usage_error(const std::string& text) {
    say(text);
    std::fputs("Try 'zorvtalk-cli --help'.\n", stderr);
    return CLI_EXIT_USAGE;
}

// Opens the command file before anything touches the port: a wrong name must not
// cost a controller reset.
int open_file(Run& r, FILE** file) {
    *file = nullptr;
    if (!r.opt.have_file) return CLI_EXIT_OK;
    if (r.opt.file == "-") {
        terminal_raw_stdin();
        *file = stdin;
        return CLI_EXIT_OK;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(r.opt.file, ec)) return usage_error("'" + r.opt.file + "' is a folder");
    // A FIFO's open waits for its writer; an interrupt ends that wait (no restart).
    *file = terminal_interrupt_status() ? nullptr : std::fopen(r.opt.file.c_str(), "rb");
    if (!*file && terminal_interrupt_status()) {
        say(interrupt_text(terminal_interrupt_status()));
        return terminal_interrupt_status();
    }
    if (!*file) return usage_error("cannot open '" + r.opt.file + "': " + std::strerror(errno));
    return CLI_EXIT_OK;
}

int exit_status(const Run& r) {
    if (int status = terminal_interrupt_status()) return status;
    if (r.port_lost) return CLI_EXIT_PORT_LOST;
    if (r.output_lost) return CLI_EXIT_FAILED;
    return r.failed ? CLI_EXIT_FAILED : CLI_EXIT_OK;
}

// Runs everything after the connect; false once the run must end.
bool run_all(Run& r, FILE* file) {
    const bool keep_going = r.opt.keep_going;
    auto go_on = [&](LineResult result) { return result == LINE_OK || (result == LINE_FAILED && keep_going); };

    if (r.opt.set_data || r.opt.set_control) {
        r.where = "--set-pins";
        if (!go_on(set_pins(r))) return false;
    }

    if (r.opt.watch_ms) cli_watch_start(&r.watch, r.opt.watch_ms, r.opt.count, platform_now_ms(), stdout);
    for (size_t i = 0; i < r.opt.commands.size(); ++i) {
        for (const CliCommandLine& line : cli_command_lines(r.opt.commands[i])) {
            r.where = "-c " + std::to_string(i + 1);
            if (!go_on(line.cut ? refuse_long_line(r, line.text.c_str()) : run_command(r, line.text.c_str())))
                return false;
        }
    }

    if (file) {
        const std::string name = r.opt.file == "-" ? "standard input" : r.opt.file;
        long total = r.out.progress && file != stdin ? count_file_lines(file, r.opt.file, terminal_interrupt_status) : -1;
        if (terminal_interrupt_status()) return false;
        char not_text[64];
        if (!command_file_begin(file, not_text, sizeof not_text)) {
            r.where = name;
            ++r.failed;
            say("(not sent: " + name + ": " + not_text + ")");
            return keep_going;
        }
        LineReader reader;
        line_reader_init(&reader);
        long n = 0;
        auto run_line = [&]() {
            ++n;
            r.where = name + " line " + std::to_string(n);
            cli_progress_set(&r.out, n, total, platform_now_ms());
            return go_on(reader.cut ? refuse_long_line(r, reader.line) : run_command(r, reader.line));
        };
        int c;
        // A file that never ends a line (/dev/zero) must still let an interrupt in.
        while ((c = std::fgetc(file)) != EOF) {
            if (terminal_interrupt_status()) return false;
            if (line_reader_feed(&reader, static_cast<uint8_t>(c)) && !run_line()) return false;
        }
        if (terminal_interrupt_status()) return false;
        if (std::ferror(file)) {
            // The rest of the file never ran: that is a failure, not an end.
            ++r.failed;
            r.where = name;
            r.command.clear();
            say("reading " + name + " failed after line " + std::to_string(n));
            if (!keep_going) return false;
        } else if (line_reader_finish(&reader) && !run_line()) {
            return false;
        }
        cli_progress_erase(&r.out);
        r.out.progress = false;
    }

    r.command.clear();
    if (r.watch.active && r.opt.commands.empty() && !file) {
        if (!go_on(watch_alone(r))) return false;
    } else if (r.watch.active && !terminal_interrupt_status() && r.owed == 0) {
        // The CSV ends where the commands left the machine. Not behind a stopped
        // command's late reply, which would stand before the report.
        cli_watch_last(&r.watch, r.link, QUICK_ANSWER_MS, platform_now_ms(), stdout);
    }
    cli_watch_stop(&r.watch);
    cli_wait_say_watch(&r.waiter);
    // Watching that never got a reading did not do what it was asked.
    if (r.opt.watch_ms && r.watch.printed == 0 && !terminal_interrupt_status()) ++r.failed;
    if (r.opt.report) {
        r.where = "--report";
        if (!go_on(show_report(r))) return false;
    }
    if (r.opt.pins) {
        r.where = "--pins";
        if (!go_on(show_pins(r))) return false;
    }
    return true;
}

}  // namespace

int cli_main(int argc, char** argv) {
    Run run;
    std::string error;
    if (!cli_parse_options(argc, argv, &run.opt, &error)) return usage_error(error);
    if (run.opt.help) {
        std::fputs(CLI_USAGE, stdout);
        return CLI_EXIT_OK;
    }
    if (run.opt.version) {
        std::printf("zorvtalk-cli %s\n", ZORV_VERSION);
        return CLI_EXIT_OK;
    }
    terminal_catch_interrupts();

    if (run.opt.list_ports) {
        cli_list_ports(stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? CLI_EXIT_OK : CLI_EXIT_FAILED;
    }
    int port = 0, baud = 0;
    if (!cli_choose_port(&run.opt, &port, &baud, &error)) return usage_error(error);

    FILE* file = nullptr;
    if (int status = open_file(run, &file)) return status;

    run.out.times = run.opt.times;
    run.out.stdout_tty = terminal_is_tty(1) != 0;
    run.out.escape_out = run.out.stdout_tty && !run.opt.raw;
    run.out.escape_err = terminal_is_tty(2) && !run.opt.raw;
    // Not while the operator types the lines on the same terminal.
    run.out.progress = file && !run.opt.quiet && terminal_is_tty(2) && !(file == stdin && terminal_is_tty(0)) &&
                       !(run.opt.watch_ms && run.out.stdout_tty);  // readings would cut through it

    g_run = &run;
    run.waiter.out = &run.out;
    run.waiter.watch = &run.watch;
    run.waiter.watch_timeout_ms = run.opt.timeout_ms;
    cli_wait_install(&run.waiter);

    run.waiter.connecting = true;
    run.link = link_connect(connect_string(port, baud).c_str());
    run.waiter.connecting = false;
    run.waiter.link = run.link;
    int status = CLI_EXIT_OK;
    if (!run.link && !terminal_interrupt_status()) {
        int code = link_last_error(nullptr, 0);
        say("cannot connect to " + cli_port_name(run.opt, port) + " at " + std::to_string(baud) + " baud: " +
            last_error_text());
        status = code == LINK_ERROR_PORT_LOST ? CLI_EXIT_PORT_LOST : CLI_EXIT_NO_CONNECTION;
    } else if (!terminal_interrupt_status()) {
        if (const char* raw = net_url_note(run.opt.port_path.c_str())) say(raw);
        bool completed = run_all(run, file);
        cli_watch_stop(&run.watch);
        cli_wait_say_watch(&run.waiter);
        cli_progress_erase(&run.out);
        if (!completed && !terminal_interrupt_status() && !run.port_lost && !run.output_lost && run.failed)
            say("ended at " + run.where + (run.command.empty() ? "" : ": " + run.command));
        else if (completed && run.lines_failed)
            say(std::to_string(run.lines_failed) + " of " + std::to_string(run.lines) + " lines failed");
    }
    link_close(&run.link);
    run.waiter.link = nullptr;
    cli_wait_remove();
    g_run = nullptr;
    if (file && file != stdin) std::fclose(file);

    if (terminal_interrupt_status()) {
        say(interrupt_text(terminal_interrupt_status()));
        return terminal_interrupt_status();
    }
    if (!run.output_lost && (output_failed(run) || std::fflush(stdout) != 0 || std::ferror(stdout))) {
        if (!run.output_lost) say("could not write the replies to standard output");
        if (status == CLI_EXIT_OK) status = CLI_EXIT_FAILED;
    }
    if (status != CLI_EXIT_OK) return status;
    return exit_status(run);
}
