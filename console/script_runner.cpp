// Command files: the runner that plays a file line by line, and the file choosers.
#include "console/script_runner.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/command_file.h"
#include "common/reply_match.h"
#include "console/command_console.h"
#include "console/log_view.h"
#include "console/main_dialog.h"
#include "link/link.h"
#include "settings/settings.h"

namespace {

int g_running = 0;
int g_stop_requested = 0;

// "startup.cmd (line 3 of 10)" for the title.
std::string progress_text(const std::string& path, int line, int lines) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name + " (line " + std::to_string(line) + " of " + std::to_string(lines) + ")";
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

int script_running() { return g_running; }

void stop_command_file(UiWindow*) {
    if (!g_running || g_stop_requested) return;  // one stop byte for the line that runs
    g_stop_requested = 1;
    link_stop(g_main.link);
}

int count_command_lines(const char* path) {
    std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) return -1;
    LineReader reader;
    line_reader_init(&reader);
    int lines = 0, c;
    while ((c = std::fgetc(file)) != EOF) lines += line_reader_feed(&reader, static_cast<uint8_t>(c));
    lines += line_reader_finish(&reader);
    std::fclose(file);
    return lines;
}

char* choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext, int open,
                  const char* title) {
    char name[261] = "";
    if (initial) {
        std::strncpy(name, initial, 260);
        name[260] = '\0';
    }
    static const char DEFAULT_FILTER[] = "All Files (*.*)\0*.*\0";
    const char* use_title = (title && *title) ? title : (open ? "Open File" : "Save File");
    const char* ext = (default_ext && *default_ext) ? default_ext : "*";
    return ui_choose_file(owner, name, filter ? filter : DEFAULT_FILTER, ext, open, use_title);
}

void choose_startup_file(UiWindow* dialog) {
    int n = ui_text_length(dialog, ID_STARTUP);
    std::string current(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    ui_get_text(dialog, ID_STARTUP, &current[0], n + 1);
    char* path = choose_file(dialog, current.c_str(), nullptr, "*", 1, "Choose Startup File");
    if (!path) return;
    if (ui_dialog_alive(dialog)) ui_set_text(dialog, ID_STARTUP, path);
    ui_free(path);
}

void run_command_file(UiWindow* dialog, int use_startup_file) {
    std::string path;
    if (use_startup_file) {
        int n = ui_text_length(dialog, ID_STARTUP);
        if (n <= 0) return;
        path.assign(static_cast<size_t>(n) + 1, '\0');
        int got = ui_get_text(dialog, ID_STARTUP, &path[0], n + 1);
        path.resize(got > 0 ? static_cast<size_t>(got) : 0);
    } else {
        char* chosen = choose_file(dialog, nullptr, nullptr, "*", 1, "Choose File to Execute");
        if (!chosen) return;
        path = chosen;
        ui_free(chosen);
        if (!ui_dialog_alive(dialog)) return;
    }
    // Disconnect stays live during the run: it ends the run after the current line.
    ui_enable(dialog, ID_SEND_FILE, 0);
    ui_enable(dialog, ID_COMMAND, 0);

    ReplyJudge stop_rule;
    int lines = count_command_lines(path.c_str());
    std::FILE* file = read_stop_rule(dialog, &stop_rule) ? std::fopen(path.c_str(), "rb") : nullptr;
    char not_text[64];
    if (file && !command_file_begin(file, not_text, sizeof not_text)) {
        std::fclose(file);
        file = nullptr;
        log_append(dialog, ("(not sent: " + path + ": " + not_text + ")").c_str(), LOG_FAILED);
    }
    if (file) {
        ++g_running;
        g_stop_requested = 0;
        ui_enable_system_menu(dialog, SYSCMD_STOP_FILE, 1);
        TargetLink* link = g_main.link;
        LineReader reader;
        line_reader_init(&reader);
        bool go_on = true;
        int line = 0;
        auto run_line = [&]() {
            ++line;
            show_title(dialog, progress_text(path, line, lines).c_str());
            // The line goes out cut, as a command line holds no more; say so.
            if (reader.cut) {
                std::string note = "line " + std::to_string(line) + " cut to " + std::to_string(LINE_CHARS) +
                                   " characters";
                log_append(dialog, note.c_str(), LOG_NOTE);
            }
            go_on = run_command(dialog, reader.line);
            // A disconnect or a lost port inside the wait ends the run: no line goes
            // to a later link.
            if (go_on && g_main.link != link) {
                go_on = false;
                if (line != lines) {
                    std::string note = "command file ended at line " + std::to_string(line) +
                                       (lines > 0 ? " of " + std::to_string(lines) : std::string()) + ": " +
                                       g_main.ended_by;
                    log_append(dialog, note.c_str(), LOG_NOTE);
                }
            }
            std::string why;
            const char* reply = last_command_reply();
            if (go_on && reply && !reply_judge_check(&stop_rule, reply, &why)) {
                std::string note = "command file stopped at line " + std::to_string(line) + " of " +
                                   std::to_string(lines) + ": " + why;
                log_append(dialog, note.c_str(), LOG_NOTE);
                go_on = false;
            }
            if (go_on && g_stop_requested) {
                std::string note = "(command file stopped at line " + std::to_string(line) + " of " +
                                   std::to_string(lines) + ")";
                log_append(dialog, note.c_str(), LOG_NOTE);
                go_on = false;
            }
        };
        int c;
        while (go_on && (c = std::fgetc(file)) != EOF)
            if (line_reader_feed(&reader, static_cast<uint8_t>(c))) run_line();
        if (go_on && line_reader_finish(&reader)) run_line();
        std::fclose(file);
        --g_running;
        g_stop_requested = 0;
        if (!ui_dialog_alive(dialog)) return;
        ui_enable_system_menu(dialog, SYSCMD_STOP_FILE, 0);
        show_title(dialog);
    }
    if (!ui_dialog_alive(dialog)) return;
    ui_enable(dialog, ID_COMMAND, g_main.connected);
    ui_enable(dialog, ID_SEND_FILE, g_main.connected);
    ui_enable(dialog, ID_CONNECT, 1);
}
