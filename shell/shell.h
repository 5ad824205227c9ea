// The platform shell: the application window and fatal errors, the
// full-screen display with the frame buffer, and keyboard input.
// Main thread only: the music thread never calls into the shell.
#pragma once

#include <windows.h>

#include <cstdint>

// --- Window and fatal errors ---------------------------------------------

extern HINSTANCE app_instance;  // the instance handle the entry point received
extern int show_command;        // the entry point's show command
extern HWND main_window;        // the window made by create_app_window
extern const char app_title[];  // "VORNA Z-PLORAN V2.2": class name and message-box caption

void create_app_window();
LRESULT CALLBACK app_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void show_error_box(const char* text);
[[noreturn]] void fatal_error(const char* text);
void request_quit();

// --- Display and frame presentation --------------------------------------

inline constexpr std::uint32_t screen_width = 320;
inline constexpr std::uint32_t screen_height = 200;
inline constexpr std::uint32_t screen_pixels = screen_width * screen_height;
// row_offset holds one entry per row for frame buffers up to this height.
inline constexpr std::uint32_t max_frame_rows = 1200;

// The off-screen image every effect draws into: rows of row_offset[1]
// bytes with no gap; for the 320 x 200 x 16 mode, RGB565 pixels
// (red bits 15-11, green 10-5, blue 4-0), 640-byte rows, 128000 bytes.
extern std::uint16_t* frame_buffer;
extern std::uint32_t frame_bytes;
extern std::uint32_t row_offset[max_frame_rows];  // byte offset of row y

void open_display();
void set_display_mode(std::uint32_t width, std::uint32_t height, std::uint32_t bits_per_pixel);
void alloc_frame_buffer(std::uint32_t width, std::uint32_t height, std::uint32_t bits_per_pixel);
void free_frame_buffer();
void* lock_back_buffer();
void unlock_back_buffer();
void show_back_buffer();
void present_frame();
void close_display();

// --- Keyboard and mouse input --------------------------------------------

// key_state[k] is 1 while the key with DirectInput code k is down, else 0,
// as of the last successful poll_keyboard.
extern std::uint32_t key_state[256];

BOOL open_input(HWND window);
void poll_keyboard();
