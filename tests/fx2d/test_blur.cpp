// The noise and blur pass.
#include <cstring>

#include "fixture.h"
#include "plain_passes.h"

namespace {

class BlurTest : public Fx2dTest {
 protected:
  // Every byte the noise can read set to 0, so that a blur is the filter alone.
  void silence_noise() { std::memset(asset_block + noise_window_offset, 0, 65536 + 128000); }
  // Noise byte read for frame byte k while noise_scroll is 0 (the module's
  // first bytes); v 0..7 is the amount added.
  void set_noise(std::uint32_t k, std::uint8_t v) {
    asset_block[embedded_module_offset + k] = static_cast<std::uint8_t>(v << 5 | 0x1F);
  }
};

TEST_F(BlurTest, LoneBrightPixelSmearsToTheRight) {
  silence_noise();
  const std::uint32_t at = 100 * 320 + 160;
  frame[at] = 31;
  blur_frame();
  EXPECT_EQ(frame[at - 1], grey_pixel(7));
  EXPECT_EQ(frame[at], grey_pixel(17));
  EXPECT_EQ(frame[at + 1], grey_pixel(4));
  EXPECT_EQ(frame[at + 2], grey_pixel(1));
  for (std::uint32_t i = 0; i < effect_pixels; ++i) {
    if (i + 1 < at || i > at + 2) {
      ASSERT_EQ(frame[i], 0) << i;
    }
  }
}

TEST_F(BlurTest, UniformLevelGivesItsGreyAtEveryFilteredPixel) {
  silence_noise();
  for (std::uint32_t a = 0; a < 32; ++a) {
    // Red and green are ignored by the filter: only blue counts.
    for (std::uint32_t i = 0; i < effect_pixels; ++i)
      frame[i] = static_cast<std::uint16_t>((random_word() & 0xFFE0) | a);
    const std::vector<std::uint16_t> before = frame;
    blur_frame();
    for (std::uint32_t i = 0; i < effect_pixels; ++i) {
      const bool filtered = i >= 321 && i <= 63680;
      ASSERT_EQ(frame[i], filtered ? grey_pixel(a) : before[i]) << "level " << a << " pixel " << i;
    }
  }
}

TEST_F(BlurTest, NoiseCarriesFromBlueIntoGreenButNotOutOfTheByte) {
  silence_noise();
  noise_scroll = 0;
  frame[5] = 0x001F;  // blue 31, + 1: blue 0, green 1
  set_noise(10, 1);
  frame[6] = 0x00FF;  // blue 31 and green's low three bits set: the carry is lost
  set_noise(12, 1);
  frame[7] = 0xFFFF;  // high byte + 7 wraps, the low byte is untouched
  set_noise(15, 7);
  frame[8] = 0x1234;  // both bytes, + 3 and + 2
  set_noise(16, 3);
  set_noise(17, 2);
  blur_frame();  // row 0 is not filtered
  EXPECT_EQ(frame[5], 0x0020);
  EXPECT_EQ(frame[6], 0x0000);
  EXPECT_EQ(frame[7], 0x06FF);
  EXPECT_EQ(frame[8], 0x1437);
  EXPECT_EQ(frame[4], 0);
  EXPECT_EQ(frame[9], 0);
}

TEST_F(BlurTest, NoiseScrollStepsAndWraps) {
  silence_noise();
  noise_scroll = 0;
  for (std::uint32_t call = 0; call < 86; ++call) {
    ASSERT_EQ(noise_scroll, (768 * call) % 65536);
    blur_frame();
  }
  EXPECT_EQ(noise_scroll, 512);
}

TEST_F(BlurTest, NoiseWindowFollowsTheScroll) {
  // With noise_scroll 484 the read starts at window offset 0, the last
  // bytes of the first alternating picture.
  silence_noise();
  asset_block[noise_window_offset] = 0xE0;           // frame byte 0 + 7
  asset_block[alternating_picture_2_offset] = 0x40;  // window offset 480: frame byte 480 + 2
  noise_scroll = 484;
  blur_frame();
  EXPECT_EQ(frame[0], 0x0007);
  EXPECT_EQ(frame[240], 0x0002);
  EXPECT_EQ(noise_scroll, 484 + 768);
}

TEST_F(BlurTest, MatchesThePlainVersionOnRandomFramesAndScrolls) {
  std::vector<std::uint16_t> expected(effect_pixels);
  // 483 puts the read at its last possible start, window offset 65535.
  const std::uint16_t fixed[] = {0, 483, 484, 768, 0xFFFF};
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    for (int round = 0; round < 10; ++round) {
      randomise_assets();
      randomise(frame.data(), effect_pixels);
      // Some rounds with small values, where the filter's sums stay low.
      if (round % 3 == 2) {
        for (auto& p : frame) p &= 0x0707;
      }
      const std::uint16_t scroll = round < 5 ? fixed[round] : random_word();
      expected = frame;
      plain::add_noise(expected.data(), scroll);
      plain::filter(expected.data());
      noise_scroll = scroll;
      blur_frame();
      ASSERT_EQ(first_difference(frame.data(), expected.data()), -1)
          << "scroll " << scroll << " level " << vector_level_name(level);
    }
  }
}

TEST_F(BlurTest, FilterMatchesThePlainVersionAcrossRowEnds) {
  silence_noise();
  std::vector<std::uint16_t> expected(effect_pixels);
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    for (std::uint32_t round = 0; round < 4; ++round) {
      // Bright bands that end at row ends and start again on the next row.
      for (std::uint32_t i = 0; i < effect_pixels; ++i) {
        const std::uint32_t column = i % 320;
        frame[i] = static_cast<std::uint16_t>(column >= 310 || column < 5u + round ? 31 : random_word() % 4);
      }
      expected = frame;
      plain::filter(expected.data());
      blur_frame();
      ASSERT_EQ(first_difference(frame.data(), expected.data()), -1) << round << " level " << vector_level_name(level);
    }
  }
}

}  // namespace
