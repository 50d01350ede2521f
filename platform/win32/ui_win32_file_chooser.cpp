// The classic Open and Save dialogs.
#include "platform/ui.h"

#include <windows.h>
#include <commdlg.h>

#include <cstdlib>
#include <cstring>

#include "platform/win32/ui_win32_internal.h"

namespace {

constexpr int MAX_PATH_CHARS = 260;

}  // namespace

char* ui_choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext, int open,
                     const char* title) {
    SetFocus(GetForegroundWindow());
    char file[MAX_PATH_CHARS + 1] = "";
    if (initial) {
        std::strncpy(file, initial, MAX_PATH_CHARS);
        file[MAX_PATH_CHARS] = '\0';
    }
    char file_title[MAX_PATH_CHARS + 1] = "";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the classic form
    ofn.hwndOwner = owner && owner->hwnd && IsWindow(owner->hwnd) ? owner->hwnd : nullptr;
    ofn.lpstrFilter = filter ? filter : "All Files (*.*)\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrFileTitle = file_title;
    ofn.nMaxFileTitle = sizeof file_title;
    ofn.lpstrTitle = title && *title ? title : (open ? "Open File" : "Save File");
    // Saving over a file asks first: a log saved over the wrong file would lose it.
    // No "Open as read-only" box: the program reads every file the same way.
    ofn.Flags = OFN_LONGNAMES | OFN_HIDEREADONLY | (open ? 0 : OFN_OVERWRITEPROMPT);
    // "*" stands for any extension, so none is added: a name without a dot comes back
    // as typed, and the Startup box never names a file that does not exist.
    ofn.lpstrDefExt = default_ext && *default_ext && !std::strpbrk(default_ext, "*?") ? default_ext : nullptr;
    BOOL ok = open ? GetOpenFileNameA(&ofn) : GetSaveFileNameA(&ofn);
    if (!ok) return nullptr;
    file[MAX_PATH_CHARS] = '\0';
    size_t n = std::strlen(file);
    if (n == 0) return nullptr;
    char* out = static_cast<char*>(std::malloc(n + 1));
    if (out) std::memcpy(out, file, n + 1);
    return out;
}

void ui_free(void* p) { std::free(p); }
