// 2D effects and colour: palettes, the warp and tunnel effects, the noise and
// blur pass, the mask fade, cross-blends, fills and picture copies.
// Main thread only.
#pragma once

#include <cstdint>

// Fills frame_buffer: every pixel pair (2k, 2k + 1) gets the low and the
// high half of the 32-bit pattern (0xFFFFFFFF white, 0 black).
void fill_frame(std::uint32_t pattern);
