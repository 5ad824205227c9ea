// vorna-display-check: exits 0 when SDL can open a display the demo would
// show on, otherwise prints why and exits 1. scripts/run.sh asks it before
// starting the demo, which on a display it cannot open could only say
// "Sorry, I can't init DirectDraw" and end.
//
// The test is the backend's own (start_video in events.cpp): the video
// subsystem starts, and on a driver that really shows something; the
// offscreen and dummy drivers, which SDL falls back to without a display,
// count only when asked for by name.
#include <SDL.h>

#include <cstdio>

int main(int, char**) {
  const char* display = SDL_getenv("DISPLAY");
  const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::printf("SDL could not open a display%s%s%s (%s)\n", display != nullptr ? " at DISPLAY=" : "",
                display != nullptr ? display : "", wayland != nullptr ? " or WAYLAND_DISPLAY" : "", SDL_GetError());
    return 1;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && (asked == nullptr || asked[0] == '\0') &&
      (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0)) {
    std::printf("SDL found no display to show on%s%s (only its '%s' video driver started)\n",
                display != nullptr ? " at DISPLAY=" : "", display != nullptr ? display : "", driver);
    SDL_Quit();
    return 1;
  }
  SDL_Quit();
  return 0;
}
