// The score's text notation: every field's forms, the round trip through
// formatting, and the errors a musician's typing mistakes must give.
#include <gtest/gtest.h>

#include "tools/song/score_text.h"

namespace {

XmCell cell_of(const std::string& text) {
  XmCell cell;
  const std::string problem = parse_cell(text, cell);
  EXPECT_EQ(problem, "") << text;
  return cell;
}

std::string problem_of(const std::string& text) {
  XmCell cell;
  return parse_cell(text, cell);
}

}  // namespace

TEST(ScoreCell, ReadsNotesInstrumentsVolumesAndEffects) {
  EXPECT_EQ(cell_of("C-2 10 .. ..."), (XmCell{25, 16, 0, 0, 0}));
  EXPECT_EQ(cell_of("C-0 01 00 000"), (XmCell{1, 1, 0x10, 0, 0}));
  EXPECT_EQ(cell_of("B-7 80 40 A0F"), (XmCell{96, 128, 0x50, 0x0A, 0x0F}));
  EXPECT_EQ(cell_of("A-4 .. .. ..."), (XmCell{58, 0, 0, 0, 0}));
  EXPECT_EQ(cell_of("C#4 .. .. ..."), (XmCell{50, 0, 0, 0, 0}));
  EXPECT_EQ(cell_of("=== .. .. K00"), (XmCell{97, 0, 0, 0x14, 0}));
  EXPECT_EQ(cell_of("... .. .. X12"), (XmCell{0, 0, 0, 0x21, 0x12}));
  EXPECT_EQ(cell_of("... .. .. G40"), (XmCell{0, 0, 0, 0x10, 0x40}));
  EXPECT_EQ(cell_of("... .. .. R82"), (XmCell{0, 0, 0, 0x1B, 0x82}));
  EXPECT_EQ(cell_of("... .. .. T11"), (XmCell{0, 0, 0, 0x1D, 0x11}));
  EXPECT_EQ(cell_of("... .. .. P10"), (XmCell{0, 0, 0, 0x19, 0x10}));
  EXPECT_EQ(cell_of("... .. .. L10"), (XmCell{0, 0, 0, 0x15, 0x10}));
  EXPECT_EQ(cell_of("... .. .. e93"), (XmCell{0, 0, 0, 0x0E, 0x93}));
}

TEST(ScoreCell, ReadsEveryVolumeColumnCommand) {
  const struct {
    const char* text;
    std::uint8_t byte;
  } cases[] = {{"-3", 0x63}, {"+F", 0x7F}, {"d2", 0x82}, {"u1", 0x91}, {"s4", 0xA4}, {"v8", 0xB8},
               {"pC", 0xCC}, {"l3", 0xD3}, {"r2", 0xE2}, {"m5", 0xF5}, {"3F", 0x4F}, {"20", 0x30}};
  for (const auto& c : cases) {
    const XmCell cell = cell_of(std::string("... .. ") + c.text + " ...");
    EXPECT_EQ(cell.volume_column, c.byte) << c.text;
  }
}

TEST(ScoreCell, FormatsBackToTheSameText) {
  const char* texts[] = {"C-2 10 .. ...", "=== .. .. K00", "G#5 14 3C 4A4", "D-1 0A -3 910", "... .. pC ...",
                         "... .. m8 ...", "B-7 80 40 X21", "F#3 01 u2 E93", "... .. .. ZFF", "C-0 .. d1 037"};
  for (const char* text : texts) EXPECT_EQ(format_cell(cell_of(text)), text);
}

TEST(ScoreCell, RefusesMistypedFields) {
  EXPECT_NE(problem_of("H-4 01 .. ..."), "");  // no such note name
  EXPECT_NE(problem_of("C-8 01 .. ..."), "");  // octave out of range
  EXPECT_NE(problem_of("C-4 00 .. ..."), "");  // instruments start at 1
  EXPECT_NE(problem_of("C-4 81 .. ..."), "");  // and end at 0x80
  EXPECT_NE(problem_of("C-4 01 41 ..."), "");  // volume above 0x40
  EXPECT_NE(problem_of("C-4 01 z1 ..."), "");
  EXPECT_NE(problem_of("C-4 01 .. A0"), "");
  EXPECT_NE(problem_of("C-4 01 .. $00"), "");
  EXPECT_NE(problem_of("C-4 01 .."), "");  // a field missing
  EXPECT_NE(problem_of("C-4 01 .. ... 1"), "");
}

TEST(ScorePattern, ReadsRowsInOrderAndRefusesGapsAndWrongWidths) {
  XmPattern pattern;
  const std::string good =
      "# title\n"
      "#  |a |b\n"
      "00 |C-4 01 .. ...|... .. .. ...\n"
      "\n"
      "01 |... .. .. ...|=== .. .. ...\r\n";
  ASSERT_EQ(parse_pattern_text(good, 2, pattern), "");
  EXPECT_EQ(pattern.rows, 2);
  ASSERT_EQ(pattern.cells.size(), 4u);
  EXPECT_EQ(pattern.cells[0].note, 49);
  EXPECT_EQ(pattern.cells[3].note, 97);
  EXPECT_EQ(format_row(pattern, 2, 1), "01 |... .. .. ...|=== .. .. ...");

  EXPECT_NE(parse_pattern_text("00 |C-4 01 .. ...|... .. .. ...\n02 |... .. .. ...|... .. .. ...\n", 2, pattern), "");
  EXPECT_NE(parse_pattern_text("00 |C-4 01 .. ...\n", 2, pattern), "");
  EXPECT_NE(parse_pattern_text("00 |C-4 01 .. ...|... .. .. ...|... .. .. ...\n", 2, pattern), "");
  EXPECT_NE(parse_pattern_text("# nothing but comments\n", 2, pattern), "");
  const std::string error = "00 |C-4 01 .. ...|... .. .. ...\n01 |C-4 01 .. ...|Q-4 .. .. ...\n";
  EXPECT_NE(parse_pattern_text(error, 2, pattern).find("line 2"), std::string::npos);
}

TEST(ScoreSongFile, ReadsTheHeaderFiguresAndOrders) {
  ScoreSong song;
  ASSERT_EQ(parse_song_text("# c\nname my song\ntempo 6\nbpm 118\nrestart 2\nchannels 12\norders 3 1 4 1\n", song), "");
  EXPECT_EQ(song.name, "my song");
  EXPECT_EQ(song.tempo, 6);
  EXPECT_EQ(song.bpm, 118);
  EXPECT_EQ(song.restart_position, 2);
  EXPECT_EQ(song.channel_count, 12);
  EXPECT_EQ(song.orders, (std::vector<std::uint8_t>{3, 1, 4, 1}));
  EXPECT_NE(parse_song_text("tempo 6\n", song), "");            // no orders
  EXPECT_NE(parse_song_text("orders 1 256\n", song), "");       // not a pattern number
  EXPECT_NE(parse_song_text("orders 1\nspeed 3\n", song), "");  // unknown key
  EXPECT_NE(parse_song_text("orders 1\ntempo six\n", song), "");
}
