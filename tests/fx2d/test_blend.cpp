// Mask fade, cross-blend, fills and picture copies.
#include <cstring>

#include "fixture.h"
#include "plain_passes.h"

namespace {

using BlendTest = Fx2dTest;

TEST_F(BlendTest, FadeAt255ChangesNothing) {
  randomise(asset_block + mask_picture_offset, picture_bytes);
  randomise(frame.data(), effect_pixels);
  const std::vector<std::uint16_t> before = frame;
  fade_through_mask(255);
  EXPECT_EQ(first_difference(frame.data(), before.data()), -1);
}

TEST_F(BlendTest, FadeAt81UnderMaskOneAndZero) {
  std::memset(asset_block + mask_picture_offset, 0, picture_bytes);
  asset_block[mask_picture_offset + 7] = 1;
  asset_block[mask_picture_offset + 63999] = 1;
  asset_block[mask_picture_offset + 9] = 174;   // d = 82 - 81 = 1: nothing visible yet
  asset_block[mask_picture_offset + 10] = 171;  // d = 4: green - 1
  asset_block[mask_picture_offset + 11] = 167;  // d = 8: green - 2, red and blue - 1
  std::fill(frame.begin(), frame.end(), 0xFFFF);
  frame[12] = 0x0000;
  asset_block[mask_picture_offset + 12] = 1;  // black stays black: no wrap below 0
  fade_through_mask(81);
  EXPECT_EQ(frame[7], 0x528A);  // red 10, green 20, blue 10
  EXPECT_EQ(frame[63999], 0x528A);
  EXPECT_EQ(frame[0], 0xFFFF);
  EXPECT_EQ(frame[9], 0xFFFF);
  EXPECT_EQ(frame[10], merge_pixel(31, 62, 31));
  EXPECT_EQ(frame[11], merge_pixel(30, 61, 30));
  EXPECT_EQ(frame[12], 0x0000);
}

TEST_F(BlendTest, FadeMatchesThePlainVersion) {
  std::vector<std::uint16_t> expected(effect_pixels);
  for (VectorLevel vectors : levels_to_test()) {
    use_vector_level(vectors);
    for (int level : {0, 1, 80, 81, 128, 200, 254, 255}) {
      randomise(asset_block + mask_picture_offset, picture_bytes);
      randomise(frame.data(), effect_pixels);
      expected = frame;
      plain::fade_through_mask(expected.data(), static_cast<std::uint8_t>(level));
      fade_through_mask(static_cast<std::uint8_t>(level));
      ASSERT_EQ(first_difference(frame.data(), expected.data()), -1)
          << "level " << level << " vectors " << vector_level_name(vectors);
    }
  }
}

TEST_F(BlendTest, CrossBlendFigures) {
  std::fill(frame.begin(), frame.end(), 0x0000);
  std::fill(second_buffer, second_buffer + effect_pixels, 0xFFFF);
  cross_blend(1, blend_halved);
  EXPECT_EQ(frame[0], 0x8430);  // red 16, green 33, blue 16
  EXPECT_EQ(frame[63999], 0x8430);

  std::fill(frame.begin(), frame.end(), 0xFFFF);
  cross_blend(16, blend_full);
  EXPECT_EQ(frame[0], 0xF7DE);  // red 30, green 62, blue 30

  // At 31 the frame is lowered by 31 and its green by 62: only a frame
  // green of 63 leaves anything (1).
  randomise(frame.data(), effect_pixels);
  for (auto& p : frame) {
    if (pixel_green(p) == 63) p = static_cast<std::uint16_t>(p & ~0x0020);
  }
  frame[5] = 0xFFFF;
  randomise(second_buffer, effect_pixels);
  second_buffer[5] = 0;
  const std::vector<std::uint16_t> other(second_buffer, second_buffer + effect_pixels);
  cross_blend(31, blend_full);
  EXPECT_EQ(frame[5], merge_pixel(0, 1, 0));
  frame[5] = 0;
  for (std::uint32_t i = 0; i < effect_pixels; ++i) {
    const std::uint16_t o = other[i];
    const std::uint32_t red = pixel_red(o) ? pixel_red(o) - 1 : 0;
    const std::uint32_t green = pixel_green(o) >= 2 ? pixel_green(o) - 2 : 0;
    const std::uint32_t blue = pixel_blue(o) ? pixel_blue(o) - 1 : 0;
    ASSERT_EQ(frame[i], merge_pixel(red, green, blue)) << i;
  }
  // second_buffer is only read.
  EXPECT_EQ(first_difference(second_buffer, other.data()), -1);
}

TEST_F(BlendTest, HalvedFormWithOddWeightUsesEvenGreenWeights) {
  // w = 7 halved: frame lowered by 3 (green 6), second_buffer by 12 (green 24).
  std::fill(frame.begin(), frame.end(), merge_pixel(10, 10, 2));
  std::fill(second_buffer, second_buffer + effect_pixels, merge_pixel(20, 30, 31));
  cross_blend(7, blend_halved);
  EXPECT_EQ(frame[100], merge_pixel(7 + 8, 4 + 6, 0 + 19));
  // Sums that pass the maximum stop there.
  std::fill(frame.begin(), frame.end(), merge_pixel(31, 63, 31));
  std::fill(second_buffer, second_buffer + effect_pixels, merge_pixel(31, 63, 31));
  cross_blend(7, blend_halved);
  EXPECT_EQ(frame[100], 0xFFFF);
}

TEST_F(BlendTest, CrossBlendMatchesThePlainVersion) {
  std::vector<std::uint16_t> expected(effect_pixels);
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    for (std::uint32_t weight = 0; weight <= 32; ++weight) {
      for (bool full : {false, true}) {
        randomise(frame.data(), effect_pixels);
        randomise(second_buffer, effect_pixels);
        expected = frame;
        plain::cross_blend(expected.data(), second_buffer, weight, full);
        cross_blend(weight, full ? blend_full : blend_halved);
        ASSERT_EQ(first_difference(frame.data(), expected.data()), -1)
            << "weight " << weight << " full " << full << " level " << vector_level_name(level);
      }
    }
  }
}

TEST_F(BlendTest, WeightsAbove32CountAs32) {
  std::vector<std::uint16_t> expected(effect_pixels);
  for (std::uint32_t weight : {33u, 64u, 0xFFFFFFFFu}) {
    for (bool full : {false, true}) {
      randomise(frame.data(), effect_pixels);
      randomise(second_buffer, effect_pixels);
      expected = frame;
      plain::cross_blend(expected.data(), second_buffer, 32, full);
      cross_blend(weight, full ? blend_full : blend_halved);
      ASSERT_EQ(first_difference(frame.data(), expected.data()), -1) << "weight " << weight;
    }
  }
}

TEST_F(BlendTest, FillPatterns) {
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    randomise(frame.data(), effect_pixels);
    fill_frame(0x00000C05);
    for (std::uint32_t i = 0; i < effect_pixels; ++i) ASSERT_EQ(frame[i], i % 2 == 0 ? 0x0C05 : 0) << i;
    fill_frame(white_fill_pattern);
    for (std::uint32_t i = 0; i < effect_pixels; ++i) ASSERT_EQ(frame[i], 0xFFFF) << i;
    std::vector<std::uint16_t> expected(effect_pixels);
    const std::uint32_t pattern = 0x1234ABCD;
    plain::fill(expected.data(), pattern);
    fill_frame(pattern);
    EXPECT_EQ(first_difference(frame.data(), expected.data()), -1) << vector_level_name(level);
  }
}

TEST_F(BlendTest, KeyedCopyOfZerosChangesNothing) {
  std::vector<std::uint8_t> zeros(picture_bytes, 0);
  randomise(frame.data(), effect_pixels);
  const std::vector<std::uint16_t> before = frame;
  copy_picture_keyed(zeros.data());
  EXPECT_EQ(first_difference(frame.data(), before.data()), -1);
}

TEST_F(BlendTest, KeyedCopyMatchesThePlainVersion) {
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    std::vector<std::uint8_t> picture(picture_bytes);
    randomise(picture.data(), picture_bytes);
    for (std::uint32_t i = 0; i < picture_bytes; ++i) {
      if (picture[i] < 128) picture[i] = 0;  // about half transparent
    }
    picture[0] = 0xFF;
    picture[63999] = 0x21;
    randomise(frame.data(), effect_pixels);
    std::vector<std::uint16_t> expected = frame;
    plain::copy_keyed(expected.data(), picture.data());
    copy_picture_keyed(picture.data());
    EXPECT_EQ(first_difference(frame.data(), expected.data()), -1) << vector_level_name(level);
    EXPECT_EQ(frame[0], 0x00FF);  // blue 31, green 7, high byte 0
    EXPECT_EQ(frame[63999], 0x0021);
  }
}

TEST_F(BlendTest, ShiftedCopiesMatchThePlainVersion) {
  std::vector<std::uint8_t> picture(picture_bytes);
  std::vector<std::uint16_t> expected(effect_pixels);
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    for (std::uint32_t shift = 0; shift <= 10; ++shift) {
      randomise(picture.data(), picture_bytes);
      picture[3] = 0xFF;
      randomise(frame.data(), effect_pixels);
      plain::copy_shifted(expected.data(), picture.data(), shift);
      copy_picture_shifted(picture.data(), shift);
      ASSERT_EQ(first_difference(frame.data(), expected.data()), -1)
          << "shift " << shift << " level " << vector_level_name(level);
    }
  }
  copy_picture_shifted(picture.data(), 4);
  EXPECT_EQ(frame[3], 0x000F);  // the opening picture's blue levels stop at 15
  copy_picture_shifted(picture.data(), 3);
  EXPECT_EQ(frame[3], 0x001F);
}

}  // namespace
