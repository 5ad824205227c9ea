// The window, the pointer, message boxes and the process exit on SDL.
//
// The window starts as the small popup the demo asks for; the display mode
// (display.cpp) turns it into a borderless full-screen window, and Alt+Enter
// into a resizable window with a title bar and back.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sdl/sdl_state.h"

namespace {

HWND__ the_window = {};
int the_brush = 0;
std::string class_name;
int cursor_counter = 0;  // ShowCursor's display counter, as the system keeps it
bool in_window = false;  // shown as a window rather than full screen
bool mouse_grab_wanted = false;
int window_width = 960;  // the window's size when last shown as one
int window_height = 720;

// The pointer shows in a window, where it is needed to move and size it,
// and in full screen only as ShowCursor says; the grab holds only in full
// screen, so that the pointer can leave a window.
void apply_pointer() {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
    return;
  }
  SDL_ShowCursor(in_window || cursor_counter >= 0 ? SDL_ENABLE : SDL_DISABLE);
  if (sdl_window != nullptr) {
    SDL_SetWindowGrab(sdl_window, mouse_grab_wanted && !in_window ? SDL_TRUE : SDL_FALSE);
  }
}

}  // namespace

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* window_class) {
  class_name = window_class->lpszClassName != nullptr ? window_class->lpszClassName : "";
  return 1;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR, LPCSTR window_name, DWORD, int x, int y, int width, int height, HWND, HMENU,
                            HINSTANCE, LPVOID) {
  if (!start_video()) {
    return nullptr;
  }
  // A window without a title shows its class name, as a task list would.
  std::string title = window_name != nullptr ? window_name : class_name;
  sdl_window = SDL_CreateWindow(title.c_str(), x, y, width, height, SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
  return sdl_window != nullptr ? &the_window : nullptr;
}

BOOL WINAPI ShowWindow(HWND window, int show) {
  if (window != &the_window || sdl_window == nullptr) {
    return FALSE;
  }
  BOOL was_visible = (SDL_GetWindowFlags(sdl_window) & SDL_WINDOW_SHOWN) != 0;
  if (show == SW_HIDE) {
    SDL_HideWindow(sdl_window);
  } else {
    SDL_ShowWindow(sdl_window);
    if (show == SW_SHOWMINIMIZED) {
      SDL_MinimizeWindow(sdl_window);
    }
  }
  return was_visible;
}

BOOL WINAPI UpdateWindow(HWND) { return TRUE; }

HWND WINAPI SetFocus(HWND window) {
  if (window == &the_window && sdl_window != nullptr) {
    SDL_RaiseWindow(sdl_window);
  }
  return window;
}

int WINAPI ShowCursor(BOOL show) {
  cursor_counter += show ? 1 : -1;
  apply_pointer();
  return cursor_counter;
}

void set_mouse_grab(bool grabbed) {
  mouse_grab_wanted = grabbed;
  apply_pointer();
}

void enter_full_screen() {
  if (sdl_window == nullptr) {
    return;
  }
  if (in_window) {
    SDL_GetWindowSize(sdl_window, &window_width, &window_height);
  }
  in_window = false;
  // Cover the desktop first: without a window manager, asking for full
  // screen alone leaves the window at its old size.
  SDL_DisplayMode desktop;
  if (SDL_GetDesktopDisplayMode(SDL_GetWindowDisplayIndex(sdl_window), &desktop) == 0) {
    SDL_SetWindowPosition(sdl_window, 0, 0);
    SDL_SetWindowSize(sdl_window, desktop.w, desktop.h);
  }
  SDL_SetWindowBordered(sdl_window, SDL_FALSE);
  SDL_SetWindowFullscreen(sdl_window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  SDL_ShowWindow(sdl_window);
  SDL_SetWindowPosition(sdl_window, 0, 0);
  apply_pointer();
}

void enter_window() {
  if (sdl_window == nullptr) {
    return;
  }
  in_window = true;
  SDL_SetWindowFullscreen(sdl_window, 0);
  SDL_SetWindowBordered(sdl_window, SDL_TRUE);
  SDL_SetWindowResizable(sdl_window, SDL_TRUE);
  SDL_SetWindowSize(sdl_window, window_width, window_height);
  SDL_SetWindowPosition(sdl_window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  SDL_ShowWindow(sdl_window);
  apply_pointer();
}

bool shown_in_window() { return in_window; }

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  const char* shown_text = text != nullptr ? text : "";
  const char* shown_caption = caption != nullptr ? caption : "";
  if (sdl_window != nullptr) {
    // The box must not sit behind a full-screen window.
    SDL_SetWindowFullscreen(sdl_window, 0);
    SDL_HideWindow(sdl_window);
  }
  if (!start_video() || SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, shown_caption, shown_text, nullptr) != 0) {
    std::fprintf(stderr, "%s: %s\n", shown_caption, shown_text);
  }
  return IDOK;
}

BOOL WINAPI PostMessageA(HWND, UINT, WPARAM, LPARAM) { return TRUE; }

void WINAPI PostQuitMessage(int) {}

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

HGDIOBJ WINAPI GetStockObject(int) { return &the_brush; }

void WINAPI ExitProcess(UINT exit_code) {
  std::fflush(nullptr);
  // Like the system call: the process ends now, with its threads, and runs
  // no destructors that a running thread might still need.
  std::_Exit(static_cast<int>(exit_code));
}
