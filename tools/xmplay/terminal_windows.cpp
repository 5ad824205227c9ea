#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "tools/xmplay/terminal.h"

namespace {

std::atomic<int> stopping_signal{0};
bool keys_on = false;
bool cursor_hidden = false;

void on_stop(int signal_number) { stopping_signal.store(signal_number); }

void restore_at_exit() {
  if (cursor_hidden) {
    std::fputs("\x1b[?25h", stdout);
    std::fflush(stdout);
  }
}

}  // namespace

// A module is binary: Windows would otherwise read standard input as text,
// turning CR LF into LF and ending it at the first Ctrl-Z, and write LF as
// CR LF into a WAV on standard output.
void prepare_standard_streams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(console, &mode) != 0) {
    SetConsoleMode(console, mode | 0x0004);  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
  }
  std::atexit(restore_at_exit);
}

bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }
bool stdin_is_terminal() { return _isatty(_fileno(stdin)) != 0; }

// The console gives keys without echo through _getch already.
bool begin_key_input() {
  keys_on = stdin_is_terminal();
  return keys_on;
}

void end_key_input() { keys_on = false; }

// _getch gives the arrows as 0 or 0xE0 and a scan code; they are passed on
// as the ANSI sequences the portable reader knows.
std::size_t read_key_bytes(char* buffer, std::size_t size, int timeout_ms) {
  const DWORD start = GetTickCount();
  while (keys_on && _kbhit() == 0) {
    if (static_cast<int>(GetTickCount() - start) >= timeout_ms) {
      return 0;
    }
    Sleep(10);
  }
  if (!keys_on) {
    Sleep(static_cast<DWORD>(timeout_ms));
    return 0;
  }
  std::size_t got = 0;
  while (_kbhit() != 0 && got + 3 <= size) {
    const int key = _getch();
    if (key == 0 || key == 0xE0) {
      const int scan = _getch();
      const char final_byte = scan == 72 ? 'A' : scan == 80 ? 'B' : scan == 77 ? 'C' : scan == 75 ? 'D' : 'Z';
      buffer[got++] = 0x1B;
      buffer[got++] = '[';
      buffer[got++] = final_byte;
    } else if (key == 3) {
      stopping_signal.store(SIGINT);
    } else {
      buffer[got++] = static_cast<char>(key);
    }
  }
  return got;
}

void set_cursor_hidden(bool hidden) { cursor_hidden = hidden; }

TerminalSize terminal_size() {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) != 0) {
    return {info.srWindow.Right - info.srWindow.Left + 1, info.srWindow.Bottom - info.srWindow.Top + 1};
  }
  return {80, 24};
}

void catch_stop_signals() {
  std::signal(SIGINT, on_stop);
  std::signal(SIGTERM, on_stop);
}

int stop_signal() { return stopping_signal.load(); }
