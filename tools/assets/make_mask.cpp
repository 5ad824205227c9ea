// Writes the dissolve mask of the fade. As the fade's level falls from 255
// to 81, a pixel under mask value m darkens once the level drops below
// 256 - m, so the small values go first and 174 last; 0 and 175..255 never
// darken, and the level stops at 81, where each pixel is darkened by
// 175 - m. The pattern: darkness creeps in from the corners and edges along
// five spiral arms that turn round the centre, and reaches the middle of the
// screen, where the object circles, last and least. An ordered dither of
// 4 x 4 pixels breaks the front into a fine crunchy edge.
//
// Usage: make_mask OUTPUT_DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "asset_io.h"

namespace {

// The 4 x 4 Bayer matrix, values 0..15.
constexpr int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_mask OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];

  std::vector<std::uint8_t> mask(asset_io::picture_bytes);
  // The corner's distance from the centre, in 4:3 screen units.
  const double corner = std::hypot(160.0, 100.0 * asset_io::pixel_aspect);
  for (int y = 0; y < asset_io::screen_h; ++y) {
    for (int x = 0; x < asset_io::screen_w; ++x) {
      const double dx = x + 0.5 - 160.0;
      const double dy = (y + 0.5 - 100.0) * asset_io::pixel_aspect;
      const double r = std::hypot(dx, dy) / corner;  // 0 at the centre, 1 in the corners
      const double angle = std::atan2(dy, dx);
      // 0 darkens first, 1 last.
      const double arms = 0.5 + 0.5 * std::sin(5.0 * angle + 9.0 * r);
      const double dither = (bayer[y & 3][x & 3] + 0.5) / 16.0 - 0.5;
      const double order = 0.62 * (1.0 - r) + 0.38 * arms + 0.08 * dither;
      // Most of the screen takes the small values, so that the darkness
      // covers it well before the level stops, and the arms stay bright.
      const double t = std::pow(asset_io::clamp01(order), 1.7);
      mask[y * asset_io::screen_w + x] = static_cast<std::uint8_t>(1 + std::lround(t * 173.0));
    }
  }
  return asset_io::write_file(dir + "/mask_picture.bin", mask) ? 0 : 1;
}
