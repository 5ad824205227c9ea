// The on-screen picture: the 4:3 rectangle, the tap tables against an
// explicit scale-up and linear sampling, and the fast row-cached scale
// against a plain per-pixel one, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "common/picture_scale.h"

namespace {

// The picture pixel (x, y), straight from the taps: blend across in rows
// first and first + 1, then down.
std::uint32_t plain_pixel(const PictureScale& scale, const std::uint16_t* source, std::size_t pitch, int x, int y) {
  auto across = [&](int row) {
    const std::uint16_t* line = source + static_cast<std::size_t>(row) * pitch;
    ScaleTap tap = scale.columns[static_cast<std::size_t>(x)];
    std::uint32_t left = expand_rgb565(line[tap.first]);
    std::uint32_t right = tap.next_weight == 0 ? left : expand_rgb565(line[tap.first + 1]);
    return blend_xrgb(left, right, tap.next_weight);
  };
  ScaleTap tap = scale.rows[static_cast<std::size_t>(y)];
  std::uint32_t top = across(tap.first);
  std::uint32_t bottom = tap.next_weight == 0 ? top : across(tap.first + 1);
  return blend_xrgb(top, bottom, tap.next_weight);
}

std::vector<std::uint16_t> random_frame(std::mt19937& random, int width, int height, std::size_t pitch) {
  std::vector<std::uint16_t> frame(pitch * static_cast<std::size_t>(height));
  for (auto& pixel : frame) {
    pixel = static_cast<std::uint16_t>(random());
  }
  (void)width;
  return frame;
}

// Scales with a fresh plan into a picture with a guard band around every
// row, and checks every pixel against the plain one and the guards intact.
void expect_scale_matches_plain(const std::vector<std::uint16_t>& frame, int source_width, int source_height,
                                std::size_t source_pitch, int width, int height) {
  PictureScale scale;
  plan_picture_scale(scale, source_width, source_height, width, height);
  const std::size_t pitch = static_cast<std::size_t>(width) + 7;
  const std::uint32_t guard = 0x12345678u;
  std::vector<std::uint32_t> picture(pitch * static_cast<std::size_t>(height) + 16, guard);
  scale_picture(scale, frame.data(), source_pitch, picture.data() + 8, pitch);
  int wrong = 0;
  for (int y = 0; y < height && wrong < 5; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint32_t expected = plain_pixel(scale, frame.data(), source_pitch, x, y);
      std::uint32_t got = picture[8 + static_cast<std::size_t>(y) * pitch + x];
      if (got != expected) {
        ADD_FAILURE() << width << " x " << height << ": pixel (" << x << ", " << y << ") is " << std::hex << got
                      << ", not " << expected;
        ++wrong;
        break;
      }
    }
  }
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(picture[i], guard) << "written before the picture";
    EXPECT_EQ(picture[picture.size() - 1 - i], guard) << "written after the picture";
  }
  for (int y = 0; y < height; ++y) {
    for (std::size_t x = static_cast<std::size_t>(width); x < pitch; ++x) {
      ASSERT_EQ(picture[8 + static_cast<std::size_t>(y) * pitch + x], guard) << "written past row " << y;
    }
  }
}

TEST(PictureRect, IsTheLargestCentred4By3Rectangle) {
  PictureRect wide = picture_rect(1920, 1080);
  EXPECT_EQ(wide.width, 1440);
  EXPECT_EQ(wide.height, 1080);
  EXPECT_EQ(wide.x, 240);
  EXPECT_EQ(wide.y, 0);
  PictureRect tall = picture_rect(1280, 1024);
  EXPECT_EQ(tall.width, 1280);
  EXPECT_EQ(tall.height, 960);
  EXPECT_EQ(tall.x, 0);
  EXPECT_EQ(tall.y, 32);
  PictureRect exact = picture_rect(960, 720);
  EXPECT_EQ(exact.width, 960);
  EXPECT_EQ(exact.height, 720);
  EXPECT_EQ(exact.x, 0);
  EXPECT_EQ(exact.y, 0);
  PictureRect odd = picture_rect(1001, 601);  // 601 high: 801 wide, 200 left over
  EXPECT_EQ(odd.width, 801);
  EXPECT_EQ(odd.height, 601);
  EXPECT_EQ(odd.x, 100);
}

TEST(PictureRect, IsEmptyForAnEmptyOutput) {
  PictureRect none = picture_rect(0, 1080);
  EXPECT_EQ(none.width, 0);
  EXPECT_EQ(none.height, 0);
  none = picture_rect(-5, -5);
  EXPECT_EQ(none.width, 0);
}

// Linear sampling at pixel centres of the row scaled up by whole numbers,
// worked out in floating point from the scaled-up row itself.
TEST(ScaleTaps, SampleTheWholeMultipleLinearlyAtPixelCentres) {
  for (int source : {200, 320}) {
    for (int size : {1, 7, 150, 199, 200, 201, 320, 480, 720, 768, 960, 1024, 1080, 1200, 1440, 1600, 2160, 4096}) {
      std::vector<ScaleTap> taps = plan_scale_taps(source, size);
      ASSERT_EQ(taps.size(), static_cast<std::size_t>(size));
      int factor = (size + source - 1) / source;
      int up = factor * source;
      for (int i = 0; i < size; ++i) {
        double t = (i + 0.5) * up / size - 0.5;
        int texel = static_cast<int>(std::floor(t));
        double fraction = t - texel;
        int a = texel / factor;
        int b = std::min(texel + 1, up - 1) / factor;
        // The weight of frame pixel a + 1 in the exact sample.
        double exact = a == b ? 0.0 : fraction;
        const ScaleTap& tap = taps[static_cast<std::size_t>(i)];
        double got = tap.next_weight / 256.0;
        int got_first = tap.first;
        if (exact > 255.5 / 256 && got_first == a + 1 && tap.next_weight == 0) {
          got = 1.0;  // rounded up to the next pixel outright
          got_first = a;
        }
        ASSERT_EQ(got_first, a) << source << " -> " << size << ", pixel " << i;
        ASSERT_NEAR(got, exact, 0.5 / 256 + 1e-9) << source << " -> " << size << ", pixel " << i;
        ASSERT_LT(tap.first + (tap.next_weight != 0 ? 1 : 0), source);
      }
    }
  }
}

TEST(ScaleTaps, AWholeMultipleIsPlainNearestNeighbour) {
  std::vector<ScaleTap> taps = plan_scale_taps(320, 1600);
  for (int i = 0; i < 1600; ++i) {
    EXPECT_EQ(taps[static_cast<std::size_t>(i)].first, i / 5);
    EXPECT_EQ(taps[static_cast<std::size_t>(i)].next_weight, 0);
  }
}

TEST(ScaleTaps, MostPicturePixelsCopyOneFramePixel) {
  // 1440 from 320: up 5 times to 1600, down by 9/10; only pixels astride
  // the edge of two frame pixels blend.
  std::vector<ScaleTap> taps = plan_scale_taps(320, 1440);
  int blended = 0;
  for (const ScaleTap& tap : taps) {
    blended += tap.next_weight != 0;
  }
  EXPECT_GT(blended, 0);
  EXPECT_LE(blended, 1440 / 4);
  EXPECT_EQ(taps.front().first, 0);
  EXPECT_EQ(taps.back().first, 319);
}

TEST(ExpandRgb565, WidensEachFieldByRepeatingItsTopBits) {
  EXPECT_EQ(expand_rgb565(0x0000), 0xFF000000u);
  EXPECT_EQ(expand_rgb565(0xFFFF), 0xFFFFFFFFu);
  EXPECT_EQ(expand_rgb565(0xF800), 0xFFFF0000u);
  EXPECT_EQ(expand_rgb565(0x07E0), 0xFF00FF00u);
  EXPECT_EQ(expand_rgb565(0x001F), 0xFF0000FFu);
  EXPECT_EQ(expand_rgb565(0x8410), 0xFF848284u);  // 16, 32, 16
}

TEST(BlendXrgb, RoundsEachFieldAndNeverCarries) {
  EXPECT_EQ(blend_xrgb(0xFF000000u, 0xFFFFFFFFu, 128), 0xFF808080u);
  EXPECT_EQ(blend_xrgb(0xFFFFFFFFu, 0xFFFFFFFFu, 77), 0xFFFFFFFFu);
  EXPECT_EQ(blend_xrgb(0xFF00FF00u, 0xFFFF00FFu, 0), 0xFF00FF00u);
  EXPECT_EQ(blend_xrgb(0xFF00FF00u, 0xFFFF00FFu, 256), 0xFFFF00FFu);
  // 10->20, 20->30, 0->10 a quarter of the way: 12.5, 22.5, 2.5, halves up
  EXPECT_EQ(blend_xrgb(0xFF0A1400u, 0xFF141E0Au, 64), 0xFF0D1703u);
}

TEST(ScalePicture, MatchesThePlainScaleOnTheScreenSizes) {
  std::mt19937 random(17);
  std::vector<std::uint16_t> frame = random_frame(random, 320, 200, 320);
  for (auto [width, height] : {std::pair{1440, 1080},
                               {1280, 960},
                               {960, 720},
                               {1600, 1200},
                               {320, 240},
                               {640, 480},
                               {1024, 768},
                               {2880, 2160}}) {
    expect_scale_matches_plain(frame, 320, 200, 320, width, height);
  }
}

TEST(ScalePicture, MatchesThePlainScaleOnOddAndTinySizesAndPitches) {
  std::mt19937 random(1717);
  for (int round = 0; round < 40; ++round) {
    std::size_t pitch = 320 + random() % 5;
    std::vector<std::uint16_t> frame = random_frame(random, 320, 200, pitch);
    int width = 1 + static_cast<int>(random() % 1700);
    int height = 1 + static_cast<int>(random() % 1300);
    expect_scale_matches_plain(frame, 320, 200, pitch, width, height);
  }
  std::vector<std::uint16_t> frame = random_frame(random, 320, 200, 320);
  for (auto [width, height] : {std::pair{1, 1}, {319, 199}, {321, 201}, {320, 200}, {1, 1080}, {1920, 1}}) {
    expect_scale_matches_plain(frame, 320, 200, 320, width, height);
  }
}

TEST(ScalePicture, EdgeColoursAndSharpEdgesSurvive) {
  // Black and white columns: whole-multiple steps stay pure, blends fall
  // only between two frame pixels, and pure colours come through exactly.
  std::vector<std::uint16_t> frame(320 * 200);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) {
      frame[static_cast<std::size_t>(y) * 320 + x] = (x / 2 + y / 2) % 2 ? 0xFFFF : 0x0000;
    }
  }
  expect_scale_matches_plain(frame, 320, 200, 320, 1440, 1080);
  PictureScale scale;
  plan_picture_scale(scale, 320, 200, 1600, 1200);
  std::vector<std::uint32_t> picture(1600 * 1200);
  scale_picture(scale, frame.data(), 320, picture.data(), 1600);
  for (std::uint32_t pixel : picture) {
    ASSERT_TRUE(pixel == 0xFF000000u || pixel == 0xFFFFFFFFu);
  }
}

TEST(ScalePicture, ASecondFrameIsScaledAfresh) {
  std::mt19937 random(99);
  PictureScale scale;
  plan_picture_scale(scale, 320, 200, 1440, 1080);
  std::vector<std::uint32_t> picture(1440 * 1080);
  for (int round = 0; round < 3; ++round) {
    std::vector<std::uint16_t> frame = random_frame(random, 320, 200, 320);
    scale_picture(scale, frame.data(), 320, picture.data(), 1440);
    for (int y = 0; y < 1080; y += 7) {
      for (int x = 0; x < 1440; x += 3) {
        ASSERT_EQ(picture[static_cast<std::size_t>(y) * 1440 + x], plain_pixel(scale, frame.data(), 320, x, y));
      }
    }
  }
}

TEST(ScalePicture, AnEmptyPlanWritesNothing) {
  PictureScale scale;
  plan_picture_scale(scale, 320, 200, 0, 720);
  std::vector<std::uint16_t> frame(320 * 200, 0xFFFF);
  std::uint32_t untouched = 7;
  scale_picture(scale, frame.data(), 320, &untouched, 1);
  EXPECT_EQ(untouched, 7u);
}

}  // namespace
