// The one application window, the hidden pointer and fatal errors.
//
// The window is never drawn into: the display covers the whole screen. The
// main thread runs no message loop, so the window procedure only sees the
// messages that are sent to the window directly.
#include <windows.h>

#include "shell/shell.h"

LRESULT CALLBACK app_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return DefWindowProcA(window, message, wparam, lparam);
    case WM_SETCURSOR:
      // Answered without default processing, so that no pointer shape is
      // ever set over the window.
      return TRUE;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

void create_app_window() {
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof(WNDCLASSEXA);
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = app_window_proc;
  window_class.cbClsExtra = 0;
  window_class.cbWndExtra = 0;
  window_class.hInstance = app_instance;
  window_class.hIcon = nullptr;
  window_class.hCursor = nullptr;  // no class cursor
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszMenuName = nullptr;
  window_class.lpszClassName = app_title;
  window_class.hIconSm = nullptr;
  RegisterClassExA(&window_class);

  // A tiny popup at (10, 10); the full-screen display then covers it.
  main_window =
      CreateWindowExA(0, app_title, nullptr, WS_POPUPWINDOW, 10, 10, 31, 31, nullptr, nullptr, app_instance, nullptr);
  ShowWindow(main_window, show_command);
  UpdateWindow(main_window);
  SetFocus(main_window);
  ShowCursor(FALSE);
}

void show_error_box(const char* text) {
  ShowCursor(TRUE);  // so that the pointer is usable in the box
  MessageBoxA(nullptr, text, app_title, MB_OK);
}

void fatal_error(const char* text) {
  show_error_box(text);
  // The exit code is 0 for errors as for a normal end. Nothing is released
  // first: the process exit frees it all.
  ExitProcess(0);
}

void request_quit() {
  PostMessageA(main_window, WM_CLOSE, 0, 0);
  PostQuitMessage(0);
}
