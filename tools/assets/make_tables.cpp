// Writes the asset files whose content is fixed data rather than artwork:
// the sine table, the three sync tables, the 3D object and the tunnel
// mapping.
//
// Usage: make_tables OUTPUT_DIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "asset_io.h"

namespace {

struct Vertex {
  float x, y, z;
};

// The object: 30 vertices on a sphere of radius 82.8 around
// (-1.987, 0, -2.649) and 12 at radius 43.53, one at the bottom of each of
// twelve five-sided pits.
const Vertex object_vertices[42] = {{-1.986755f, -82.80001f, -2.649014f},   {39.413246f, 25.586607f, 64.337616f},
                                    {-68.973366f, -41.40001f, 22.937601f},  {64.999855f, -41.40001f, 22.937601f},
                                    {-43.386757f, 25.586607f, 64.337616f},  {-43.386757f, 25.586618f, -69.63562f},
                                    {64.999855f, -41.400005f, -28.235622f}, {-68.973366f, -41.400005f, -28.235622f},
                                    {39.413246f, 25.586618f, -69.63562f},   {-27.573364f, 66.986626f, -44.049007f},
                                    {80.81325f, 0.0f, -2.649007f},          {-27.573364f, 66.98662f, 38.751007f},
                                    {-1.986755f, -7e-06f, 80.15101f},       {-68.973366f, 41.40001f, -28.235615f},
                                    {-27.573364f, -66.98662f, 38.750996f},  {-27.573364f, -66.98662f, -44.04902f},
                                    {39.413246f, -25.586618f, 64.33761f},   {39.413246f, -25.586607f, -69.63563f},
                                    {64.999855f, 41.40001f, -28.235615f},   {-43.386757f, -25.586607f, -69.63563f},
                                    {-1.986755f, 82.80001f, -2.648999f},    {-68.973366f, 41.400005f, 22.937609f},
                                    {64.999855f, 41.400005f, 22.937609f},   {-43.386757f, -25.586618f, 64.33761f},
                                    {23.599854f, -66.98662f, 38.750996f},   {-84.78676f, 0.0f, -2.649007f},
                                    {23.599854f, -66.98662f, -44.04902f},   {-1.986755f, 7e-06f, -85.44902f},
                                    {23.599854f, 66.986626f, -44.049007f},  {23.599854f, 66.98662f, 38.751007f},
                                    {-1.986755f, -22.885365f, 34.38028f},   {-1.986755f, -22.885359f, -39.6783f},
                                    {20.898603f, 37.02929f, -2.649004f},    {-39.01604f, -2e-06f, 20.236355f},
                                    {20.898603f, -37.02929f, -2.64901f},    {-1.986755f, 22.885365f, -39.678295f},
                                    {-1.986755f, 22.885359f, 34.380283f},   {-24.872114f, -37.02929f, -2.64901f},
                                    {35.04253f, 2e-06f, -25.534369f},       {-24.872114f, 37.02929f, -2.649004f},
                                    {35.04253f, -2e-06f, 20.236355f},       {-39.01604f, 2e-06f, -25.534369f}};

// The 20 triangles between outer vertices, then five faces around each of
// the twelve inner vertices, in drawing-list order.
const std::uint32_t object_faces[80][3] = {
    {0, 8, 1},    {1, 9, 2},    {2, 27, 3},   {3, 28, 4},   {4, 5, 0},    {5, 29, 6},   {6, 12, 7},   {7, 11, 8},
    {10, 15, 9},  {11, 14, 10}, {12, 18, 13}, {13, 17, 14}, {16, 21, 15}, {17, 20, 16}, {18, 24, 19}, {19, 23, 20},
    {22, 27, 21}, {23, 26, 22}, {24, 29, 25}, {25, 28, 26}, {30, 1, 2},   {30, 2, 3},   {30, 3, 4},   {30, 4, 0},
    {30, 0, 1},   {31, 5, 6},   {31, 6, 7},   {31, 7, 8},   {31, 8, 0},   {31, 0, 5},   {32, 8, 11},  {32, 11, 10},
    {32, 10, 9},  {32, 9, 1},   {32, 1, 8},   {33, 7, 12},  {33, 12, 13}, {33, 13, 14}, {33, 14, 11}, {33, 11, 7},
    {34, 14, 17}, {34, 17, 16}, {34, 16, 15}, {34, 15, 10}, {34, 10, 14}, {35, 13, 18}, {35, 18, 19}, {35, 19, 20},
    {35, 20, 17}, {35, 17, 13}, {36, 20, 23}, {36, 23, 22}, {36, 22, 21}, {36, 21, 16}, {36, 16, 20}, {37, 19, 24},
    {37, 24, 25}, {37, 25, 26}, {37, 26, 23}, {37, 23, 19}, {38, 26, 28}, {38, 28, 3},  {38, 3, 27},  {38, 27, 22},
    {38, 22, 26}, {39, 25, 29}, {39, 29, 5},  {39, 5, 4},   {39, 4, 28},  {39, 28, 25}, {40, 29, 24}, {40, 24, 18},
    {40, 18, 12}, {40, 12, 6},  {40, 6, 29},  {41, 2, 9},   {41, 9, 15},  {41, 15, 21}, {41, 21, 27}, {41, 27, 2}};

// Where the object record and its lists lie in the asset block.
constexpr std::uint32_t demo_object_offset = 1119083;
constexpr std::uint32_t object_record_bytes = 8;

std::vector<std::uint8_t> positions(const std::vector<std::uint32_t>& list) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t position : list) {
    asset_io::put32(out, position);
  }
  return out;
}

// The tunnel mapping, one 16-bit entry per frame pixel. High byte: the
// angle round the screen centre, 0 straight below, 64 to the right, 128
// above, 192 to the left. Low byte: depth along a tunnel of circular section
// seen from its axis, -4096 / r texels for a distance of r pixels (measured
// on the 4:3 screen, so rows count 1.2 times a column), which grows with r
// and wraps. With 4096 the texels are square at r = 100 (a circumference of
// 256 texels, 2 pi 100 pixels, against r^2 / 4096 pixels per texel of
// depth). Very close to the centre the depth is held at its value for r = 8,
// where the steps would otherwise be many texels a pixel.
std::vector<std::uint8_t> tunnel_mapping() {
  std::vector<std::uint8_t> out;
  out.reserve(128000);
  for (int y = 0; y < asset_io::screen_h; ++y) {
    for (int x = 0; x < asset_io::screen_w; ++x) {
      const double dx = x + 0.5 - 160.0;
      const double dy = (y + 0.5 - 100.0) * asset_io::pixel_aspect;
      const double r = std::max(8.0, std::sqrt(dx * dx + dy * dy));
      const long angle = std::lround(std::atan2(dx, dy) * 128.0 / M_PI);
      const long depth = std::lround(std::floor(-4096.0 / r));
      const std::uint16_t entry = static_cast<std::uint16_t>((static_cast<std::uint32_t>(angle) & 0xFF) << 8 |
                                                             (static_cast<std::uint32_t>(depth) & 0xFF));
      out.push_back(static_cast<std::uint8_t>(entry));
      out.push_back(static_cast<std::uint8_t>(entry >> 8));
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_tables OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];

  // Entry i = nearest(127 + 127 sin(2 pi i / 256)), halves to even.
  std::vector<std::uint8_t> sine(256);
  for (int i = 0; i < 256; ++i) {
    sine[i] = static_cast<std::uint8_t>(std::nearbyint(127.0 + 127.0 * std::sin(2.0 * M_PI * i / 256.0)));
  }

  // Song positions, (order << 8) | row: the object's flashes in scene 1,
  // its pulses, and the picture swaps of scene 7 (row 0x3C twice per order,
  // so that it swaps twice and shows no change).
  std::vector<std::uint32_t> flashes = {0x0404, 0x0414, 0x0424, 0x042C, 0x0434, 0x0437, 0x0439, 0x043C, 0x043E, 0x043F};
  std::vector<std::uint32_t> pulses = {0x0500, 0x051D, 0x0520, 0x0600, 0x061D, 0x0620, 0x0700, 0x071D, 0x0720};
  std::vector<std::uint32_t> swaps;
  const std::uint32_t swap_rows[15] = {0x04, 0x09, 0x0C, 0x14, 0x19, 0x1C, 0x24, 0x27,
                                       0x29, 0x2C, 0x3C, 0x39, 0x3C, 0x3E, 0x3F};
  for (std::uint32_t order = 0x0E; order <= 0x11; ++order) {
    for (std::uint32_t row : swap_rows) {
      swaps.push_back(order << 8 | row);
    }
  }

  // The object record holds the block offsets of its vertex and face lists;
  // the faces are stored as vertex indices.
  std::vector<std::uint8_t> object;
  const std::uint32_t vertices_at = demo_object_offset + object_record_bytes;
  asset_io::put32(object, vertices_at);
  asset_io::put32(object, vertices_at + 42 * 12);
  for (const Vertex& vertex : object_vertices) {
    asset_io::put_float(object, vertex.x);
    asset_io::put_float(object, vertex.y);
    asset_io::put_float(object, vertex.z);
  }
  for (const auto& face : object_faces) {
    for (std::uint32_t index : face) {
      asset_io::put32(object, index);
    }
  }

  bool ok = asset_io::write_file(dir + "/sine_table.bin", sine);
  ok = asset_io::write_file(dir + "/object_flash_positions.bin", positions(flashes)) && ok;
  ok = asset_io::write_file(dir + "/object_pulse_positions.bin", positions(pulses)) && ok;
  ok = asset_io::write_file(dir + "/picture_swap_positions.bin", positions(swaps)) && ok;
  ok = asset_io::write_file(dir + "/demo_object.bin", object) && ok;
  ok = asset_io::write_file(dir + "/tunnel_offsets.bin", tunnel_mapping()) && ok;
  return ok ? 0 : 1;
}
