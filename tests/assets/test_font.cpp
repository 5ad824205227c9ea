// The caption font against the text writer: a glyph for every character
// the captions use, each inside the part of its cell that is drawn and
// within its advance, outlined against any background, and every caption
// inside the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "demo/demo.h"

namespace {

constexpr int sheet_w = 1500;

// The text writer's advance for character c, in pixels.
int advance_of(char c) {
  if (c == 'W' || c == 'M') return 24;
  if (c == 'I') return 8;
  if (c == 'L') return 11;
  return 16;
}

std::uint8_t glyph_pixel(char c, int x, int y) { return font_bitmap[y * sheet_w + 24 * (c - 32) + x]; }

// Rightmost cell column that holds a non-zero pixel, or -1.
int last_inked_column(char c) {
  int last = -1;
  for (int y = 0; y < 28; ++y)
    for (int x = 0; x < 24; ++x)
      if (glyph_pixel(c, x, y) != 0) last = std::max(last, x);
  return last;
}

double brightness(std::uint8_t index) {
  const std::uint8_t* e = font_palette + 3 * index;
  return 0.11 * e[0] + 0.59 * e[1] + 0.30 * e[2];
}

std::vector<CaptionEvent> captions() {
  std::vector<CaptionEvent> records(caption_count);
  resolve_caption_rows(stored_caption_table, caption_count, reinterpret_cast<const char*>(caption_texts),
                       caption_texts_offset, caption_texts_bytes, records.data());
  return records;
}

TEST(Font, GlyphForEveryCaptionCharacter) {
  std::set<char> used;
  for (const CaptionEvent& caption : captions())
    for (const char* c = caption.text; *c != 0; ++c) used.insert(*c);
  ASSERT_GT(used.size(), 30u);
  for (char c : used) {
    ASSERT_GE(c, 32);
    ASSERT_LE(c, 93);
    if (c == ' ') continue;
    EXPECT_GE(last_inked_column(c), 1) << "no glyph for '" << c << "'";
  }
  EXPECT_EQ(last_inked_column(' '), -1) << "space draws nothing";
}

TEST(Font, GlyphsStayInTheDrawnPartOfTheirCellAndTheirAdvance) {
  for (int ch = 32; ch <= 93; ++ch) {
    const char c = static_cast<char>(ch);
    SCOPED_TRACE(std::string("'") + c + "'");
    for (int x = 0; x < 24; ++x) EXPECT_EQ(glyph_pixel(c, x, 0), 0) << "row 0, column " << x;
    for (int y = 0; y < 28; ++y) EXPECT_EQ(glyph_pixel(c, 0, y), 0) << "column 0, row " << y;
    // The pen moves on by the advance; ink past it would lie under the next
    // glyph's first column or beyond.
    EXPECT_LE(last_inked_column(c), std::min(advance_of(c), 23));
  }
  // The 12 columns after the last whole cell are never read.
  for (int y = 0; y < 28; ++y)
    for (int x = 1488; x < sheet_w; ++x) EXPECT_EQ(font_bitmap[y * sheet_w + x], 0);
}

TEST(Font, WideAndNarrowGlyphsFollowTheAdvance) {
  // W and M use most of their 24 pixels, I and L fit their 8 and 11.
  EXPECT_GE(last_inked_column('W'), 20);
  EXPECT_GE(last_inked_column('M'), 20);
  EXPECT_LE(last_inked_column('I'), 8);
  EXPECT_LE(last_inked_column('L'), 11);
  EXPECT_GE(last_inked_column('O'), 14);
}

TEST(Font, EveryGlyphIsOutlined) {
  // Wherever a glyph meets transparency its pixels are dark, so that the
  // letters stand out on bright and dark backgrounds alike, and inside
  // they are bright.
  for (int ch = 33; ch <= 93; ++ch) {
    const char c = static_cast<char>(ch);
    double brightest = 0.0;
    for (int y = 1; y < 28; ++y) {
      for (int x = 1; x < 24; ++x) {
        const std::uint8_t v = glyph_pixel(c, x, y);
        if (v == 0) continue;
        brightest = std::max(brightest, brightness(v));
        bool edge = y == 27 || x == 23;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            if (!edge && glyph_pixel(c, x + dx, y + dy) == 0) edge = true;
        if (edge) {
          EXPECT_LT(brightness(v), 6.0) << "'" << c << "' at (" << x << ", " << y << ")";
        }
      }
    }
    EXPECT_GT(brightest, 40.0) << "'" << c << "'";
  }
}

TEST(Font, EveryCaptionStaysInsideTheFrame) {
  // Ink past column 319 would continue at the left of the next row.
  for (const CaptionEvent& caption : captions()) {
    SCOPED_TRACE(caption.text);
    std::uint32_t pen = caption.x;
    std::uint32_t right = 0;
    for (const char* c = caption.text; *c != 0; ++c) {
      if (*c != ' ' && last_inked_column(*c) >= 1)
        right = std::max<std::uint32_t>(right, pen + last_inked_column(*c) - 1);
      pen += advance_of(*c);
    }
    EXPECT_LE(right, 319u);
    EXPECT_LE(caption.y + 26, 199u);
  }
}

}  // namespace
