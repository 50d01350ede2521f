// What a console program needs of its terminal: interrupt requests, whether a
// standard stream is a terminal, and standard input as raw bytes.
#pragma once

// Catches Ctrl+C (and, where the system has them, a termination request, a hang-up
// and a write to a pipe nobody reads), each unless it was ignored when the program
// started. The handler only records it; a blocking read of standard input returns
// instead of resuming.
void terminal_catch_interrupts();
// How many interrupt requests arrived so far.
int terminal_interrupt_count();
// The exit status the first request asks for: 130 for Ctrl+C, 143 for a termination
// request, 129 for a hang-up, 141 for a closed pipe; 0 while none arrived.
int terminal_interrupt_status();
// 1 when the reader of output stream fd has gone, and then records a closed-pipe
// request (as a write would raise it) unless SIGPIPE is ignored, so that a run ends
// before its next command rather than after its next write. Never blocks; 0 where it
// cannot tell.
int terminal_output_gone(int fd);
// 1 when standard stream fd (0 input, 1 output, 2 error) is a terminal.
int terminal_is_tty(int fd);
// Standard input delivers bytes unchanged (no CR LF translation).
void terminal_raw_stdin();
