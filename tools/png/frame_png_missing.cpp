// Where the PNG library is missing (the WebAssembly build), writing a PNG
// file fails, and the programs say so.
#include "tools/png/frame_png.h"

bool write_png_565(const std::string&, const std::uint16_t*, int, int, int, int) { return false; }

bool write_screen_png(const std::string&, const std::uint16_t*) { return false; }
