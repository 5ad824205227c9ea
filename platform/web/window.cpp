// The window, the pointer, message boxes and the process exit in a web page.
//
// The window is the page's canvas: its class name becomes the page's title,
// showing it reveals the canvas. A message box is shown in the page, and
// the program waits until the user closes it. Everything that touches the
// page runs there, proxied from the program's thread.
#include <emscripten/emscripten.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "web/web_state.h"

namespace {

HWND__ the_window = {};
int the_brush = 0;
std::string class_name;
int cursor_counter = 0;  // ShowCursor's display counter, as the system keeps it
bool window_made = false;

}  // namespace

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* window_class) {
  class_name = window_class->lpszClassName != nullptr ? window_class->lpszClassName : "";
  return 1;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR, LPCSTR window_name, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE,
                            LPVOID) {
  // A window without a title shows its class name, as a task list would.
  const std::string title = window_name != nullptr ? window_name : class_name;
  const int has_page = MAIN_THREAD_EM_ASM_INT(
      { return Module.vornaPage ? Module.vornaPage.createWindow(UTF8ToString($0)) : 0; }, title.c_str());
  if (has_page == 0) {
    return nullptr;
  }
  window_made = true;
  return &the_window;
}

BOOL WINAPI ShowWindow(HWND window, int show) {
  if (window != &the_window || !window_made) {
    return FALSE;
  }
  return MAIN_THREAD_EM_ASM_INT({ return Module.vornaPage.showWindow($0 != 0); }, show != SW_HIDE ? 1 : 0);
}

BOOL WINAPI UpdateWindow(HWND) { return TRUE; }

HWND WINAPI SetFocus(HWND window) {
  if (window == &the_window && window_made) {
    MAIN_THREAD_ASYNC_EM_ASM({ Module.vornaPage.focusWindow(); });
  }
  return window;
}

int WINAPI ShowCursor(BOOL show) {
  cursor_counter += show ? 1 : -1;
  web_shared.cursor_shown.store(cursor_counter >= 0 ? 1 : 0);
  MAIN_THREAD_ASYNC_EM_ASM({
    if (Module.vornaPage) Module.vornaPage.cursorChanged();
  });
  return cursor_counter;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  const char* shown_text = text != nullptr ? text : "";
  const char* shown_caption = caption != nullptr ? caption : "";
  std::fprintf(stderr, "%s: %s\n", shown_caption, shown_text);
  web_shared.box_closed.store(0);
  const int shown = MAIN_THREAD_EM_ASM_INT(
      { return Module.vornaPage ? Module.vornaPage.messageBox(UTF8ToString($0), UTF8ToString($1)) : 0; }, shown_caption,
      shown_text);
  // Returns when the user has closed the box.
  while (shown != 0 && web_shared.box_closed.load() == 0) {
    wait_while_equal(web_shared.box_closed, 0, 1000.0);
  }
  return IDOK;
}

BOOL WINAPI PostMessageA(HWND, UINT, WPARAM, LPARAM) { return TRUE; }

void WINAPI PostQuitMessage(int) {}

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

HGDIOBJ WINAPI GetStockObject(int) { return &the_brush; }

void WINAPI ExitProcess(UINT exit_code) {
  std::fflush(nullptr);
  // Like the system call: the program ends now, with its threads.
  emscripten_force_exit(static_cast<int>(exit_code));
  __builtin_unreachable();
}
