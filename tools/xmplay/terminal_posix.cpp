#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "tools/xmplay/terminal.h"

namespace {

// Read by the signal handlers: plain flags and the saved settings, written
// before the handlers can see them.
termios saved_settings = {};
volatile std::sig_atomic_t settings_saved = 0;
volatile std::sig_atomic_t cursor_hidden = 0;
volatile std::sig_atomic_t keys_raw = 0;
std::atomic<int> stopping_signal{0};

void write_text(const char* text, std::size_t size) {
  ssize_t ignored = ::write(STDOUT_FILENO, text, size);
  (void)ignored;
}

// Async-signal-safe: tcsetattr and write only.
void restore_terminal() {
  if (settings_saved != 0) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
    keys_raw = 0;
  }
  if (cursor_hidden != 0) {
    static const char show_cursor[] = "\x1b[?25h";
    write_text(show_cursor, sizeof show_cursor - 1);
  }
}

void make_raw() {
  termios changed = saved_settings;
  changed.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  changed.c_cc[VMIN] = 0;
  changed.c_cc[VTIME] = 0;
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &changed) == 0) {
    keys_raw = 1;
  }
}

void on_stop(int signal_number) {
  restore_terminal();
  stopping_signal.store(signal_number);
}

// Ctrl-Z: the terminal as it was while the shell has it, raw again after.
void on_continue(int) {
  if (settings_saved != 0) {
    make_raw();
  }
  if (cursor_hidden != 0) {
    static const char hide_cursor[] = "\x1b[?25l";
    write_text(hide_cursor, sizeof hide_cursor - 1);
  }
}

void on_suspend(int) {
  const bool raw = keys_raw != 0;
  restore_terminal();
  keys_raw = raw ? 1 : 0;
  std::signal(SIGTSTP, SIG_DFL);
  std::raise(SIGTSTP);
  // Here again after SIGCONT.
  std::signal(SIGTSTP, on_suspend);
}

void restore_at_exit() { restore_terminal(); }

// A crash or Ctrl-\ ends the program as it would have, the terminal
// restored first.
void on_fatal(int signal_number) {
  restore_terminal();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace

void prepare_standard_streams() {}

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) != 0; }
bool stdin_is_terminal() { return ::isatty(STDIN_FILENO) != 0; }

bool begin_key_input() {
  if (::isatty(STDIN_FILENO) == 0 || ::tcgetattr(STDIN_FILENO, &saved_settings) != 0) {
    return false;
  }
  static bool exit_handler = false;
  if (!exit_handler) {
    std::atexit(restore_at_exit);
    exit_handler = true;
  }
  settings_saved = 1;
  std::signal(SIGTSTP, on_suspend);
  std::signal(SIGCONT, on_continue);
  make_raw();
  return keys_raw != 0;
}

void end_key_input() {
  if (settings_saved != 0) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
    settings_saved = 0;
    keys_raw = 0;
  }
  std::signal(SIGTSTP, SIG_DFL);
  std::signal(SIGCONT, SIG_DFL);
}

std::size_t read_key_bytes(char* buffer, std::size_t size, int timeout_ms) {
  if (keys_raw == 0) {
    ::usleep(static_cast<useconds_t>(timeout_ms) * 1000);
    return 0;
  }
  pollfd input = {STDIN_FILENO, POLLIN, 0};
  if (::poll(&input, 1, timeout_ms) <= 0 || (input.revents & POLLIN) == 0) {
    if ((input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      ::usleep(static_cast<useconds_t>(timeout_ms) * 1000);  // a closed terminal sends nothing more
    }
    return 0;
  }
  const ssize_t got = ::read(STDIN_FILENO, buffer, size);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void set_cursor_hidden(bool hidden) { cursor_hidden = hidden ? 1 : 0; }

TerminalSize terminal_size() {
  winsize size = {};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
    return {size.ws_col, size.ws_row};
  }
  return {80, 24};
}

void catch_stop_signals() {
  std::signal(SIGINT, on_stop);
  std::signal(SIGTERM, on_stop);
  std::signal(SIGHUP, on_stop);
  // A reader of standard output that goes away (xmplay *.xm | head -1)
  // leaves writes failing rather than ending the program with the
  // terminal raw.
  std::signal(SIGPIPE, SIG_IGN);
  for (const int fatal : {SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    std::signal(fatal, on_fatal);
  }
}

int stop_signal() { return stopping_signal.load(); }
