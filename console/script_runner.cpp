// Command files: the runner that plays a file line by line, and the file choosers.
#include "console/script_runner.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/command_file.h"
#include "common/file_lines.h"
#include "common/reply_match.h"
#include "common/texts.h"
#include "console/command_console.h"
#include "console/log_view.h"
#include "console/session.h"
#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/files.h"
#include "settings/settings.h"

namespace {

// "startup.cmd (line 3 of 10)" for the title.
std::string title_text(const std::string& path, int line, long lines) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name + " (" + progress_text(line, lines) + ")";
}

// A look at the window's events costs little next to reading this many bytes.
constexpr unsigned LOOK_EVERY_BYTES = 64u << 10;
constexpr size_t READ_CHUNK = 64u << 10;
constexpr uint32_t STALLED_WAIT_MS = 250;

// The bytes of a command file as they come. A file that never ends a line (/dev/zero)
// or a FIFO whose writer is slow must not hold the window: between lines, its events
// run now and then, and a disconnect, Stop Command File or the window's end stops
// reading.
struct StreamReader {
    UiWindow* dialog;
    Session* session;
    FileStream* file;
    TargetLink* link;  // the run's link: another one (or none) means the run is over
    unsigned since_look = 0;
    bool ended_early = false;
    bool first = true;
    bool refused = false;  // UTF-16: its NULs would cut it into fragments
    std::vector<char> buf = std::vector<char>(READ_CHUNK);
    int at = 0, count = 0;
};

bool stream_still_wanted(StreamReader* s) {
    s->since_look = 0;
    if (ui_dialog_alive(s->dialog) && s->session->link == s->link && !s->session->file_stop_requested) return true;
    s->ended_early = true;
    return false;
}

// The next byte, or EOF at the end, on a read error, or when the run is over.
int stream_next_byte(StreamReader* s) {
    while (s->at == s->count) {
        int n = file_stream_read(s->file, s->buf.data(), static_cast<int>(s->buf.size()));
        if (n > 0) {
            s->at = 0;
            s->count = n;
            if (s->first) {
                // A byte order mark would reach the controller as a pin command.
                s->first = false;
                int skip = command_file_head(reinterpret_cast<const uint8_t*>(s->buf.data()),
                                             static_cast<size_t>(n));
                if (skip < 0) {
                    s->refused = true;
                    return EOF;
                }
                s->at = skip;
                continue;
            }
            break;
        }
        if (n != FILE_STREAM_WAIT) return EOF;
        // Nothing there yet: sleep in the event loop until the writer writes.
        PlatformWait wait = platform_wait_hook();
        if (wait)
            wait(file_stream_handle(s->file), STALLED_WAIT_MS);
        else
            platform_idle_wait(STALLED_WAIT_MS);
        dispatch_pending_messages();
        if (!stream_still_wanted(s)) return EOF;
    }
    if (++s->since_look >= LOOK_EVERY_BYTES) {
        dispatch_pending_messages();
        if (!stream_still_wanted(s)) return EOF;
    }
    return static_cast<unsigned char>(s->buf[static_cast<size_t>(s->at++)]);
}

// The settings' [Files] StopOnReply, compiled for one run. 0 with a note row when the
// expression is bad: a file the operator meant to guard must not run unguarded.
int read_stop_rule(UiWindow* dialog, ReplyJudge* judge) {
    std::string expression = settings_read_string("Files", "StopOnReply");
    judge->fail_on_name = "StopOnReply";
    std::string error;
    if (expression.empty() || reply_judge_add(judge, REPLY_FAIL_ON, expression.c_str(), &error)) return 1;
    log_append(dialog, ("command file not run: StopOnReply: " + error).c_str(), LOG_NOTE);
    return 0;
}

}  // namespace

void stop_command_file(UiWindow* dialog) {
    Session& s = session_of(dialog);
    if (!s.file_running || s.file_stop_requested) return;  // one stop byte for the line that runs
    s.file_stop_requested = 1;
    // Between lines (reading a slow file) no command runs that the byte could stop.
    if (s.outstanding > 0) link_stop(s.link);
}

void choose_startup_file(UiWindow* dialog) {
    int n = ui_text_length(dialog, ID_STARTUP);
    std::string current(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    ui_get_text(dialog, ID_STARTUP, &current[0], n + 1);
    char* path = session_choose_file(dialog, current.c_str(), nullptr, "*", 1, "Choose Startup File");
    if (!path) return;
    if (ui_dialog_alive(dialog)) ui_set_text(dialog, ID_STARTUP, path);
    ui_free(path);
}

void run_command_file(UiWindow* dialog, int use_startup_file) {
    Session& s = session_of(dialog);
    std::string path;
    if (use_startup_file) {
        int n = ui_text_length(dialog, ID_STARTUP);
        if (n <= 0) return;
        path.assign(static_cast<size_t>(n) + 1, '\0');
        int got = ui_get_text(dialog, ID_STARTUP, &path[0], n + 1);
        path.resize(got > 0 ? static_cast<size_t>(got) : 0);
    } else {
        char* chosen = session_choose_file(dialog, nullptr, nullptr, "*", 1, "Choose File to Execute");
        if (!chosen) return;
        path = chosen;
        ui_free(chosen);
        if (!ui_dialog_alive(dialog)) return;
    }
    // Disconnect stays live during the run: it ends the run after the current line.
    session_park_focus(dialog);
    ui_enable(dialog, ID_SEND_FILE, 0);
    ui_enable(dialog, ID_COMMAND, 0);

    ReplyJudge stop_rule;
    FileStream* file = nullptr;
    if (read_stop_rule(dialog, &stop_rule)) {
        file = file_stream_open(path.c_str());
        // A file the operator picked that runs nothing says why; the startup file
        // stays quiet, as it always has.
        if (!file && !use_startup_file) {
            std::string note = "command file not run: cannot open " + path + ": " + std::strerror(errno);
            log_append(dialog, note.c_str(), LOG_NOTE);
        }
    }
    if (file) {
        ++s.file_running;
        s.file_stop_requested = 0;
        ui_enable_system_menu(dialog, SYSCMD_STOP_FILE, 1);
        // Counted through a handle of its own: a regular file never waits.
        long lines = -1;
        if (file_stream_is_regular(file)) {
            std::FILE* counted = std::fopen(path.c_str(), "rb");
            lines = count_file_lines(counted, path);
            if (counted) std::fclose(counted);
        }
        TargetLink* link = s.link;
        LineReader reader;
        line_reader_init(&reader);
        bool go_on = true;
        int line = 0;
        long bytes = 0;
        auto run_line = [&]() {
            ++line;
            s.events.show_title(dialog, title_text(path, line, lines).c_str());
            // The line goes out cut, as a command line holds no more; say so.
            if (reader.cut) {
                std::string note = "line " + std::to_string(line) + " cut to " + std::to_string(LINE_CHARS) +
                                   " characters";
                log_append(dialog, note.c_str(), LOG_NOTE);
            }
            go_on = run_command(dialog, reader.line);
            // A disconnect or a lost port inside the wait ends the run: no line goes
            // to a later link.
            if (go_on && s.link != link) {
                go_on = false;
                if (line != lines) {
                    std::string note = "command file ended at " + progress_text(line, lines > 0 ? lines : -1) +
                                       ": " + s.ended_by;
                    log_append(dialog, note.c_str(), LOG_NOTE);
                }
            }
            std::string why;
            const char* reply = last_command_reply(dialog);
            if (go_on && reply && !reply_judge_check(&stop_rule, reply, &why)) {
                std::string note = "command file stopped at " + progress_text(line, lines) + ": " + why;
                log_append(dialog, note.c_str(), LOG_NOTE);
                go_on = false;
            }
            if (go_on && s.file_stop_requested) {
                std::string note = "(command file stopped at " + progress_text(line, lines) + ")";
                log_append(dialog, note.c_str(), LOG_NOTE);
                go_on = false;
            }
        };
        StreamReader stream{dialog, &s, file, link};
        int c;
        while (go_on && (c = stream_next_byte(&stream)) != EOF) {
            ++bytes;
            if (line_reader_feed(&reader, static_cast<uint8_t>(c))) run_line();
        }
        if (go_on && !stream.ended_early && line_reader_finish(&reader)) run_line();
        file_stream_close(file);
        if (stream.refused && ui_dialog_alive(dialog)) {
            log_append(dialog, ("(not sent: " + path + ": not a text command file (UTF-16))").c_str(), LOG_FAILED);
        } else if (stream.ended_early && ui_dialog_alive(dialog)) {
            // Ended while the file gave no line (an endless or stalled one).
            std::string where = line > 0 ? "after " + progress_text(line, lines) : "before its first line";
            std::string why = s.link != link ? s.ended_by : "stopped";
            log_append(dialog, ("(command file ended " + where + ": " + why + ")").c_str(), LOG_NOTE);
        } else if (line == 0 && !use_startup_file && ui_dialog_alive(dialog)) {
            std::string note = "command file " + path + " ran no command: " +
                               (bytes == 0 ? "it is empty" : "it holds no command line");
            log_append(dialog, note.c_str(), LOG_NOTE);
        }
        --s.file_running;
        s.file_stop_requested = 0;
        if (!ui_dialog_alive(dialog)) return;
        ui_enable_system_menu(dialog, SYSCMD_STOP_FILE, 0);
        s.events.show_title(dialog, nullptr);
    }
    if (!ui_dialog_alive(dialog)) return;
    ui_enable(dialog, ID_COMMAND, s.connected);
    ui_enable(dialog, ID_SEND_FILE, s.connected);
    ui_enable(dialog, ID_CONNECT, 1);
}
