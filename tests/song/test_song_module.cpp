// The song itself: the committed module is what the builder makes from the
// score, it has the figures the demo relies on, and the score puts its hits
// on exactly the rows the show's timeline uses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include "tools/song/instrument_set.h"
#include "tools/song/song_builder.h"
#include "tools/song/xm_writer.h"

namespace {

std::string source_dir() {
  const char* dir = std::getenv("VORNA_SOURCE_DIR");
  return dir ? dir : ".";
}

const Score& score() {
  static Score s;
  static const std::string problem = read_score(source_dir() + "/tools/song/score", s);
  EXPECT_EQ(problem, "");
  return s;
}

const XmModule& module() {
  static XmModule m;
  static const std::string problem = build_module(score(), m);
  EXPECT_EQ(problem, "");
  return m;
}

std::vector<std::uint8_t> committed_module() {
  std::ifstream in(source_dir() + "/assets/tolvanes.xm", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const XmPattern& pattern_at_order(int order) { return score().patterns.at(score().song.orders.at(order)); }

// Rows of a pattern on which the instrument starts a note (any channel).
std::set<int> rows_with(const XmPattern& pattern, std::uint8_t instrument) {
  std::set<int> rows;
  const std::uint16_t channels = score().song.channel_count;
  for (int row = 0; row < pattern.rows; ++row)
    for (int c = 0; c < channels; ++c) {
      const XmCell& cell = pattern.cells[row * channels + c];
      if (cell.instrument == instrument && cell.note >= 1 && cell.note <= 96) rows.insert(row);
    }
  return rows;
}

}  // namespace

TEST(SongModule, TheCommittedModuleIsWhatTheBuilderMakes) {
  const std::vector<std::uint8_t> built = write_module(module());
  const std::vector<std::uint8_t> committed = committed_module();
  ASSERT_EQ(built.size(), song_file_size);
  ASSERT_EQ(committed.size(), song_file_size) << "assets/tolvanes.xm is missing or has the wrong size";
  std::size_t first_difference = 0;
  while (first_difference < built.size() && built[first_difference] == committed[first_difference]) ++first_difference;
  EXPECT_EQ(first_difference, built.size()) << "assets/tolvanes.xm is stale: run `make assets`";
}

TEST(SongModule, BuildingTwiceGivesTheSameBytes) {
  XmModule again;
  ASSERT_EQ(build_module(score(), again), "");
  EXPECT_EQ(write_module(again), write_module(module()));
}

TEST(SongModule, HasTheShapeTheDemoExpects) {
  const XmModule& m = module();
  EXPECT_EQ(m.orders.size(), 19u);
  EXPECT_EQ(m.restart_position, 0);
  EXPECT_EQ(m.channel_count, 12);
  EXPECT_EQ(m.patterns.size(), 17u);
  for (const XmPattern& pattern : m.patterns) EXPECT_EQ(pattern.rows, 64);
  EXPECT_EQ(m.instruments.size(), 27u);
  int empty = 0;
  for (const XmInstrument& instrument : m.instruments) empty += instrument.samples.empty();
  EXPECT_EQ(empty, 6);
  EXPECT_EQ(m.flags, 1);
  EXPECT_EQ(m.tempo, 6);
  EXPECT_EQ(m.bpm, 118);
  // Every stored pattern is played, and two of them twice.
  std::set<std::uint8_t> used(m.orders.begin(), m.orders.end());
  EXPECT_EQ(used.size(), 17u);
  EXPECT_EQ(*used.rbegin(), 16);
  EXPECT_EQ(m.orders[0], 10);
  // The last sample is the crash and its data ends the file.
  EXPECT_EQ(m.instruments.back().samples.size(), 1u);
  EXPECT_GE(m.instruments.back().samples[0].frames.size(), shortest_crash);
}

TEST(SongModule, OpensWithTheDroneAlone) {
  const XmPattern& first = pattern_at_order(0);
  for (int c = 0; c < 12; ++c) {
    const XmCell expected = c == 7 ? XmCell{25, ins_drone, 0, 0, 0} : XmCell{};
    EXPECT_EQ(first.cells[c], expected) << "channel " << c;
  }
}

TEST(SongModule, KeepsTheClockLinear) {
  // Position jumps, pattern breaks, pattern loops, pattern delays and speed
  // changes would move the show's timeline away from the rows it counts.
  for (std::size_t p = 0; p < score().patterns.size(); ++p)
    for (const XmCell& cell : score().patterns[p].cells) {
      const bool moves = cell.effect == 0x0B || cell.effect == 0x0D || cell.effect == 0x0F ||
                         (cell.effect == 0x0E && ((cell.parameter >> 4) == 6 || (cell.parameter >> 4) == 0x0E));
      EXPECT_FALSE(moves) << "pattern " << p << " has effect " << int(cell.effect) << " " << int(cell.parameter);
    }
}

TEST(SongModule, HitsLandOnTheTimelinesRows) {
  struct Hits {
    std::vector<int> orders;
    std::uint8_t instrument;
    std::set<int> rows;
    const char* what;
  };
  const std::set<int> captions = {0, 1, 5, 7};
  const std::set<int> swaps = {4, 9, 12, 20, 25, 28, 36, 39, 41, 44, 57, 62, 63};
  const Hits hits[] = {
      {{1, 2, 3}, ins_stab, captions, "caption words"},
      {{4}, ins_stab, {0, 1, 5, 7, 0x20, 0x28, 0x30, 0x38}, "caption words"},
      {{4}, ins_tom, {0x04, 0x14, 0x24, 0x2C, 0x34, 0x37, 0x39, 0x3C, 0x3E, 0x3F}, "object flashes"},
      {{5, 6, 7}, ins_impact, {0, 29, 32}, "object pulses"},
      {{13}, ins_stab, {28, 29, 30}, "three captions"},
      {{14, 15, 16, 17}, ins_stab, swaps, "picture swaps"},
      {{16, 17}, ins_bell, {0, 8, 16, 24, 32, 40, 48, 56}, "greetings"},
      {{18}, ins_bell, {5}, "closing credit"},
  };
  for (const Hits& h : hits)
    for (int order : h.orders)
      EXPECT_EQ(rows_with(pattern_at_order(order), h.instrument), h.rows) << h.what << " in order " << order;
}

TEST(SongModule, HitsAreNotDelayedOffTheirRows) {
  // A note delay would move the sound off the row the picture changes on.
  const std::uint8_t hit_instruments[] = {ins_stab, ins_tom, ins_impact, ins_bell};
  for (const XmPattern& pattern : score().patterns)
    for (const XmCell& cell : pattern.cells)
      for (std::uint8_t instrument : hit_instruments) {
        if (cell.instrument == instrument && cell.note >= 1 && cell.note <= 96) {
          EXPECT_FALSE(cell.effect == 0x0E && (cell.parameter >> 4) == 0x0D);
        }
      }
}

TEST(SongModule, UsesTheFormatsEffectsAndVolumeColumn) {
  // The song is also the player's workout: each of these must stay in the
  // score when it is edited.
  std::set<int> effects;       // effect number, or 0x100 + extended command
  std::set<int> volume_kinds;  // high nibble of the volume-column byte
  for (const XmPattern& pattern : score().patterns)
    for (const XmCell& cell : pattern.cells) {
      if (cell.effect == 0x0E) effects.insert(0x100 + (cell.parameter >> 4));
      else if (cell.effect != 0 || cell.parameter != 0) effects.insert(cell.effect);
      if (cell.volume_column)
        volume_kinds.insert(cell.volume_column >= 0x10 && cell.volume_column <= 0x50 ? 1 : cell.volume_column >> 4);
    }
  const struct {
    int effect;
    const char* name;
  } wanted[] = {{0x00, "arpeggio"},
                {0x01, "portamento up"},
                {0x02, "portamento down"},
                {0x03, "tone portamento"},
                {0x04, "vibrato"},
                {0x05, "tone portamento and volume slide"},
                {0x06, "vibrato and volume slide"},
                {0x08, "panning"},
                {0x09, "sample offset"},
                {0x0A, "volume slide"},
                {0x10, "global volume"},
                {0x11, "global volume slide"},
                {0x14, "key off"},
                {0x15, "envelope position"},
                {0x19, "panning slide"},
                {0x1B, "multi retrigger"},
                {0x1D, "tremor"},
                {0x21, "extra fine portamento"},
                {0x101, "fine portamento up"},
                {0x102, "fine portamento down"},
                {0x104, "vibrato waveform"},
                {0x109, "retrigger"},
                {0x10A, "fine volume slide"},
                {0x10C, "note cut"},
                {0x10D, "note delay"}};
  for (const auto& w : wanted) EXPECT_TRUE(effects.count(w.effect)) << w.name;
  // Set volume, slides down and up, fine slides, vibrato speed and depth,
  // panning, panning slides and tone portamento.
  for (int kind : {1, 6, 7, 8, 9, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF})
    EXPECT_TRUE(volume_kinds.count(kind)) << "volume column " << kind;
  // Key-offs in the note column let the envelopes' releases and fadeouts work.
  bool key_off = false;
  for (const XmPattern& pattern : score().patterns)
    for (const XmCell& cell : pattern.cells) key_off = key_off || cell.note == xm_key_off;
  EXPECT_TRUE(key_off);
}
