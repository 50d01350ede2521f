// POSIX: SIGINT, SIGTERM, SIGHUP (the terminal went away) and SIGPIPE (the reader of
// standard output went away) set a flag only; no SA_RESTART, so a read of standard
// input waiting for the operator, or the open of a FIFO waiting for its writer,
// returns and the program can end. A signal ignored when the program started
// (nohup, a background job of a shell without job control) stays ignored.
#include "platform/terminal.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace {

volatile sig_atomic_t g_count = 0;
volatile sig_atomic_t g_status = 0;
bool g_pipe_caught = false;  // SIGPIPE was not ignored, and is ours

void on_signal(int signal_number) {
    if (g_status == 0) g_status = 128 + signal_number;
    // Every write to a closed pipe raises SIGPIPE again: that is one request, not an
    // operator asking twice to give up on the stopped command's reply.
    if (signal_number == SIGPIPE && g_count > 0) return;
    if (g_count < 1000) g_count = g_count + 1;
}

}  // namespace

void terminal_catch_interrupts() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction before {};
        if (sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        if (sigaction(signal_number, &action, nullptr) == 0 && signal_number == SIGPIPE) g_pipe_caught = true;
    }
}

int terminal_interrupt_count() { return g_count; }
int terminal_interrupt_status() { return g_status; }
int terminal_output_gone(int fd) {
    // A pipe whose readers have all closed reports an error on its write end.
    struct pollfd p {};
    p.fd = fd;
    if (::poll(&p, 1, 0) != 1 || !(p.revents & POLLERR)) return 0;
    // With SIGPIPE ignored, the caller learns it from the write that fails (EPIPE).
    if (g_pipe_caught) on_signal(SIGPIPE);
    return 1;
}
int terminal_is_tty(int fd) { return ::isatty(fd) ? 1 : 0; }
void terminal_raw_stdin() {}
