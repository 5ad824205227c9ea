#include "synthetic_assets.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "assets/assets.h"

namespace {

constexpr double pi = 3.14159265358979323846;

std::uint8_t clamp_byte(double x, double top) { return static_cast<std::uint8_t>(x < 0 ? 0 : x > top ? top : x); }

void write_palette(std::uint32_t offset, double phase) {
  for (int i = 0; i < 256; ++i) {
    const double t = i / 255.0;
    asset_block[offset + 3 * i] = clamp_byte(63 * (0.5 + 0.5 * std::sin(2 * pi * t + phase)), 63);          // blue
    asset_block[offset + 3 * i + 1] = clamp_byte(63 * (0.5 + 0.5 * std::sin(2 * pi * t + phase + 2)), 63);  // green
    asset_block[offset + 3 * i + 2] = clamp_byte(63 * t, 63);                                               // red
  }
}

}  // namespace

void write_synthetic_assets() {
  write_palette(warp_palette_offset, 0.0);
  write_palette(font_palette_offset, 1.0);
  write_palette(sprite_palette_offset, 2.0);

  // A texture of rings and a checker, the same 65536 bytes twice.
  std::uint8_t* texture = asset_block + warp_texture_offset;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const double rings = 0.5 + 0.5 * std::sin(std::hypot(x - 128, y - 128) / 6.0);
      const int checker = ((x >> 5) ^ (y >> 5)) & 1;
      texture[y * 256 + x] = static_cast<std::uint8_t>(rings * 160 + checker * 90);
    }
  }
  std::memcpy(texture + 65536, texture, 65536);

  // Tunnel: high byte the angle round the centre (0 below, 64 right, 128
  // above, 192 left), low byte a depth that grows with the distance.
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) {
      const double dx = x - 160 + 0.5, dy = y - 100 + 0.5;
      const double angle = std::atan2(dx, dy) / (2 * pi);  // 0 below, 0.25 right
      const auto high = static_cast<std::uint32_t>(std::lround((angle < 0 ? angle + 1 : angle) * 256)) & 0xFF;
      const auto low = static_cast<std::uint32_t>(std::lround(std::hypot(dx, dy) * 1.6)) & 0xFF;
      const std::uint32_t offset = high << 8 | low;
      const std::uint32_t i = static_cast<std::uint32_t>(y * 320 + x);
      asset_block[tunnel_offsets_offset + 2 * i] = static_cast<std::uint8_t>(offset);
      asset_block[tunnel_offsets_offset + 2 * i + 1] = static_cast<std::uint8_t>(offset >> 8);
    }
  }

  // Pictures: blobs and stripes in 8-bit values; the mask rises outwards.
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) {
      const std::uint32_t i = static_cast<std::uint32_t>(y * 320 + x);
      const double r = std::hypot(x - 160, y - 100);
      asset_block[mask_picture_offset + i] = clamp_byte(1 + r * 1.3, 255);
      asset_block[opening_picture_offset + i] = clamp_byte(255 * (0.5 + 0.5 * std::cos(r / 9.0)) * (1 - r / 200), 255);
      asset_block[alternating_picture_1_offset + i] = static_cast<std::uint8_t>(((x / 20 + y / 20) & 1) ? 230 : 20);
      asset_block[alternating_picture_2_offset + i] = clamp_byte(255 - r * 1.5, 255);
      asset_block[end_picture_offset + i] =
          (std::abs(x - 160) < 60 && std::abs(y - 100) < 30) ? static_cast<std::uint8_t>(x) : 0;
    }
  }

  // Module-like bytes after the sine table: a text header, then sample-ish data.
  std::uint32_t seed = 12345;
  for (std::uint32_t k = 0; k < 200000; ++k) {
    seed = seed * 1103515245u + 12345u;
    asset_block[embedded_module_offset + k] = static_cast<std::uint8_t>(seed >> 24);
  }
  std::memcpy(asset_block + embedded_module_offset, "Extended Module: ", 17);
}
