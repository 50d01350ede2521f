// Win32: Ctrl+C and Ctrl+Break arrive on a thread of the console's own; the handler
// records them and tells the console they were handled, so the program ends itself.
#include "platform/terminal.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<int> g_count{0};
std::atomic<int> g_status{0};

BOOL WINAPI on_console_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    int none = 0;
    g_status.compare_exchange_strong(none, 130);
    ++g_count;
    return TRUE;
}

}  // namespace

void terminal_catch_interrupts() { SetConsoleCtrlHandler(on_console_event, TRUE); }
int terminal_interrupt_count() { return g_count.load(); }
int terminal_interrupt_status() { return g_status.load(); }
int terminal_output_gone(int) { return 0; }

int terminal_is_tty(int fd) {
    DWORD which = fd == 0 ? STD_INPUT_HANDLE : fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    DWORD mode = 0;
    // A console handle has a mode; a file or pipe does not (_isatty also says yes to NUL).
    return GetConsoleMode(GetStdHandle(which), &mode) ? 1 : 0;
}

void terminal_raw_stdin() { _setmode(_fileno(stdin), _O_BINARY); }
