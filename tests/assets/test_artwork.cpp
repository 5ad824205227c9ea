// Data-level properties of the artwork that the effects rely on: palettes
// in range, the sprite confined to its block, the texture seamless, the mask
// inside the values that take part in the dissolve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "assets/assets.h"

namespace {

// Brightness of a palette entry, weighted roughly as the eye sees it; the
// stored order is blue, green, red.
double brightness(const std::uint8_t* palette, std::uint8_t index) {
  const std::uint8_t* e = palette + 3 * index;
  return 0.11 * e[0] + 0.59 * e[1] + 0.30 * e[2];
}

TEST(Palettes, EveryComponentIsSixBits) {
  const std::uint8_t* palettes[] = {sprite_palette, font_palette, warp_palette};
  for (const std::uint8_t* palette : palettes) {
    for (int i = 0; i < 768; ++i) {
      ASSERT_LE(palette[i], 63) << "byte " << i;
    }
  }
}

TEST(SpritePicture, GlowOnlyInsideItsBlock) {
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) {
      if (x >= 64 || y >= 42) {
        ASSERT_EQ(sprite_picture[y * 320 + x], 0) << "(" << x << ", " << y << ")";
      }
    }
  }
  // The block's border is black, so stamping it leaves its edge unchanged.
  for (int x = 0; x < 64; ++x) {
    EXPECT_EQ(sprite_picture[x], 0);
    EXPECT_EQ(sprite_picture[41 * 320 + x], 0);
  }
  for (int y = 0; y < 42; ++y) {
    EXPECT_EQ(sprite_picture[y * 320], 0);
    EXPECT_EQ(sprite_picture[y * 320 + 63], 0);
  }
  const std::uint8_t* c = sprite_palette;
  EXPECT_TRUE(c[0] == 0 && c[1] == 0 && c[2] == 0) << "index 0 is black";
}

TEST(SpritePicture, BrightestInTheMiddleAndFallingOff) {
  const std::uint8_t centre = sprite_picture[20 * 320 + 31];
  const std::uint8_t* block_end = sprite_picture + 42 * 320;
  std::uint8_t top = 0;
  for (const std::uint8_t* p = sprite_picture; p < block_end; ++p) top = std::max(top, *p);
  EXPECT_EQ(centre, top);
  // Along the middle row and the middle column the glow only dims outwards,
  // and the palette's brightness follows the index.
  for (int x = 31; x > 0; --x) {
    EXPECT_LE(sprite_picture[20 * 320 + x - 1], sprite_picture[20 * 320 + x]) << "column " << x;
  }
  for (int y = 20; y > 0; --y) {
    EXPECT_LE(sprite_picture[(y - 1) * 320 + 31], sprite_picture[y * 320 + 31]) << "row " << y;
  }
  for (int i = 1; i < 256; ++i) {
    EXPECT_LE(brightness(sprite_palette, static_cast<std::uint8_t>(i - 1)),
              brightness(sprite_palette, static_cast<std::uint8_t>(i)))
        << "index " << i;
  }
  // Round: mirrored left to right and top to bottom.
  for (int y = 0; y < 42; ++y) {
    for (int x = 0; x < 64; ++x) {
      ASSERT_EQ(sprite_picture[y * 320 + x], sprite_picture[y * 320 + 63 - x]);
      ASSERT_EQ(sprite_picture[y * 320 + x], sprite_picture[(41 - y) * 320 + x]);
    }
  }
}

// Mean brightness step between neighbouring texels across a line of the
// texture: between columns c and c + 1 (across = true) or rows.
double step_across(int line, bool across) {
  double sum = 0.0;
  for (int i = 0; i < 256; ++i) {
    const int a = across ? i * 256 + line : line * 256 + i;
    const int b = across ? i * 256 + (line + 1) % 256 : ((line + 1) % 256) * 256 + i;
    sum += std::abs(brightness(warp_palette, warp_texture[a]) - brightness(warp_palette, warp_texture[b]));
  }
  return sum / 256.0;
}

TEST(WarpTexture, SeamlessAtItsEdges) {
  // The step across the wrap (255 to 0) is an ordinary one: no larger than
  // nine in ten of the steps inside the texture, in each direction.
  for (bool across : {true, false}) {
    std::vector<double> inner;
    for (int line = 0; line < 255; ++line) inner.push_back(step_across(line, across));
    std::sort(inner.begin(), inner.end());
    EXPECT_LE(step_across(255, across), inner[inner.size() * 9 / 10]) << (across ? "columns" : "rows");
  }
}

TEST(WarpTexture, UsesTheDepthOfItsPalette) {
  // Dark grooves and bright highlights: the texture spans most of the
  // palette's brightness, so the tunnels read in depth.
  double low = 1e9, high = 0;
  for (int i = 0; i < 65536; ++i) {
    const double b = brightness(warp_palette, warp_texture[i]);
    low = std::min(low, b);
    high = std::max(high, b);
  }
  EXPECT_LT(low, 8.0);
  EXPECT_GT(high, 50.0);
}

TEST(MaskPicture, EveryPixelTakesPartInTheDissolve) {
  // Values 1..174 darken as the level falls to 81; 0 and 175..255 never do.
  std::uint8_t low = 255, high = 0;
  for (std::uint32_t i = 0; i < picture_bytes; ++i) {
    low = std::min(low, mask_picture[i]);
    high = std::max(high, mask_picture[i]);
  }
  EXPECT_EQ(low, 1) << "the dissolve starts in the first frame of the fade";
  EXPECT_EQ(high, 174) << "and is still spreading in its last";
}

TEST(MaskPicture, DarknessComesFromTheEdgesToTheCentre) {
  auto mean = [](int x0, int y0, int size) {
    double sum = 0;
    for (int y = y0; y < y0 + size; ++y)
      for (int x = x0; x < x0 + size; ++x) sum += mask_picture[y * 320 + x];
    return sum / (size * size);
  };
  const double centre = mean(150, 90, 20);
  EXPECT_LT(mean(0, 0, 20), centre);
  EXPECT_LT(mean(300, 0, 20), centre);
  EXPECT_LT(mean(0, 180, 20), centre);
  EXPECT_LT(mean(300, 180, 20), centre);
}

}  // namespace

namespace {

int count_if_level(const std::uint8_t* picture, int shift, int low, int high) {
  int n = 0;
  for (std::uint32_t i = 0; i < picture_bytes; ++i) n += (picture[i] >> shift) >= low && (picture[i] >> shift) <= high;
  return n;
}

TEST(Pictures, OpeningUsesTheWholeRangeOfItsSixteenLevels) {
  // A bold card: a good share of bright and of near-black pixels.
  EXPECT_GT(count_if_level(opening_picture, 4, 13, 15), 3000);
  EXPECT_GT(count_if_level(opening_picture, 4, 0, 1), 3000);
  EXPECT_GT(count_if_level(opening_picture, 4, 0, 0), 0);
  EXPECT_GT(count_if_level(opening_picture, 4, 15, 15), 0);
}

TEST(Pictures, AlternatingPicturesContrastAndLeaveRoomForTheNoise) {
  // The blur adds up to 7 to each blue level before filtering; at 24 or
  // below a level never passes 31 and wraps to dark.
  for (const std::uint8_t* picture : {alternating_picture_1, alternating_picture_2}) {
    EXPECT_EQ(count_if_level(picture, 3, 25, 31), 0);
    EXPECT_GT(count_if_level(picture, 3, 20, 24), 8000);
    EXPECT_GT(count_if_level(picture, 3, 0, 4), 8000);
  }
  // Strobing against each other, they differ strongly almost everywhere.
  double difference = 0;
  for (std::uint32_t i = 0; i < picture_bytes; ++i)
    difference += std::abs((alternating_picture_1[i] >> 3) - (alternating_picture_2[i] >> 3));
  EXPECT_GT(difference / picture_bytes, 7.0);
}

TEST(Pictures, EndLogoLeavesTheObjectVisible) {
  int opaque = 0;
  for (std::uint32_t i = 0; i < picture_bytes; ++i) {
    if (end_picture[i] == 0) continue;
    ++opaque;
    EXPECT_LE(end_picture[i] & 31, 24) << "pixel " << i << " would wrap under the noise";
  }
  EXPECT_GT(opaque, 2000);
  EXPECT_LT(opaque, 16000);
  // Where the object turns, round the middle of the screen, it is clear.
  for (int y = 60; y < 150; ++y)
    for (int x = 110; x < 210; ++x) EXPECT_EQ(end_picture[y * 320 + x], 0) << "(" << x << ", " << y << ")";
}

}  // namespace
