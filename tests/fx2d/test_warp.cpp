// The warp table, the wave warp and both tunnels.
#include <cstring>
#include <random>
#include <vector>

#include "fixture.h"
#include "plain_passes.h"
#include "support/child_run.h"

namespace {

class WarpTest : public Fx2dTest {
 protected:
  void SetUp() override {
    Fx2dTest::SetUp();
    build_warp_table();
    std::memcpy(saved_table_, warp_table, sizeof saved_table_);
  }
  void TearDown() override {
    std::memcpy(warp_table, saved_table_, sizeof saved_table_);
    Fx2dTest::TearDown();
  }

  std::uint16_t table(std::uint32_t row, std::uint32_t column) const { return warp_table[row * 320 + column]; }

  // A random texture stored twice, as in the block, and random colours.
  void random_texture_and_colours() {
    randomise(asset_block + warp_texture_offset, 65536);
    std::memcpy(asset_block + warp_texture_offset + 65536, asset_block + warp_texture_offset, 65536);
    randomise(warp_colours, palette_entries);
    convert_warp_texture();
  }

  // The whole block random, random colours, and the texture converted.
  void random_assets_and_colours() {
    randomise_assets();
    randomise(warp_colours, palette_entries);
    convert_warp_texture();
  }

  std::uint16_t saved_table_[effect_pixels] = {};
};

TEST_F(WarpTest, TableCornersAndHalvesRoundingToEven) {
  EXPECT_EQ(table(0, 0), 0x0000);
  EXPECT_EQ(table(0, 319), 0xFF00);
  EXPECT_EQ(table(199, 0), 0x00FF);
  EXPECT_EQ(table(199, 319), 0x8CFF);  // 651.96 -> 652, mod 256
  EXPECT_EQ(table(2, 8), 0x0603);      // 6.5 -> 6
  EXPECT_EQ(table(2, 24), 0x1403);     // 19.5 -> 20
}

TEST_F(WarpTest, TableMatchesThePlainBuildEverywhere) {
  std::vector<std::uint16_t> expected(effect_pixels);
  plain::build_warp_table(expected.data());
  EXPECT_EQ(first_difference(warp_table, expected.data()), -1);
  // Each row reads one texture row, from 0 at the top to 255 at the bottom.
  for (std::uint32_t r = 0; r < 200; ++r) {
    for (std::uint32_t c = 1; c < 320; ++c) ASSERT_EQ(table(r, c) & 0xFF, table(r, 0) & 0xFF) << r << "," << c;
  }
}

TEST_F(WarpTest, BuildingAgainKeepsTheBlockAndConvertsThePalette) {
  std::uint16_t* const first = warp_table;
  randomise(asset_block + warp_palette_offset, palette_bytes);
  build_warp_table();
  EXPECT_EQ(warp_table, first);
  std::uint16_t expected[palette_entries];
  plain::convert_palette(asset_block + warp_palette_offset, expected);
  EXPECT_EQ(first_difference(warp_colours, expected, palette_entries), -1);
}

TEST_F(WarpTest, TexelWindowHoldsTheWholeTextureShifted) {
  random_texture_and_colours();
  for (std::uint32_t k = 0; k < 65536; ++k) {
    ASSERT_EQ(warp_texel_window[k], warp_texture[(56245 + k) % 65536]) << k;
  }
}

TEST_F(WarpTest, FirstPixelAtScrollZeroReadsTexel32512) {
  random_texture_and_colours();
  for (std::uint32_t k = 0; k < palette_entries; ++k) warp_colours[k] = static_cast<std::uint16_t>(0x1000 + k);
  convert_warp_texture();
  warp_scroll = 0;
  draw_warp();
  EXPECT_EQ(frame[0], 0x1000 + warp_texel_window[32512]);
  EXPECT_EQ(frame[0], 0x1000 + warp_texture[23221]);
}

TEST_F(WarpTest, ScrollSteps) {
  warp_scroll = 0;
  draw_warp();
  EXPECT_EQ(warp_scroll, 0xFAFB);
  draw_warp();
  EXPECT_EQ(warp_scroll, 0xF5F6);
  warp_scroll = 0x0504;
  draw_warp();
  EXPECT_EQ(warp_scroll, 0xFFFF);

  warp_scroll = 0;
  draw_tunnel(tunnel_distorted);
  EXPECT_EQ(warp_scroll, 0x0A0A);
  warp_scroll = 0xF9F9;
  draw_tunnel(tunnel_distorted);
  EXPECT_EQ(warp_scroll, 0x0403);

  warp_scroll = 0x1234;
  draw_tunnel(tunnel_plain);
  EXPECT_EQ(warp_scroll, 0x1234);
}

TEST_F(WarpTest, PlainTunnelTwiceDrawsTheSameImage) {
  randomise_assets();
  randomise(warp_colours, palette_entries);
  convert_warp_texture();
  warp_scroll = random_word();
  draw_tunnel(tunnel_plain);
  const std::vector<std::uint16_t> first(second_buffer, second_buffer + effect_pixels);
  randomise(second_buffer, effect_pixels);
  draw_tunnel(tunnel_plain);
  EXPECT_EQ(first_difference(second_buffer, first.data()), -1);
}

TEST_F(WarpTest, PlainTunnelReadsOffsetPlusScroll) {
  randomise(warp_colours, palette_entries);
  convert_warp_texture();
  // Offsets near the top of the range, so that adding the scroll wraps.
  for (std::uint32_t i = 0; i < effect_pixels; ++i) {
    const std::uint32_t offset = 0xFF00 + i % 256;
    asset_block[tunnel_offsets_offset + 2 * i] = static_cast<std::uint8_t>(offset);
    asset_block[tunnel_offsets_offset + 2 * i + 1] = static_cast<std::uint8_t>(offset >> 8);
  }
  random_texture_and_colours();
  warp_scroll = 0x0180;
  draw_tunnel(tunnel_plain);
  for (std::uint32_t i = 0; i < effect_pixels; i += 97) {
    const std::uint32_t k = (0xFF00 + i % 256 + 0x0180) % 65536;
    ASSERT_EQ(second_buffer[i], warp_colours[warp_texel_window[k]]) << i;
  }
}

TEST_F(WarpTest, WarpMatchesThePlainVersion) {
  std::vector<std::uint16_t> expected(effect_pixels);
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    for (int round = 0; round < 6; ++round) {
      random_assets_and_colours();
      const std::uint16_t scroll = round == 0 ? 0 : random_word();
      warp_scroll = scroll;
      plain::draw_warp(warp_table, warp_colours, scroll, expected.data());
      draw_warp();
      ASSERT_EQ(first_difference(frame.data(), expected.data()), -1)
          << "scroll " << scroll << " level " << vector_level_name(level);
      EXPECT_EQ(warp_scroll, static_cast<std::uint16_t>(scroll - 0x0505));
    }
  }
}

TEST_F(WarpTest, WarpFollowsAnyTableContent) {
  // A table whose rows do not share one low byte (the texture row) still
  // draws by the formula: such rows are drawn pixel by pixel.
  std::vector<std::uint16_t> expected(effect_pixels);
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    random_assets_and_colours();
    randomise(warp_table, effect_pixels);
    for (std::uint32_t i = 0; i < 5000; ++i)
      warp_table[i] = static_cast<std::uint16_t>((warp_table[i] & 0xFF00) | (i / 7) % 256);
    // One row whose last entry alone names another texture row.
    for (std::uint32_t c = 0; c < 320; ++c) warp_table[30 * 320 + c] = static_cast<std::uint16_t>(c << 8 | 9);
    warp_table[30 * 320 + 319] = 0x0010;
    const std::uint16_t scroll = random_word();
    warp_scroll = scroll;
    plain::draw_warp(warp_table, warp_colours, scroll, expected.data());
    draw_warp();
    EXPECT_EQ(first_difference(frame.data(), expected.data()), -1) << "level " << vector_level_name(level);
  }
}

TEST_F(WarpTest, TunnelsMatchThePlainVersions) {
  std::vector<std::uint16_t> expected(effect_pixels);
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    for (int round = 0; round < 6; ++round) {
      random_assets_and_colours();
      for (bool distorted : {false, true}) {
        const std::uint16_t scroll = round == 0 ? 0 : random_word();
        warp_scroll = scroll;
        plain::draw_tunnel(distorted, warp_colours, scroll, expected.data());
        draw_tunnel(distorted ? tunnel_distorted : tunnel_plain);
        ASSERT_EQ(first_difference(second_buffer, expected.data()), -1)
            << "scroll " << scroll << " distorted " << distorted << " level " << vector_level_name(level);
      }
    }
  }
}

TEST_F(WarpTest, BuildingConvertsTheTextureThroughTheNewPalette) {
  // Texture and palette change in the block; building the table again makes
  // the effects show both.
  randomise(asset_block + warp_texture_offset, 65536);
  std::memcpy(asset_block + warp_texture_offset + 65536, asset_block + warp_texture_offset, 65536);
  randomise(asset_block + warp_palette_offset, dac_palette_bytes);
  build_warp_table();
  std::vector<std::uint16_t> expected(effect_pixels);
  warp_scroll = 0x4321;
  plain::draw_tunnel(false, warp_colours, 0x4321, expected.data());
  draw_tunnel(tunnel_plain);
  EXPECT_EQ(first_difference(second_buffer, expected.data()), -1);
}

TEST_F(WarpTest, EffectsWriteNothingOutsideTheirImages) {
  // A frame with guard words on both sides.
  std::vector<std::uint16_t> guarded(effect_pixels + 64, 0xA5A5);
  frame_buffer = guarded.data() + 32;
  draw_warp();
  for (std::uint32_t i = 0; i < 32; ++i) {
    EXPECT_EQ(guarded[i], 0xA5A5);
    EXPECT_EQ(guarded[32 + effect_pixels + i], 0xA5A5);
  }
  frame_buffer = frame.data();
}

TEST(WarpStartUp, DrawingBeforeTheTableIsBuiltBuildsIt) {
  const ChildRun run = run_in_child(HeadlessScript{}, [] {
    std::vector<std::uint16_t> pixels(effect_pixels);
    frame_buffer = pixels.data();
    warp_table = nullptr;  // as at start-up (the child may inherit a built table)
    draw_warp();
    if (warp_table == nullptr) return 3;
    std::vector<std::uint16_t> expected(effect_pixels);
    plain::build_warp_table(expected.data());
    return std::memcmp(warp_table, expected.data(), 128000) == 0 ? 0 : 4;
  });
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
}

// The effects keep the texture converted through the palette and, for the
// distorted tunnel, a per-frame table of texel indices. In a fresh process,
// after the table is built as start-up builds it, the first frames of each
// effect at the edge scrolls and at random ones are what the plain passes
// make from the block itself, at every vector level.
TEST(WarpStartUp, FirstFramesOfEachEffectMatchThePlainPasses) {
  const ChildRun run = run_in_child(HeadlessScript{}, [] {
    std::vector<std::uint16_t> pixels(effect_pixels);
    std::vector<std::uint16_t> expected(effect_pixels);
    frame_buffer = pixels.data();
    build_warp_table();
    std::mt19937 random(99);
    const int levels = vector_level() + 1;
    const std::uint16_t edges[] = {0x0000, 0xFFFF, 0x00FF, 0xFF00, 0x0100, 0x8080, 0x7F7F};
    for (int k = 0; k < 40; ++k) {
      use_vector_level(static_cast<VectorLevel>(k % levels));
      const std::uint16_t scroll = k < 7 ? edges[k] : static_cast<std::uint16_t>(random());
      for (int effect = 0; effect < 3; ++effect) {
        warp_scroll = scroll;
        if (effect == 0) {
          plain::draw_warp(warp_table, warp_colours, scroll, expected.data());
          draw_warp();
          if (std::memcmp(pixels.data(), expected.data(), 2 * effect_pixels) != 0) return 1;
        } else {
          plain::draw_tunnel(effect == 2, warp_colours, scroll, expected.data());
          draw_tunnel(effect == 2 ? tunnel_distorted : tunnel_plain);
          if (std::memcmp(second_buffer, expected.data(), 2 * effect_pixels) != 0) return 2 + effect;
        }
      }
    }
    return 0;
  });
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
}

}  // namespace
