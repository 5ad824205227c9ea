// The window, the pointer, message boxes and the process exit: nothing is
// shown, everything is recorded.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "headless/state.h"

namespace {

HWND__ the_window = {};
HINSTANCE__ the_brush = {};
int cursor_counter = 0;  // ShowCursor's display counter, as the system keeps it

std::string text_or_null(const char* text) { return text != nullptr ? std::string(text) : std::string("null"); }

}  // namespace

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* window_class) {
  log_call("RegisterClassExA(" + text_or_null(window_class->lpszClassName) + ", style " +
           std::to_string(window_class->style) + ", size " + std::to_string(window_class->cbSize) +
           (window_class->hCursor == nullptr ? ", no cursor" : ", cursor") + ")");
  return 1;
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y, int width,
                            int height, HWND, HMENU, HINSTANCE, LPVOID) {
  char flags[64];
  std::snprintf(flags, sizeof(flags), "%u, ", static_cast<unsigned>(ex_style));
  char geometry[96];
  std::snprintf(geometry, sizeof(geometry), ", 0x%08X, %d, %d, %d, %d)", static_cast<unsigned>(style), x, y, width,
                height);
  log_call("CreateWindowExA(" + std::string(flags) + text_or_null(class_name) + ", " + text_or_null(window_name) +
           geometry);
  return &the_window;
}

BOOL WINAPI ShowWindow(HWND, int show) {
  log_call("ShowWindow(" + std::to_string(show) + ")");
  return FALSE;
}

BOOL WINAPI UpdateWindow(HWND) {
  log_call("UpdateWindow");
  return TRUE;
}

HWND WINAPI SetFocus(HWND window) {
  log_call("SetFocus");
  return window;
}

int WINAPI ShowCursor(BOOL show) {
  cursor_counter += show ? 1 : -1;
  log_call(std::string("ShowCursor(") + (show ? "TRUE" : "FALSE") + ")");
  return cursor_counter;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  log_call("MessageBoxA(" + text_or_null(text) + ", " + text_or_null(caption) + ", " + std::to_string(type) + ")");
  log_message_box(text_or_null(text));
  // Where no one can press OK, the box goes to standard error.
  std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
  return IDOK;
}

BOOL WINAPI PostMessageA(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
  log_call("PostMessageA(" + std::to_string(message) + ", " + std::to_string(wparam) + ", " + std::to_string(lparam) +
           ")");
  return TRUE;
}

void WINAPI PostQuitMessage(int exit_code) { log_call("PostQuitMessage(" + std::to_string(exit_code) + ")"); }

LRESULT WINAPI DefWindowProcA(HWND, UINT message, WPARAM, LPARAM) {
  log_call("DefWindowProcA(" + std::to_string(message) + ")");
  return 0;
}

HGDIOBJ WINAPI GetStockObject(int object) {
  log_call("GetStockObject(" + std::to_string(object) + ")");
  return &the_brush;
}

void WINAPI ExitProcess(UINT exit_code) {
  log_call("ExitProcess(" + std::to_string(exit_code) + ")");
  if (script().exit_hook) {
    script().exit_hook(exit_code);
  }
  std::fflush(nullptr);
  // Like the system call: the process ends now, with its threads, and runs
  // no destructors that a running thread might still need.
  std::_Exit(static_cast<int>(exit_code));
}
