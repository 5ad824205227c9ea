// Conversion of the stored 6-bit palettes into RGB565 tables.
#include "assets/assets.h"
#include "fx2d/fx2d.h"

void convert_palette(const std::uint8_t* source, std::uint16_t* destination) {
  for (std::uint32_t i = 0; i < palette_entries; ++i) {
    const std::uint32_t e0 = source[3 * i];
    const std::uint32_t e1 = source[3 * i + 1];
    const std::uint32_t e2 = source[3 * i + 2];
    // Written as bit operations that are exact for any byte: for 6-bit
    // components this is (e2 >> 1) << 11 | e1 << 5 | e0 >> 1.
    const std::uint32_t red = ((e2 * 4) & 0xF8u) << 8;
    const std::uint32_t green = e1 << 5;
    const std::uint32_t blue = (e0 >> 1) & 0x1Fu;
    destination[i] = static_cast<std::uint16_t>(red | green | blue);
  }
}

void convert_font_and_sprite_palettes() {
  convert_palette(font_palette, font_colours);
  convert_palette(sprite_palette, sprite_colours);
}
