// The tables of fixed values in the block: the sine table, the sync tables,
// the object's record and lists, and the tunnel mapping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "asset_test_data.h"
#include "assets/assets.h"

namespace {

using asset_test::tunnel_entry;

TEST(SineTable, QuarterPointsAndEveryEntry) {
  EXPECT_EQ(sine_table[0], 127);
  EXPECT_EQ(sine_table[64], 254);
  EXPECT_EQ(sine_table[128], 127);
  EXPECT_EQ(sine_table[192], 0);
  for (int i = 0; i < 256; ++i) {
    const double exact = 127.0 + 127.0 * std::sin(2.0 * M_PI * i / 256.0);
    EXPECT_LE(std::fabs(sine_table[i] - exact), 0.5) << "entry " << i;
  }
}

TEST(SyncTables, PositionsOfTheFlashesPulsesAndSwaps) {
  const std::uint32_t flashes[10] = {0x0404, 0x0414, 0x0424, 0x042C, 0x0434, 0x0437, 0x0439, 0x043C, 0x043E, 0x043F};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(read_le32(object_flash_positions + 4 * i), flashes[i]) << i;
  }
  const std::uint32_t pulses[9] = {0x0500, 0x051D, 0x0520, 0x0600, 0x061D, 0x0620, 0x0700, 0x071D, 0x0720};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(read_le32(object_pulse_positions + 4 * i), pulses[i]) << i;
  }
  const std::uint32_t rows[15] = {0x04, 0x09, 0x0C, 0x14, 0x19, 0x1C, 0x24, 0x27,
                                  0x29, 0x2C, 0x3C, 0x39, 0x3C, 0x3E, 0x3F};
  for (int order = 0; order < 4; ++order) {
    for (int r = 0; r < 15; ++r) {
      EXPECT_EQ(read_le32(picture_swap_positions + 4 * (15 * order + r)), (0x0Eu + order) << 8 | rows[r]);
    }
  }
  EXPECT_EQ(read_le32(picture_swap_positions), 0x0E04u);
  EXPECT_EQ(read_le32(picture_swap_positions + 236), 0x113Fu);
}

TEST(DemoObject, RecordHoldsBlockOffsetsOfItsLists) {
  const std::uint32_t vertices_at = read_le32(stored_demo_object);
  const std::uint32_t faces_at = read_le32(stored_demo_object + 4);
  EXPECT_EQ(vertices_at, demo_object_offset + 8);
  EXPECT_EQ(faces_at, demo_object_offset + 8 + 42 * 12);
  EXPECT_EQ(faces_at + 80 * 12, demo_object_offset + demo_object_bytes);

  float first[3];
  std::memcpy(first, asset_block + vertices_at, sizeof first);
  EXPECT_FLOAT_EQ(first[0], -1.986755f);
  EXPECT_FLOAT_EQ(first[1], -82.80001f);
  EXPECT_FLOAT_EQ(first[2], -2.649014f);

  // Outer vertices at radius 82.8 around the centre, inner ones at 43.53.
  for (int v = 0; v < 42; ++v) {
    float p[3];
    std::memcpy(p, asset_block + vertices_at + 12 * v, sizeof p);
    const double dx = p[0] + 1.986755, dy = p[1], dz = p[2] + 2.649007;
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), v < 30 ? 82.8 : 43.53, 0.01) << "vertex " << v;
  }
  // Every face names three distinct vertices; each inner vertex is the
  // first corner of five faces.
  int around_inner[42] = {};
  for (int f = 0; f < 80; ++f) {
    const std::uint32_t a = read_le32(asset_block + faces_at + 12 * f);
    const std::uint32_t b = read_le32(asset_block + faces_at + 12 * f + 4);
    const std::uint32_t c = read_le32(asset_block + faces_at + 12 * f + 8);
    EXPECT_LT(a, 42u);
    EXPECT_LT(b, 42u);
    EXPECT_LT(c, 42u);
    EXPECT_TRUE(a != b && b != c && a != c) << "face " << f;
    ++around_inner[a];
  }
  for (int v = 30; v < 42; ++v) {
    EXPECT_EQ(around_inner[v], 5) << "inner vertex " << v;
  }
}

TEST(TunnelOffsets, HighByteIsTheAngleRoundTheCentre) {
  // Straight below, to the right, above and to the left of (160, 100).
  EXPECT_EQ(tunnel_entry(160, 180) >> 8, 0);
  EXPECT_EQ(tunnel_entry(300, 100) >> 8, 64);
  EXPECT_EQ(tunnel_entry(160, 10) >> 8, 128);
  EXPECT_EQ(tunnel_entry(10, 100) >> 8, 192);
  // Turning from below towards the right the angle grows.
  EXPECT_GT(tunnel_entry(250, 190) >> 8, tunnel_entry(200, 199) >> 8);
  EXPECT_LT(tunnel_entry(250, 190) >> 8, 64);
}

TEST(TunnelOffsets, LowByteGrowsWithTheDistanceAndWraps) {
  // Along each of the four rays from the centre outwards, every step moves
  // the low byte forwards (modulo 256), by less than half a turn.
  const int rays[4][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
  for (const auto& ray : rays) {
    int wraps = 0;
    std::uint32_t previous = tunnel_entry(160 + 12 * ray[0], 100 + 12 * ray[1]) & 0xFF;
    for (int step = 13;; ++step) {
      const int x = 160 + step * ray[0], y = 100 + step * ray[1];
      if (x < 0 || x > 319 || y < 0 || y > 199) break;
      const std::uint32_t low = tunnel_entry(x, y) & 0xFF;
      const std::uint32_t forward = (low - previous) & 0xFF;
      EXPECT_LT(forward, 128u) << "at (" << x << ", " << y << ")";
      if (low < previous) ++wraps;
      previous = low;
    }
    EXPECT_GE(wraps, 1) << "the depth wraps at least once between radius 12 and the edge";
  }
  // The same distance gives the same depth in every direction.
  EXPECT_EQ(tunnel_entry(160 + 100, 100) & 0xFF, tunnel_entry(159 - 100, 100) & 0xFF);
}

}  // namespace
