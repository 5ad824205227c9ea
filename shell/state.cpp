// The shell's state that other parts of the program read.
#include "shell/shell.h"

HINSTANCE app_instance = nullptr;
int show_command = 0;
HWND main_window = nullptr;
const char app_title[] = "VORNA Z-PLORAN V2.2";

std::uint16_t* frame_buffer = nullptr;
std::uint32_t frame_bytes = 0;
std::uint32_t row_offset[max_frame_rows] = {};

std::uint32_t key_state[256] = {};
