// Writes the warp texture and its palette: a 256 x 256 field of raised,
// bevelled tiles in two colour families laid out as a checkerboard, each
// tile carrying a round boss or a diamond, lit from the top left. The plane
// warp and both tunnels show it, so it must tile seamlessly in both
// directions: the tiles are 32 texels, a whole fraction of 256, and every
// slower variation is periodic in 256.
//
// Palette: indices 0..127 are the cool family (black, deep blue, cyan,
// white), 128..255 the warm one (black, purple, magenta, orange, pale
// yellow), each a ramp of 128 brightness steps.
//
// Usage: make_texture OUTPUT_DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "asset_io.h"

namespace {

using asset_io::clamp01;
using asset_io::Rgb6;
using asset_io::smoothstep;

constexpr int size = 256;
constexpr int tile = 32;

// A ramp through colour stops at even spacing, t in 0..1.
Rgb6 ramp(const std::vector<Rgb6>& stops, double t) {
  const double scaled = clamp01(t) * static_cast<double>(stops.size() - 1);
  const std::size_t i = std::min(stops.size() - 2, static_cast<std::size_t>(scaled));
  return asset_io::mix(stops[i], stops[i + 1], scaled - static_cast<double>(i));
}

// The height of the tile relief at a texel offset (lx, ly) from the tile's
// centre, in texels: a raised rounded square with bevelled edges, and on it
// a boss (round) or a diamond, depending on the tile.
double relief(double lx, double ly, bool round_boss) {
  // Rounded square: half side 13, corner radius 5.
  const double half = 13.0, corner = 5.0;
  const double qx = std::fabs(lx) - (half - corner), qy = std::fabs(ly) - (half - corner);
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - corner;
  // Bevel of 3 texels up to a plateau of height 3.
  double h = 3.0 * smoothstep(0.5, -2.5, outside);
  // The emblem: a ring-shaped groove with a dome inside, or a raised
  // diamond with a groove round it.
  const double r = round_boss ? std::hypot(lx, ly) : std::fabs(lx) + std::fabs(ly);
  const double emblem = round_boss ? 7.0 : 8.5;
  const double groove = 1.6 * std::exp(-std::pow((r - emblem - 1.5) / 1.1, 2.0));
  const double dome = 2.2 * std::pow(clamp01(1.0 - r / emblem), 0.6);
  h += dome - groove;
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_texture OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];

  std::vector<std::uint8_t> texture(size * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const int tx = x / tile, ty = y / tile;
      const bool warm = ((tx + ty) & 1) != 0;
      const bool round_boss = ((tx / 2 + ty / 2) & 1) == 0;
      const double lx = (x % tile) - tile / 2 + 0.5, ly = (y % tile) - tile / 2 + 0.5;
      // Surface normal from the relief's slopes; light from the top left
      // and slightly in front.
      const double e = 0.5;
      const double dhx = (relief(lx + e, ly, round_boss) - relief(lx - e, ly, round_boss)) / (2 * e);
      const double dhy = (relief(lx, ly + e, round_boss) - relief(lx, ly - e, round_boss)) / (2 * e);
      const double nx = -dhx, ny = -dhy, nz = 1.0;
      const double n = std::sqrt(nx * nx + ny * ny + nz * nz);
      const double lxl = -0.55, lyl = -0.55, lzl = 0.63;
      const double diffuse = std::max(0.0, (nx * lxl + ny * lyl + nz * lzl) / n);
      const double h = relief(lx, ly, round_boss);
      // The gaps between tiles are dark; the plateau a little brighter than
      // its bevels' average; a slow wave across the texture (period 256)
      // keeps the repetition from looking flat.
      const double base = 0.10 + 0.05 * h;
      const double wave =
          0.08 * std::sin(2 * M_PI * (x + 2 * y) / size) + 0.06 * std::cos(2 * M_PI * (3 * x - y) / size);
      const double specular = std::pow(diffuse, 12.0) * 0.30;
      const double light = clamp01((base + 0.52 * diffuse + wave) * smoothstep(-0.2, 0.6, h) + specular);
      const int shade = static_cast<int>(std::lround(light * 127.0));
      texture[y * size + x] = static_cast<std::uint8_t>((warm ? 128 : 0) + shade);
    }
  }

  const std::vector<Rgb6> cool = {{0, 0, 0}, {2, 4, 20}, {6, 18, 44}, {14, 44, 58}, {40, 60, 63}, {63, 63, 63}};
  const std::vector<Rgb6> hot = {{0, 0, 0}, {18, 2, 22}, {44, 6, 36}, {60, 24, 18}, {63, 48, 12}, {63, 63, 44}};
  std::vector<Rgb6> colours(256);
  for (int i = 0; i < 128; ++i) {
    colours[i] = ramp(cool, i / 127.0);
    colours[128 + i] = ramp(hot, i / 127.0);
  }

  bool ok = asset_io::write_file(dir + "/warp_texture.bin", texture);
  ok = asset_io::write_file(dir + "/warp_palette.pal", asset_io::palette_bytes(colours)) && ok;
  return ok ? 0 : 1;
}
