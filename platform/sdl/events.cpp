// SDL's video subsystem and the window's events.
#include "common/threads.h"
#include "sdl/sdl_state.h"

SDL_Window* sdl_window = nullptr;
bool close_requested = false;
unsigned focus_losses = 0;

bool start_video() {
  static bool no_display = false;  // tried once and failed: don't ask again
  if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
    return true;
  }
  if (no_display) {
    return false;
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    no_display = true;
    return false;
  }
  // Without a display SDL falls back to drivers that show nothing; unless
  // one was asked for by name, that counts as having no display.
  const char* driver = SDL_GetCurrentVideoDriver();
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && (asked == nullptr || asked[0] == '\0') &&
      (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    no_display = true;
    return false;
  }
  return true;
}

void pump_events() {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
    return;
  }
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) {
    if (event.type == SDL_QUIT) {
      close_requested = true;
    } else if (event.type == SDL_KEYDOWN && event.key.repeat == 0 && (event.key.keysym.mod & KMOD_ALT) != 0 &&
               (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER)) {
      toggle_full_screen();
    } else if (event.type == SDL_WINDOWEVENT) {
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
        close_requested = true;
      } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        ++focus_losses;
      }
    }
  }
}

bool window_has_focus() {
  return sdl_window != nullptr && (SDL_GetWindowFlags(sdl_window) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

// Threads run on the real clock: nothing to keep track of.
void backend_thread_created() {}
void backend_thread_started() {}
void backend_thread_exiting() {}
