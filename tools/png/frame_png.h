// Writes RGB565 frames as PNG files: at their own size, scaled by whole
// factors, or the way a 4:3 display shows them.
#pragma once

#include <cstdint>
#include <string>

// Writes a width x height RGB565 image scaled by whole factors across and
// down (nearest neighbour); true on success.
bool write_png_565(const std::string& path, const std::uint16_t* pixels, int width, int height, int scale_x,
                   int scale_y);

// A 320 x 200 frame as seen on a 4:3 display: 640 x 480, each pixel two
// columns wide and 2.4 rows tall on average.
bool write_screen_png(const std::string& path, const std::uint16_t* frame);

// A 320 x 200 frame at its own size.
inline bool write_frame_png(const std::string& path, const std::uint16_t* frame) {
  return write_png_565(path, frame, 320, 200, 1, 1);
}
