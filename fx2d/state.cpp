// The 2D effects' process-wide state, in one place. Main thread only; what
// each item holds is documented with its declaration in fx2d/fx2d.h.
#include "fx2d/fx2d.h"

Palette565 warp_colours = {};
Palette565 font_colours = {};
Palette565 sprite_colours = {};

// Aligned for the vector passes that read and write it whole.
alignas(64) std::uint16_t second_buffer[effect_pixels] = {};

std::uint16_t warp_scroll = 0;
std::uint16_t* warp_table = nullptr;

std::uint16_t noise_scroll = 0;
