// Whole-frame passes that mix the scenes' layers.
#include "fx2d/fx2d.h"
#include "shell/shell.h"

void fill_frame(std::uint32_t pattern) {
  const auto low = static_cast<std::uint16_t>(pattern);
  const auto high = static_cast<std::uint16_t>(pattern >> 16);
  for (std::uint32_t i = 0; i < screen_pixels; i += 2) {
    frame_buffer[i] = low;
    frame_buffer[i + 1] = high;
  }
}
