// Typed commands and file lines both go through run_command, so every command
// gives exactly two log rows: the command, then its reply or why there was none.
#include "console/command_console.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/stray_input.h"
#include "common/texts.h"
#include "console/command_history.h"
#include "console/log_view.h"
#include "console/session.h"
#include "link/link.h"
#include "platform/dispatch.h"

namespace {
// A row is text up to its first NUL: one inside a reply shows as \x00, as the runner
// shows it on a terminal, so that the rest of the reply is not lost.
std::string reply_row_text(const char* reply, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        if (reply[i])
            text += reply[i];
        else
            text += "\\x00";
    }
    return text;
}
}  // namespace

const char* last_command_reply(UiWindow* dialog) {
    Session& s = session_of(dialog);
    return s.have_reply ? s.last_reply.c_str() : nullptr;
}

int run_command(UiWindow* dialog, const char* command) {
    Session& s = session_of(dialog);
    // Whole replies: the log, its tip, Copy and Save keep every character.
    std::unique_ptr<char[]> reply(new char[LINK_WHOLE_REPLY_MAX + 1]);
    reply[0] = '\0';
    int n = log_row_count(dialog);
    log_hold_journal(dialog, n);
    log_put_row(dialog, n, command, LOG_COMMAND);
    ui_enable(dialog, ID_STOP, 1);
    ui_enable(dialog, ID_PAUSE, 1);
    ui_set_text(dialog, ID_PAUSE, "Pause");
    // The pin panel could not poll while the exchange waits, and would hold the
    // reply back until it closed.
    ui_enable_system_menu(dialog, SYSCMD_PIN_PANEL, 0);
    s.paused = 0;
    TargetLink* link = s.link;
    ++s.outstanding;
    int ok = link_exchange_whole(link, command, reply.get(), LINK_WHOLE_REPLY_MAX + 1);
    size_t length = ok && link && s.link == link ? link_reply_length(link) : 0;
    char why[160] = "";
    int code = ok ? LINK_ERROR_NONE : link_last_error(why, sizeof why);
    char stray[96] = "";
    // A link closed inside the wait is freed: only the one still open is asked.
    uint32_t dropped = link && s.link == link ? link_dropped_input(link, stray, sizeof stray) : 0;
    uint32_t rest = dropped ? link_dropped_rest(link) : 0;
    // A reply held up by a menu or box left open meanwhile carries the time it came.
    uint64_t seen = ok && link && s.link == link ? link_reply_seen_ms(link) : 0;
    uint64_t now = platform_now_ms();
    int64_t ago = seen && seen <= now ? static_cast<int64_t>(now - seen) : 0;
    --s.outstanding;
    s.have_reply = ok != 0;
    s.last_reply = ok ? std::string(reply.get()) : std::string();
    // Exit may have been answered inside the wait: the dialog and its controls are
    // gone, and so is the link. The journal still gets the command's outcome, as after
    // a Disconnect.
    if (!ui_dialog_alive(dialog)) {
        std::string text = std::string("(no reply: ") + (ok ? "" : why) + ")";
        if (ok)
            log_journal_outcome(dialog, n + 1, reply.get(), LOG_REPLY);
        else
            log_journal_outcome(dialog, n + 1, text.c_str(), LOG_FAILED);
        return 0;
    }
    ui_set_text(dialog, ID_PAUSE, "Pause");
    ui_enable(dialog, ID_PAUSE, 0);
    ui_enable(dialog, ID_STOP, 0);
    if (s.outstanding == 0) ui_enable_system_menu(dialog, SYSCMD_PIN_PANEL, 1);
    if (dropped) {
        // Before the command row: the bytes were dropped before it went out.
        std::string note = stray_input_text(dropped, stray, rest);
        log_put_row(dialog, n, note.c_str(), LOG_NOTE);
        ++n;
    }
    if (ok) {
        const char* text = reply.get();
        std::string shown;
        if (std::memchr(text, 0, length)) text = (shown = reply_row_text(text, length)).c_str();
        log_put_row(dialog, n + 1, text, LOG_REPLY, ago);
    } else {
        // An empty row would look like an empty reply.
        std::string text = code == LINK_ERROR_NOT_SENT ? not_sent_text(why) : no_reply_text(why);
        log_put_row(dialog, n + 1, text.c_str(), LOG_FAILED);
    }
    log_release_journal(dialog);
    if (code == LINK_ERROR_PORT_LOST && link && s.link == link) s.events.port_lost(dialog);
    return 1;
}

void recall_history(UiWindow* dialog, int key) {
    if (!ui_is_enabled(dialog, ID_COMMAND)) return;
    const char* text = nullptr;
    if (key == UI_KEY_UP) {
        // What is being typed comes back with Down past the newest entry.
        int n = ui_text_length(dialog, ID_COMMAND);
        std::string typed(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
        int got = ui_get_text(dialog, ID_COMMAND, &typed[0], n + 1);
        typed.resize(got > 0 ? static_cast<size_t>(got) : 0);
        text = history_older(&session_of(dialog).history, typed.c_str());
    } else {
        text = history_newer(&session_of(dialog).history);
    }
    if (text) ui_set_text(dialog, ID_COMMAND, text);
}

void send_typed_line(UiWindow* dialog) {
    int length = ui_text_length(dialog, ID_COMMAND);
    if (length <= 0) return;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = ui_get_text(dialog, ID_COMMAND, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    Session& s = session_of(dialog);
    history_record(&s.history, text.c_str(), history_path().c_str());
    // Disconnect stays live: it is the way out from a controller that went silent.
    session_park_focus(dialog);
    ui_enable(dialog, ID_SEND_FILE, 0);
    ui_enable(dialog, ID_COMMAND, 0);
    if (!run_command(dialog, text.c_str())) return;
    ui_set_text(dialog, ID_COMMAND, "");
    ui_enable(dialog, ID_COMMAND, s.connected);
    ui_enable(dialog, ID_SEND_FILE, s.connected);
    ui_enable(dialog, ID_CONNECT, 1);
}
