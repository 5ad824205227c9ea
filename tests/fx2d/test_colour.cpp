// Palette conversion.
#include "fixture.h"

#include "plain_passes.h"

namespace {

using ColourTest = Fx2dTest;

std::uint16_t convert_entry(std::uint8_t e0, std::uint8_t e1, std::uint8_t e2) {
  std::uint8_t source[dac_palette_bytes] = {};
  source[0] = e0;
  source[1] = e1;
  source[2] = e2;
  std::uint16_t destination[palette_entries] = {};
  convert_palette(source, destination);
  return destination[0];
}

TEST_F(ColourTest, ConvertsKnownEntries) {
  EXPECT_EQ(convert_entry(63, 63, 63), 0xFFFF);
  EXPECT_EQ(convert_entry(0, 0, 0), 0x0000);
  EXPECT_EQ(convert_entry(1, 1, 1), 0x0020);  // odd low bits of the first and third byte dropped
  EXPECT_EQ(convert_entry(10, 10, 10), 0x2945);
  EXPECT_EQ(convert_entry(44, 56, 50), 0xCF16);  // red 25 from e2, green 56, blue 22 from e0
}

TEST_F(ColourTest, ConvertsEveryEntryInStorageOrder) {
  std::uint8_t source[dac_palette_bytes];
  for (std::uint32_t i = 0; i < dac_palette_bytes; ++i) source[i] = static_cast<std::uint8_t>((i * 7 + i / 3) % 64);
  std::uint16_t destination[palette_entries] = {};
  convert_palette(source, destination);
  for (std::uint32_t i = 0; i < palette_entries; ++i) {
    const std::uint32_t e0 = source[3 * i], e1 = source[3 * i + 1], e2 = source[3 * i + 2];
    // For 6-bit components the bit rule is the plain field rule.
    EXPECT_EQ(destination[i], (e2 >> 1) << 11 | e1 << 5 | (e0 >> 1)) << "entry " << i;
  }
}

TEST_F(ColourTest, OutOfRangeBytesFollowTheBitRule) {
  std::uint8_t source[dac_palette_bytes];
  randomise(source, dac_palette_bytes);
  std::uint16_t fast[palette_entries] = {}, slow[palette_entries] = {};
  convert_palette(source, fast);
  plain::convert_palette(source, slow);
  EXPECT_EQ(first_difference(fast, slow, palette_entries), -1);
  EXPECT_EQ(convert_entry(0xFF, 0xFF, 0xFF), 0xFFFF);
  EXPECT_EQ(convert_entry(0x80, 0x80, 0x80), 0x1000);  // e0, e2 lose bit 7; e1 x 32 spills into red
}

TEST_F(ColourTest, StartUpConvertsTheFontAndSpritePalettes) {
  randomise(asset_block + font_palette_offset, palette_bytes);
  randomise(asset_block + sprite_palette_offset, palette_bytes);

  convert_font_and_sprite_palettes();

  std::uint16_t expected[palette_entries];
  plain::convert_palette(asset_block + font_palette_offset, expected);
  EXPECT_EQ(first_difference(font_colours, expected, palette_entries), -1);
  plain::convert_palette(asset_block + sprite_palette_offset, expected);
  EXPECT_EQ(first_difference(sprite_colours, expected, palette_entries), -1);
}

TEST_F(ColourTest, FieldHelpersSplitAndMerge) {
  EXPECT_EQ(pixel_red(0xCF16), 25u);
  EXPECT_EQ(pixel_green(0xCF16), 56u);
  EXPECT_EQ(pixel_blue(0xCF16), 22u);
  EXPECT_EQ(merge_pixel(25, 56, 22), 0xCF16);
  EXPECT_EQ(grey_pixel(7), 0x39C7);  // red 7, green 14, blue 7
  EXPECT_EQ(grey_pixel(31), 0xFFDF);
  EXPECT_EQ(pixel_red(object_span_colour), 2u);
  EXPECT_EQ(pixel_green(object_span_colour), 6u);
  EXPECT_EQ(pixel_blue(object_span_colour), 11u);
}

}  // namespace
