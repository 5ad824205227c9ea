// Timed captions: when they come up and go, and where the writer puts
// their glyphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "demo/demo.h"
#include "fx2d/fx2d.h"
#include "music/music.h"
#include "shell/shell.h"

namespace {

class Captions : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_buffer = frame.data();
    for (auto& entry : active_captions) {
      entry = ActiveCaption{nullptr, 0, 0};
    }
    init_captions_and_palettes();
    ASSERT_TRUE(resolve_caption_table());
    demo_song = &song;
  }
  void TearDown() override {
    demo_song = nullptr;
    frame_buffer = nullptr;
  }
  void at(std::uint32_t position) {
    song.order.store(static_cast<std::int32_t>(position >> 8));
    song.row.store(static_cast<std::int32_t>(position & 0xFF));
  }
  static std::vector<std::string> on_screen() {
    std::vector<std::string> texts;
    for (const ActiveCaption* entry = active_captions; entry != caption_list_end; ++entry) {
      texts.push_back(entry->text);
    }
    return texts;
  }
  // Replaces the table with rows of the given (start, end); the rest never come up.
  void use_rows(std::vector<std::pair<std::uint32_t, std::uint32_t>> rows) {
    for (int i = 0; i < caption_count; ++i) {
      caption_table[i].start = 0xFFFF;
      caption_table[i].end = 0xFFFF;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
      caption_table[i].start = rows[i].first;
      caption_table[i].end = rows[i].second;
    }
  }

  std::vector<std::uint16_t> frame = std::vector<std::uint16_t>(64000, 0);
  Song song{};
};

TEST_F(Captions, StartUpEmptiesTheListAndConvertsTheFontAndSpritePalettes) {
  static const char text[] = "LAME";
  active_captions[0] = {text, 20, 10};
  active_captions[1] = {text, 31, 10};
  caption_list_end = active_captions + 2;
  std::fill(std::begin(font_colours), std::end(font_colours), std::uint16_t{0x1234});
  std::fill(std::begin(sprite_colours), std::end(sprite_colours), std::uint16_t{0x1234});

  init_captions_and_palettes();

  EXPECT_EQ(caption_list_end, active_captions);
  for (const ActiveCaption& caption : active_captions) EXPECT_EQ(caption.text, nullptr);
  Palette565 expected;
  convert_palette(font_palette, expected);
  EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), std::begin(font_colours)));
  convert_palette(sprite_palette, expected);
  EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), std::begin(sprite_colours)));
}

TEST_F(Captions, ComeUpOnTheirStartRowAndGoAfterTheirEnd) {
  at(0x0100);
  update_captions();
  at(0x0101);
  update_captions();
  EXPECT_EQ(on_screen(), (std::vector<std::string>{"LAME", " SCHOOL"}));
  at(0x0121);  // past LAME's end (0x0120), not yet past " SCHOOL"'s (0x0121)
  update_captions();
  EXPECT_EQ(on_screen(), std::vector<std::string>{" SCHOOL"});
  at(0x0122);
  update_captions();
  EXPECT_TRUE(on_screen().empty());
}

TEST_F(Captions, AStartRowWithoutAnUpdateNeverBringsItsCaption) {
  at(0x0104);
  update_captions();
  at(0x0106);  // " FLA" starts at 0x0105, which no update saw
  update_captions();
  at(0x0107);
  update_captions();
  EXPECT_EQ(on_screen(), std::vector<std::string>{"VOUR"});
}

TEST_F(Captions, ComeUpOnlyOnceEvenWhenTheSongRepeats) {
  at(0x0100);
  update_captions();
  at(0x0200);
  update_captions();
  EXPECT_EQ(on_screen(), std::vector<std::string>{"100"});
  at(0x0100);
  update_captions();
  EXPECT_EQ(on_screen(), std::vector<std::string>{"100"});
}

TEST_F(Captions, RemovingOneFromTheMiddleKeepsTheOrderOfTheOthers) {
  use_rows({{1, 9}, {2, 3}, {3, 9}, {4, 9}});
  for (std::uint32_t p = 1; p <= 4; ++p) {
    at(p);
    update_captions();
  }
  std::vector<std::string> texts;
  for (int i : {0, 2, 3}) {
    texts.push_back(caption_table[i].text);
  }
  EXPECT_EQ(on_screen(), texts);
  EXPECT_EQ(active_captions[3].text, nullptr);
}

// The frame a sequence of single glyphs draws on black.
std::vector<std::uint16_t> glyphs_at(std::vector<std::pair<char, std::uint32_t>> glyphs) {
  std::vector<std::uint16_t> frame(64000, 0);
  std::uint16_t* saved = frame_buffer;
  frame_buffer = frame.data();
  for (auto [c, column] : glyphs) {
    draw_glyph(c, 10 * 320 + column);
  }
  frame_buffer = saved;
  return frame;
}

TEST_F(Captions, TheWriterAdvancesElevenForLAndTwentyFourForM) {
  draw_text("LAME", 10 * 320 + 20);
  EXPECT_EQ(frame, glyphs_at({{'L', 20}, {'A', 31}, {'M', 47}, {'E', 71}}));
  EXPECT_TRUE(std::any_of(frame.begin(), frame.end(), [](std::uint16_t p) { return p != 0; }));
}

TEST_F(Captions, ALeadingSpaceMovesThePenWithoutDrawing) {
  draw_text(" SCHOOL", 10 * 320 + 80);
  EXPECT_EQ(frame, glyphs_at({{'S', 96}, {'C', 112}, {'H', 128}, {'O', 144}, {'O', 160}, {'L', 176}}));
}

TEST_F(Captions, GlyphsDrawOnlyTheirInkAndNeverPastTheFrame) {
  std::fill(frame.begin(), frame.end(), 0x1234);
  draw_glyph('A', 190 * 320 + 310);  // runs off the right edge and off the bottom
  std::size_t changed = 0;
  for (std::uint16_t p : frame) {
    changed += p != 0x1234;
  }
  EXPECT_GT(changed, 0u);
  draw_glyph('\x7F', 0);  // no cell for it: nothing drawn
  draw_glyph(' ', 320 * 100);
  std::size_t after = 0;
  for (std::uint16_t p : frame) {
    after += p != 0x1234;
  }
  EXPECT_EQ(after, changed);
}

}  // namespace
