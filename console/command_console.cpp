// Typed commands and file lines both go through run_command, so every command
// gives exactly two log rows: the command at an even index, its reply after it.
#include "console/command_console.h"

#include <string>

#include "console/log_view.h"
#include "console/main_dialog.h"
#include "link/link.h"

namespace {

void add_row(UiWindow* dialog, int row, const char* text) {
    listview_insert_row(dialog, ID_LOG, row);
    listview_set_row_text(dialog, ID_LOG, row, text);
    ui_list_ensure_visible(dialog, ID_LOG, row);
}

}  // namespace

int run_command(UiWindow* dialog, const char* command) {
    char reply[256] = {};
    int n = listview_row_count(dialog, ID_LOG);
    add_row(dialog, n, command);
    ui_enable(dialog, ID_STOP, 1);
    ui_enable(dialog, ID_PAUSE, 1);
    ui_set_text(dialog, ID_PAUSE, "Pause");
    g_main.paused = 0;
    link_exchange(g_main.link, command, reply);
    // Exit may have been answered inside the wait: the dialog and its controls are
    // gone, and so is the link.
    if (!ui_dialog_alive(dialog)) return 0;
    ui_set_text(dialog, ID_PAUSE, "Pause");
    ui_enable(dialog, ID_PAUSE, 0);
    ui_enable(dialog, ID_STOP, 0);
    add_row(dialog, n + 1, reply);
    return 1;
}

void send_typed_line(UiWindow* dialog) {
    int length = ui_text_length(dialog, ID_COMMAND);
    if (length <= 0) return;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = ui_get_text(dialog, ID_COMMAND, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    ui_enable(dialog, ID_CONNECT, 0);
    ui_enable(dialog, ID_SEND_FILE, 0);
    ui_enable(dialog, ID_COMMAND, 0);
    if (!run_command(dialog, text.c_str())) return;
    ui_set_text(dialog, ID_COMMAND, "");
    ui_enable(dialog, ID_COMMAND, 1);
    ui_enable(dialog, ID_SEND_FILE, 1);
    ui_enable(dialog, ID_CONNECT, 1);
}
