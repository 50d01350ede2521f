#include "console/session.h"

#include <cstring>

Session& session_of(UiWindow* dialog) { return *static_cast<Session*>(ui_context(dialog)); }

int session_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int icon_id) {
    ++session_of(owner).dialogs_shown;
    return ui_message_box(owner, text, caption, style, icon_id);
}

void session_park_focus(UiWindow* dialog) {
    int focus = ui_focus_id(dialog);
    if (focus == ID_COMMAND || focus == ID_SEND_FILE) ui_set_focus(dialog, ID_LOG);
}

char* session_choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext,
                          int open, const char* title) {
    char name[261] = "";
    if (initial) {
        std::strncpy(name, initial, 260);
        name[260] = '\0';
    }
    static const char DEFAULT_FILTER[] = "All Files (*.*)\0*.*\0";
    const char* use_title = (title && *title) ? title : (open ? "Open File" : "Save File");
    const char* ext = (default_ext && *default_ext) ? default_ext : "*";
    ++session_of(owner).dialogs_shown;
    return ui_choose_file(owner, name, filter ? filter : DEFAULT_FILTER, ext, open, use_title);
}
