// What the SDL backend's files share. Main thread only, except where noted.
#pragma once

#include <SDL.h>

// The window that CreateWindowExA made, or null.
extern SDL_Window* sdl_window;
// The window manager asked to close the window (Alt+F4 and the like): from
// then on the keyboard reports Escape held down.
extern bool close_requested;
// Counts how often the window lost the keyboard focus; a device acquired
// before the last loss has lost its input.
extern unsigned focus_losses;

// Starts SDL's video subsystem once; false when there is no display.
bool start_video();
// Handles the window's pending events.
void pump_events();
// True while the window has the keyboard focus.
bool window_has_focus();

// The window as the display mode shows it: borderless over the whole
// screen, or as a resizable window with a title bar (Alt+Enter switches).
void enter_full_screen();
void enter_window();
bool shown_in_window();
// Switches between the two while the display mode is set; otherwise nothing.
void toggle_full_screen();
// Whether the mouse is taken (while in full screen; a window never grabs it).
void set_mouse_grab(bool grabbed);
