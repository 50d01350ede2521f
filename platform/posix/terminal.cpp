// POSIX: SIGINT and SIGTERM set a flag only; no SA_RESTART, so a read of standard
// input waiting for the operator returns and the program can end.
#include "platform/terminal.h"

#include <signal.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_count = 0;
volatile sig_atomic_t g_status = 0;

void on_signal(int signal_number) {
    if (g_status == 0) g_status = 128 + signal_number;
    if (g_count < 1000) g_count = g_count + 1;
}

}  // namespace

void terminal_catch_interrupts() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int terminal_interrupt_count() { return g_count; }
int terminal_interrupt_status() { return g_status; }
int terminal_is_tty(int fd) { return ::isatty(fd) ? 1 : 0; }
void terminal_raw_stdin() {}
