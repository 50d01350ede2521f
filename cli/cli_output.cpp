// Printing for the runner. Escaping touches only what a terminal acts on, so an
// operator still reads replies as sent, and a pipe gets them byte for byte (the
// caller escapes only when the stream is a terminal).
#include "cli/cli_output.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include "common/clock_stamp.h"
#include "common/texts.h"
#include "platform/terminal.h"

namespace {

void append_terminal_safe(std::string* out, const char* text, size_t length) {
    static const char HEX[] = "0123456789ABCDEF";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            *out += "\\x";
            *out += HEX[c >> 4];
            *out += HEX[c & 15];
        } else {
            *out += static_cast<char>(c);
        }
    }
}

}  // namespace

std::string cli_terminal_safe(const char* text, size_t length) {
    std::string out;
    if (text) append_terminal_safe(&out, text, length);
    return out;
}

std::string cli_terminal_safe(const char* text) { return cli_terminal_safe(text, text ? std::strlen(text) : 0); }

void cli_progress_erase(CliOutput* o) {
    if (!o->shown) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(o->shown), "");
    std::fflush(stderr);
    o->shown = 0;
}

void cli_progress_draw(CliOutput* o, uint64_t now) {
    if (!o->progress || o->progress_text.empty()) return;
    size_t width = o->progress_text.size() > o->shown ? o->progress_text.size() : o->shown;
    std::fprintf(stderr, "\r%-*s", static_cast<int>(width), o->progress_text.c_str());
    std::fflush(stderr);
    o->shown = width;
    o->drawn_at = now;
}

void cli_progress_set(CliOutput* o, long line, long total, uint64_t now) {
    if (!o->progress) return;
    o->progress_text = progress_text(line, total);
    if (now - o->drawn_at >= CLI_PROGRESS_EVERY_MS) cli_progress_draw(o, now);
}

namespace {

void time_prefix(std::string* out) {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    char stamp[32];
    if (clock_stamp(std::chrono::duration_cast<std::chrono::milliseconds>(now).count(), false, stamp, sizeof stamp)) {
        *out += stamp;
        *out += ' ';
    }
}

}  // namespace

void cli_emit(CliOutput* o, FILE* to, const char* mark, const char* text, size_t length) {
    if (o->shown && (to == stderr || o->stdout_tty)) cli_progress_erase(o);
    std::string& line = o->line;
    line.clear();
    if (o->times) time_prefix(&line);
    if (mark) line += mark;
    if (to == stdout ? o->escape_out : o->escape_err)
        append_terminal_safe(&line, text, length);
    else
        line.append(text, length);
    line += '\n';
    // One write a line: a driver that reads each reply before it sends the next
    // command must get it now, not when a buffer fills.
    errno = 0;
    bool ok = std::fwrite(line.data(), 1, line.size(), to) == line.size();
    if (std::fflush(to) != 0 || std::ferror(to)) ok = false;
    if (!ok && to == stdout && !o->write_error) o->write_error = errno ? errno : EIO;
    // A big line may leave more than a page of spare room; keep only an ordinary one.
    if (line.capacity() > 4096) std::string().swap(line);
}

void cli_emit(CliOutput* o, FILE* to, const char* mark, const char* text) {
    cli_emit(o, to, mark, text, text ? std::strlen(text) : 0);
}

// Messages name commands and files, which may hold anything.
void cli_say(CliOutput* o, const char* text) {
    if (o) cli_progress_erase(o);
    bool escape = o ? o->escape_err : terminal_is_tty(2) != 0;
    std::fprintf(stderr, "zorvtalk-cli: %s\n", escape ? cli_terminal_safe(text).c_str() : text);
}

std::string cli_seconds_text(uint32_t ms) {
    char buf[32];
    if (ms % 1000 == 0) {
        std::snprintf(buf, sizeof buf, "%u s", static_cast<unsigned>(ms / 1000));
    } else {
        std::snprintf(buf, sizeof buf, "%u.%03u", static_cast<unsigned>(ms / 1000), static_cast<unsigned>(ms % 1000));
        std::string s = buf;
        while (s.back() == '0') s.pop_back();
        return s + " s";
    }
    return buf;
}
