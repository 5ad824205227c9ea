// The terminal around live play, one implementation per system
// (terminal_posix.cpp, terminal_windows.cpp): standard input as raw keys,
// the screen's size, the signals that stop play, and standard streams fit
// for binary data.
//
// Whatever is changed is put back by end_key_input, at exit, and when a
// signal stops or suspends the program (SIGINT, SIGTERM, SIGHUP, SIGTSTP),
// so that no way out leaves the terminal without echo.
#pragma once

#include <cstddef>

// Standard input and output in binary mode (a module read from a pipe, a
// WAV written to one) and, where the console needs it, ANSI sequences on.
void prepare_standard_streams();

bool stdout_is_terminal();
bool stdin_is_terminal();

// Standard input as keys: no echo, no line editing. False when standard
// input is no terminal (then nothing changes).
bool begin_key_input();
void end_key_input();
// Waits up to timeout_ms for keys and gives the bytes that came (0: none).
std::size_t read_key_bytes(char* buffer, std::size_t size, int timeout_ms);

// Whether the view hides the cursor, which the restoring then shows.
void set_cursor_hidden(bool hidden);

struct TerminalSize {
  int columns;
  int rows;
};
// The size of the terminal on standard output; 80 x 24 when unknown.
TerminalSize terminal_size();

// From now on Ctrl-C and termination set stop_signal instead of ending the
// program at once.
void catch_stop_signals();
// The signal that asked to stop (SIGINT, SIGTERM, ...), or 0.
int stop_signal();
