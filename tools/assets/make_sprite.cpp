// Writes the glow sprite and its palette. The sprite is a soft round glow in
// the top-left 64 x 42 pixels of a 320 x 200 picture (every other byte 0): a
// bright core in a wide halo, round on the 4:3 screen (1.2 times wider in
// pixels than tall), falling to index 0 before the block's edge so that the
// block's border leaves the frame unchanged. Sprites are added onto the
// frame with saturation, often dozens over one pixel, so the colours stay
// moderate: the palette runs from black through deep violet and blue to a
// pale cyan white at index 255, brightness growing with the index.
//
// Usage: make_sprite OUTPUT_DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "asset_io.h"

namespace {

using asset_io::Rgb6;

constexpr int sprite_w = 64;
constexpr int sprite_h = 42;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sprite OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];

  // Radius in rows; the glow ends one row inside the block.
  const double ry = sprite_h / 2.0 - 1.0;
  const double rx = ry * asset_io::pixel_aspect;
  std::vector<std::uint8_t> picture(asset_io::picture_bytes, 0);
  for (int y = 0; y < sprite_h; ++y) {
    for (int x = 0; x < sprite_w; ++x) {
      const double dx = (x + 0.5 - sprite_w / 2.0) / rx;
      const double dy = (y + 0.5 - sprite_h / 2.0) / ry;
      const double d = std::sqrt(dx * dx + dy * dy);  // 1 at the glow's edge
      if (d >= 1.0) {
        continue;
      }
      // A halo that reaches zero smoothly at the edge, and a core.
      const double halo = std::pow(1.0 - d * d, 2.0);
      const double core = std::exp(-d * d / 0.04);
      const double glow = 0.62 * halo + 0.38 * core;
      const long index = std::lround(glow * 255.0);
      picture[y * asset_io::screen_w + x] = static_cast<std::uint8_t>(index < 0 ? 0 : (index > 255 ? 255 : index));
    }
  }

  std::vector<Rgb6> colours(256);
  for (int i = 0; i < 256; ++i) {
    const double t = i / 255.0;
    // Hue from violet at the rim to cyan white in the core; brightness
    // rises a little faster than the index so the rim stays faint.
    const double level = std::pow(t, 1.4);
    const Rgb6 rim = {34, 14, 63};
    const Rgb6 core = {44, 60, 63};
    const Rgb6 hue = asset_io::mix(rim, core, std::pow(t, 1.5));
    colours[i] = asset_io::rgb6(hue.r * level * 0.85, hue.g * level * 0.85, hue.b * level * 0.85);
  }
  colours[0] = {0, 0, 0};

  bool ok = asset_io::write_file(dir + "/sprite_picture.bin", picture);
  ok = asset_io::write_file(dir + "/sprite_palette.pal", asset_io::palette_bytes(colours)) && ok;
  return ok ? 0 : 1;
}
