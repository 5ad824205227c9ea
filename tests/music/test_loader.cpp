// The module loader on modules built in memory, and on real songs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "demo/memfile.h"
#include "music/module_writer.h"

namespace {

struct LoaderTest : ::testing::Test {
  std::int64_t blocks_before = 0;
  Song* song = nullptr;
  void SetUp() override { blocks_before = music_blocks_in_use.load(); }
  void TearDown() override {
    free_song(song);
    music_allocation_hook = nullptr;
    EXPECT_EQ(music_blocks_in_use.load(), blocks_before) << "the player's heap leaked";
  }
  Song* load(const TestModule& module) { return song = load_bytes(write_module(module)); }
};

Cell cell(std::uint8_t note, std::uint8_t instrument = 0, std::uint8_t volume = 0, std::uint8_t effect = 0,
          std::uint8_t parameter = 0) {
  return {note, instrument, volume, effect, parameter};
}

bool same_cell(const Cell& a, const Cell& b) {
  return a.note == b.note && a.instrument == b.instrument && a.volume_column == b.volume_column &&
         a.effect == b.effect && a.parameter == b.parameter;
}

TEST_F(LoaderTest, HeaderFieldsReachTheSong) {
  TestModule module = one_pattern_module(12, 64, {});
  module.song_length = 3;
  module.restart_position = 1;
  module.flags = 1;
  module.tempo = 6;
  module.bpm = 118;
  module.orders = {0, 0, 0};
  ASSERT_NE(load(module), nullptr);
  EXPECT_EQ(last_load_result, load_ok);
  EXPECT_EQ(song->song_length, 3);
  EXPECT_EQ(song->restart_position, 1);
  EXPECT_EQ(song->channel_count, 12);
  EXPECT_EQ(song->instrument_count, 1);
  EXPECT_EQ(song->flags, 1);
  EXPECT_EQ(song->default_tempo, 6);
  EXPECT_EQ(song->default_bpm, 118);
  EXPECT_EQ(song->initial_global_volume, 64);
  EXPECT_EQ(song->tick_handler, &song_tick);
  EXPECT_EQ(song->next, song);
  EXPECT_EQ(song->prev, song);
  EXPECT_EQ(song->channels, nullptr);
  EXPECT_EQ(song->playing, 0);
  ASSERT_EQ(song->pattern_count, 1);
  EXPECT_EQ(song->patterns[0].rows, 64);
}

TEST_F(LoaderTest, MaskedPlainAndMixedCellsDecodeAlike) {
  const std::vector<std::pair<std::pair<int, int>, Cell>> cells = {{{0, 0}, cell(49, 1, 0x40, 0x0C, 0x20)},
                                                                   {{0, 3}, cell(0, 2)},
                                                                   {{5, 1}, cell(12, 0, 0, 0x0F, 3)},
                                                                   {{63, 2}, cell(96, 1, 0x10, 0, 0)},
                                                                   {{7, 0}, cell(0, 0, 0, 0x0E, 0x62)}};
  TestModule reference = one_pattern_module(4, 64, cells);
  ASSERT_NE(load(reference), nullptr);
  std::vector<Cell> expected(song->patterns[0].cells, song->patterns[0].cells + 256);
  EXPECT_TRUE(same_cell(expected[0], cell(49, 1, 0x40, 0x0C, 0x20)));
  EXPECT_TRUE(same_cell(expected[5 * 4 + 1], cell(12, 0, 0, 0x0F, 3)));
  EXPECT_TRUE(same_cell(expected[63 * 4 + 2], cell(96, 1, 0x10, 0, 0)));
  free_song(song);
  song = nullptr;
  for (XmPacking packing : {XmPacking::masked, XmPacking::plain}) {
    TestModule module = reference;
    module.patterns[0].packing = packing;
    ASSERT_NE(load(module), nullptr);
    for (int c = 0; c < 256; ++c) {
      EXPECT_TRUE(same_cell(song->patterns[0].cells[c], expected[c])) << "cell " << c;
    }
    free_song(song);
    song = nullptr;
  }
}

TEST_F(LoaderTest, PackedBytesAreConsumedExactly) {
  // Two channels, two rows: a bare mask (one byte), a plain cell with no
  // note (five bytes), a mask with only the effect parameter, and a mask
  // whose bits 5 and 6 are set as well.
  TestModule module = one_pattern_module(2, 2, {});
  module.patterns[0].raw_data = std::vector<std::uint8_t>{0x80, 0x00, 0x02, 0x03, 0x04, 0x05, 0x90, 0x33, 0xE1, 0x30};
  ASSERT_NE(load(module), nullptr);
  const Cell* cells = song->patterns[0].cells;
  EXPECT_TRUE(same_cell(cells[0], cell(0)));
  EXPECT_TRUE(same_cell(cells[1], cell(0, 2, 3, 4, 5)));
  EXPECT_TRUE(same_cell(cells[2], cell(0, 0, 0, 0, 0x33)));
  EXPECT_TRUE(same_cell(cells[3], cell(0x30)));
  // The instrument after the pattern still lines up.
  EXPECT_EQ(song->instruments[0].sample_count, 1);
  EXPECT_EQ(song->instruments[0].samples[0]->length, 256u);
}

TEST_F(LoaderTest, KeyOffAndInstrumentLimits) {
  TestModule module = one_pattern_module(
      4, 1, {{{0, 0}, cell(97, 128)}, {{0, 1}, cell(98, 129)}, {{0, 2}, cell(0xFE, 255)}, {{0, 3}, cell(96, 1)}});
  module.patterns[0].packing = XmPacking::masked;
  ASSERT_NE(load(module), nullptr);
  const Cell* cells = song->patterns[0].cells;
  EXPECT_EQ(cells[0].note, key_off_note);
  EXPECT_EQ(cells[0].instrument, 128);
  EXPECT_EQ(cells[1].note, 98);
  EXPECT_EQ(cells[1].instrument, 0);
  EXPECT_EQ(cells[2].note, 0xFE);
  EXPECT_EQ(cells[2].instrument, 0);
  EXPECT_EQ(cells[3].note, 96);
  EXPECT_EQ(cells[3].instrument, 1);
}

TEST_F(LoaderTest, EmptyPatternsAndPatternsTheOrdersNameButTheFileLacks) {
  TestModule module = one_pattern_module(3, 32, {});
  module.patterns.resize(17, module.patterns[0]);
  module.patterns[4].rows = 200;
  module.song_length = 4;
  module.orders = {0, 20, 4, 1, 250};  // 250 lies beyond the song length
  ASSERT_NE(load(module), nullptr);
  EXPECT_EQ(song->used_pattern_count, 21);
  EXPECT_EQ(song->pattern_count, 21);
  EXPECT_EQ(song->patterns[4].rows, 200);
  // Empty rows need no cells: neither the patterns stored without data nor
  // the ones the file lacks have any.
  for (int p = 0; p <= 20; ++p) {
    ASSERT_EQ(song->patterns[p].cells, nullptr) << p;
    ASSERT_EQ(song->patterns[p].cell_rows, 0) << p;
  }
  for (int p = 17; p <= 20; ++p) {
    ASSERT_EQ(song->patterns[p].rows, 64);
  }
}

TEST_F(LoaderTest, StoredPatternsBeyondTheOrdersStillLoad) {
  TestModule module = one_pattern_module(2, 8, {});
  module.patterns.resize(5, module.patterns[0]);
  ASSERT_NE(load(module), nullptr);
  EXPECT_EQ(song->used_pattern_count, 1);
  EXPECT_EQ(song->pattern_count, 5);
}

TEST_F(LoaderTest, SongLengthIsKeptWithinTheOrderTable) {
  TestModule module = one_pattern_module(2, 8, {});
  module.song_length = 0;
  module.orders = {2};
  ASSERT_NE(load(module), nullptr);
  EXPECT_EQ(song->song_length, 1);
  EXPECT_EQ(song->pattern_count, 3);
  free_song(song);
  module.song_length = 1000;
  module.orders.assign(256, 0);
  module.orders[255] = 3;
  ASSERT_NE(load(module), nullptr);
  EXPECT_EQ(song->song_length, 256);
  EXPECT_EQ(song->pattern_count, 4);
}

TEST_F(LoaderTest, ChannelCountsBeyondTheVoicesDoNotLoad) {
  TestModule module = one_pattern_module(256, 2, {});
  ASSERT_NE(load(module), nullptr);
  EXPECT_EQ(song->channel_count, 256);
  free_song(song);
  const std::uint16_t channel_counts[] = {257, 0x8000, 0xFFFF};
  for (std::uint16_t channels : channel_counts) {
    module.channels = channels;
    module.patterns[0].cells.clear();
    EXPECT_EQ(load(module), nullptr);
    EXPECT_EQ(last_load_result, load_bad_header);
  }
}

TEST_F(LoaderTest, EightBitDeltasWidenToSixteenBits) {
  TestModule module = one_pattern_module(1, 1, {});
  TestSample& sample = module.instruments[0].samples[0];
  sample.data = {1, 1, 0xFF};
  sample.loop = 0;
  ASSERT_NE(load(module), nullptr);
  const Sample* loaded = song->instruments[0].samples[0];
  ASSERT_EQ(loaded->length, 3u);
  EXPECT_EQ(loaded->bits, 16);
  EXPECT_EQ(loaded->data[0], 256);
  EXPECT_EQ(loaded->data[1], 512);
  EXPECT_EQ(loaded->data[2], 256);
  EXPECT_EQ(loaded->data[-1], 0);
  // Without a loop, the frame after the end repeats frame 0.
  EXPECT_EQ(loaded->loop_type, loop_none);
  EXPECT_EQ(loaded->loop_start, 0u);
  EXPECT_EQ(loaded->loop_length, 3u);
  EXPECT_EQ(loaded->data[3], 256);
  for (int k = 4; k < 11; ++k) {
    EXPECT_EQ(loaded->data[k], 0);
  }
}

TEST_F(LoaderTest, SixteenBitSamplesDecodeAndWrap) {
  TestModule module = one_pattern_module(1, 1, {});
  TestSample& sample = module.instruments[0].samples[0];
  sample.sixteen_bit = true;
  sample.data = delta_16bit({1000, -32768, 32767, -1, 0});
  sample.loop = 1;
  sample.loop_start = 2;   // bytes: frame 1
  sample.loop_length = 6;  // bytes: frames 1..3
  ASSERT_NE(load(module), nullptr);
  const Sample* loaded = song->instruments[0].samples[0];
  ASSERT_EQ(loaded->length, 5u);
  EXPECT_EQ(loaded->data[0], 1000);
  EXPECT_EQ(loaded->data[1], -32768);
  EXPECT_EQ(loaded->data[2], 32767);
  EXPECT_EQ(loaded->data[3], -1);
  EXPECT_EQ(loaded->loop_type, loop_forward);
  EXPECT_EQ(loaded->loop_start, 1u);
  EXPECT_EQ(loaded->loop_length, 3u);
  // The frame after the loop end is never played, and holds the guard: a
  // copy of the loop start.
  EXPECT_EQ(loaded->data[4], -32768);
}

TEST_F(LoaderTest, ASixteenBitLoopOfOneByteIsNoLoop) {
  TestModule module = one_pattern_module(1, 1, {});
  TestSample& sample = module.instruments[0].samples[0];
  sample.sixteen_bit = true;
  sample.data = delta_16bit({5, 6, 7, 8});
  sample.loop = 1;
  sample.loop_start = 4;
  sample.loop_length = 1;
  ASSERT_NE(load(module), nullptr);
  const Sample* loaded = song->instruments[0].samples[0];
  EXPECT_EQ(loaded->loop_type, loop_none);
  EXPECT_EQ(loaded->loop_start, 0u);
  EXPECT_EQ(loaded->loop_length, 4u);
  EXPECT_EQ(loaded->data[4], 5);
}

TEST_F(LoaderTest, PingPongLoopsGuardWithTheFrameBeforeTheEnd) {
  TestModule module = one_pattern_module(1, 1, {});
  std::vector<std::int8_t> values(4000);
  for (std::size_t k = 0; k < values.size(); ++k) {
    values[k] = static_cast<std::int8_t>(k * 7);
  }
  const std::uint8_t types[] = {2, 3};
  for (std::uint8_t type : types) {  // type 3 has both loop bits: ping-pong wins
    module.instruments[0].samples[0] = looped_sample(values, type, 1085, 2591);
    ASSERT_NE(load(module), nullptr);
    const Sample* loaded = song->instruments[0].samples[0];
    EXPECT_EQ(loaded->loop_type, loop_ping_pong);
    EXPECT_EQ(loaded->data[3676], loaded->data[3675]);
    EXPECT_EQ(loaded->data[3675], static_cast<std::int16_t>(static_cast<std::int8_t>(3675 * 7) * 256));
    free_song(song);
    song = nullptr;
  }
}

TEST_F(LoaderTest, LoopsAreKeptInsideTheirSample) {
  TestModule module = one_pattern_module(1, 1, {});
  const std::vector<std::int8_t> values = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
  struct Case {
    std::uint32_t start, length;
    std::uint8_t type;
    std::uint32_t loaded_start, loaded_length;
  };
  for (const Case& c : {Case{4, 100, loop_forward, 4, 6}, Case{9, 0xFFFFFFFF, loop_ping_pong, 9, 1},
                        Case{10, 5, loop_none, 0, 10}, Case{0xFFFFFFF0, 0x20, loop_none, 0, 10}}) {
    module.instruments[0].samples[0] = looped_sample(values, 1, c.start, c.length);
    if (c.type == loop_ping_pong) {
      module.instruments[0].samples[0].loop = 2;
    }
    ASSERT_NE(load(module), nullptr);
    const Sample* loaded = song->instruments[0].samples[0];
    EXPECT_EQ(loaded->loop_type, c.type) << c.start;
    EXPECT_EQ(loaded->loop_start, c.loaded_start) << c.start;
    EXPECT_EQ(loaded->loop_length, c.loaded_length) << c.start;
    free_song(song);
    song = nullptr;
  }
}

TEST_F(LoaderTest, InstrumentFieldsAndSampleSlots) {
  TestModule module = one_pattern_module(1, 1, {});
  TestInstrument& instrument = module.instruments[0];
  instrument.samples.resize(3, instrument.samples[0]);
  instrument.samples[1].volume = 33;
  instrument.samples[1].finetune = -16;
  instrument.samples[1].panning = 255;
  instrument.samples[1].relative_note = -12;
  instrument.keymap[0] = 2;
  instrument.keymap[95] = 1;
  instrument.volume_envelope = {{0, 64}, {4, 0}, {10, 32}};
  instrument.panning_envelope = {{0, 32}};
  instrument.volume_sustain = 1;
  instrument.volume_loop_start = 0;
  instrument.volume_loop_end = 2;
  instrument.volume_type = 7;
  instrument.panning_type = 1;
  instrument.vibrato_type = 2;
  instrument.vibrato_sweep = 3;
  instrument.vibrato_depth = 4;
  instrument.vibrato_rate = 5;
  instrument.fadeout = 261;
  TestInstrument loud = instrument;
  loud.fadeout = 40000;
  loud.volume_points = 200;
  loud.samples.resize(1);
  module.instruments.push_back(TestInstrument{});  // no samples
  module.instruments.push_back(loud);
  ASSERT_NE(load(module), nullptr);
  ASSERT_EQ(song->instrument_count, 3);

  const Instrument& first = song->instruments[0];
  EXPECT_EQ(first.sample_count, 3);
  for (int s = 3; s < 16; ++s) {
    EXPECT_EQ(first.samples[s], &empty_sample);
  }
  EXPECT_EQ(first.samples[1]->volume, 33);
  EXPECT_EQ(first.samples[1]->finetune, -16);
  EXPECT_EQ(first.samples[1]->panning, 255);
  EXPECT_EQ(first.samples[1]->relative_note, -12);
  EXPECT_EQ(first.keymap[0], 2);
  EXPECT_EQ(first.keymap[95], 1);
  EXPECT_EQ(first.volume_points, 3);
  EXPECT_EQ(first.volume_envelope[1].x, 4);
  EXPECT_EQ(first.volume_envelope[2].y, 32);
  EXPECT_EQ(first.volume_sustain, 1);
  EXPECT_EQ(first.volume_loop_end, 2);
  EXPECT_EQ(first.volume_type, 7);
  EXPECT_EQ(first.panning_points, 1);
  EXPECT_EQ(first.panning_type, 0) << "an envelope of fewer than two points is off";
  EXPECT_EQ(first.vibrato_type, 2);
  EXPECT_EQ(first.vibrato_sweep, 3);
  EXPECT_EQ(first.vibrato_depth, 4);
  EXPECT_EQ(first.vibrato_rate, 5);
  EXPECT_EQ(first.fadeout, 522);

  const Instrument& second = song->instruments[1];
  EXPECT_EQ(second.sample_count, 0);
  for (int s = 0; s < 16; ++s) {
    EXPECT_EQ(second.samples[s], &empty_sample);
  }
  EXPECT_EQ(second.volume_points, 0);
  EXPECT_EQ(second.fadeout, 0);
  EXPECT_EQ(second.keymap[0], 0);

  const Instrument& third = song->instruments[2];
  EXPECT_EQ(third.fadeout, static_cast<std::uint16_t>(80000));
  EXPECT_EQ(third.volume_points, 12) << "only twelve points are stored";
  EXPECT_EQ(third.volume_type, 7);

  // Releasing the song releases each own sample with its data once.
  const std::int64_t blocks = music_blocks_in_use.load();
  free_song(song);
  song = nullptr;
  const std::int64_t patterns_and_records = 1 + 1 + 1;  // song, pattern array, instruments (no cells: no data)
  EXPECT_EQ(blocks - music_blocks_in_use.load(), patterns_and_records + 4 * 2);
}

TEST_F(LoaderTest, SixteenSamplesLoadAndSeventeenDoNot) {
  TestModule module = one_pattern_module(1, 1, {});
  module.instruments[0].samples.resize(16, module.instruments[0].samples[0]);
  ASSERT_NE(load(module), nullptr);
  EXPECT_EQ(song->instruments[0].sample_count, 16);
  free_song(song);
  module.instruments.push_back(module.instruments[0]);
  module.instruments[1].samples.resize(17, module.instruments[0].samples[0]);
  EXPECT_EQ(load(module), nullptr);
  EXPECT_EQ(last_load_result, load_too_many_samples);
}

TEST_F(LoaderTest, TheIdentificationTextMustMatchWithItsBlank) {
  TestModule module = one_pattern_module(1, 1, {});
  for (const char* id : {"extended Module: ", "Extended Module:", "Extended Module:\t", "XM"}) {
    module.id = id;
    EXPECT_EQ(load(module), nullptr) << id;
    EXPECT_EQ(last_load_result, load_not_module);
  }
  module.id = "Extended Module: ";
  ASSERT_NE(load(module), nullptr);
  use_buffer_file({});
  EXPECT_EQ(load_song("empty.xm"), nullptr);
  EXPECT_EQ(last_load_result, load_not_module);
}

TEST_F(LoaderTest, AFileTheCallbacksRefuseGivesNullAndNoLeak) {
  use_buffer_file(write_module(one_pattern_module(1, 1, {})));
  EXPECT_EQ(load_song("missing"), nullptr);
  EXPECT_EQ(last_load_result, load_cannot_open);
}

// Cut at every byte: inside the identification or the module header the
// load fails with its reason; from the first pattern on, the module loads
// as far as the file goes, with what is missing empty and counted, and
// nothing leaks either way.
TEST_F(LoaderTest, EveryTruncationOfAModuleLoadsWhatIsThere) {
  TestModule module = one_pattern_module(2, 4, {{{0, 0}, cell(49, 1)}, {{3, 1}, cell(0, 0, 0x30)}});
  module.instruments.push_back(module.instruments[0]);
  module.instruments[1].samples[0].sixteen_bit = true;
  module.instruments[1].samples[0].data = delta_16bit({1, 2, 3, 4});
  module.instruments[1].samples[0].loop = 0;
  const std::vector<std::uint8_t> bytes = write_module(module);
  const std::size_t patterns_start = 60 + module.header_size;
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    Song* loaded = load_bytes(cut);
    if (size < 17) {
      ASSERT_EQ(loaded, nullptr) << size;
      ASSERT_EQ(last_load_result, load_not_module) << size;
    } else if (size < 336) {
      ASSERT_EQ(loaded, nullptr) << size;
      ASSERT_EQ(last_load_result, load_truncated) << size;
    } else {
      ASSERT_NE(loaded, nullptr) << size;
      ASSERT_EQ(loaded->instrument_count, 2) << size;
      const MissingParts& missing = last_load_missing;
      ASSERT_GT(missing.patterns + missing.instruments + missing.samples, 0) << size;
      if (size < patterns_start + 9) {
        ASSERT_EQ(missing.first_pattern, 0) << size;
        ASSERT_EQ(missing.first_pattern_row, 0) << size;
        ASSERT_EQ(loaded->patterns[0].rows, 64) << size;
      }
      if (missing.patterns == 0) {
        ASSERT_EQ(loaded->patterns[0].cells[0].note, 49) << size;
      }
      for (int i = 0; i < 2; ++i) {
        for (const Sample* sample : loaded->instruments[i].samples) {
          ASSERT_NE(sample, nullptr) << size;
        }
      }
      free_song(loaded);
    }
    ASSERT_EQ(music_blocks_in_use.load(), blocks_before) << size;
  }
  ASSERT_NE(song = load_bytes(bytes), nullptr);
  EXPECT_EQ(last_load_missing.patterns + last_load_missing.instruments + last_load_missing.samples, 0);
  EXPECT_EQ(last_load_missing.first_pattern, -1);
}

// A pattern whose data ends with the file: the rows it reached keep their
// cells, the rest read as empty, and the loss is reported from its first
// row without data.
TEST_F(LoaderTest, ACutPatternKeepsItsRowsAndTheRestAreEmpty) {
  TestModule module = one_pattern_module(2, 8, {{{0, 0}, cell(49, 1)}, {{5, 1}, cell(50, 1)}});
  module.patterns[0].packing = XmPacking::plain;  // 5 bytes a cell
  module.instruments.clear();
  std::vector<std::uint8_t> bytes = write_module(module);
  // Cut inside cell 7 (row 3, channel 1): rows 0..2 and cell 6 arrive.
  bytes.resize(bytes.size() - 5 * (16 - 7) - 2);
  ASSERT_NE(song = load_bytes(bytes), nullptr);
  const Pattern& pattern = song->patterns[0];
  EXPECT_EQ(pattern.rows, 8);
  EXPECT_EQ(pattern.cells[0].note, 49);
  EXPECT_EQ(last_load_missing.patterns, 1);
  EXPECT_EQ(last_load_missing.first_pattern, 0);
  EXPECT_EQ(last_load_missing.first_pattern_row, 3);
  // What the sequencer reads: row 5's note is gone with the rest.
  ASSERT_TRUE(open_offline_output(44100));
  ASSERT_TRUE(play_song(song));
  for (std::int32_t row = 0; row < 8; ++row) {
    song->row.store(row);
    const Cell* cells = row_cells(song);
    if (row == 0) {
      ASSERT_NE(cells, nullptr);
      EXPECT_EQ(cells[0].note, 49);
    } else if (cells != nullptr) {
      EXPECT_EQ(cells[0].note, 0) << row;
      EXPECT_EQ(cells[1].note, 0) << row;
    }
  }
  free_song(song);
  song = nullptr;
  close_output();
}

// Sample data that ends with the file: the frames that arrived decode as
// usual and the missing ones are silent; the sample keeps its length and
// its loop. An instrument the file ends before has no samples.
TEST_F(LoaderTest, ACutSampleKeepsItsLengthWithSilentFrames) {
  TestModule module = one_pattern_module(1, 1, {});
  TestSample& sample = module.instruments[0].samples[0];
  sample.data = delta_8bit({10, 20, 30, 40, 50, 60, 70, 80});
  sample.loop = 1;
  sample.loop_start = 2;
  sample.loop_length = 6;
  const std::size_t one_instrument = write_module(module).size();
  module.instruments.push_back(module.instruments[0]);
  std::vector<std::uint8_t> bytes = write_module(module);
  // All of the second instrument and the last three frames of the first
  // one's sample are cut off.
  bytes.resize(one_instrument - 3);
  ASSERT_NE(song = load_bytes(bytes), nullptr);
  const Sample& loaded = *song->instruments[0].samples[0];
  EXPECT_EQ(loaded.length, 8u);
  EXPECT_EQ(loaded.loop_start, 2u);
  EXPECT_EQ(loaded.loop_length, 6u);
  const std::int16_t expected[] = {10 * 256, 20 * 256, 30 * 256, 40 * 256, 50 * 256, 0, 0, 0};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(loaded.data[k], expected[k]) << k;
  }
  EXPECT_EQ(loaded.data[8], loaded.data[2]) << "the guard frame";
  EXPECT_EQ(song->instruments[1].sample_count, 0);
  EXPECT_EQ(song->instruments[1].samples[0], &empty_sample);
  EXPECT_EQ(last_load_missing.samples, 1);
  EXPECT_EQ(last_load_missing.sample_frames, 3);
  EXPECT_EQ(last_load_missing.instruments, 1);
  EXPECT_EQ(last_load_missing.patterns, 0);
}

// A few header bytes reserve nothing the file cannot fill: a sample said to
// hold 4 GB of frames keeps the frames that are there (the silent rest
// would be longer than the file), and 65535 rows of 32 channels said to
// follow get cells for the rows the data that does follow can reach.
TEST_F(LoaderTest, DeclaredSizesBeyondTheFileAllocateNothing) {
  TestModule module = one_pattern_module(32, 1, {});
  module.instruments[0].samples[0].length = 0xFFFFFFFF;
  const std::size_t before = music_bytes_in_use.load();
  ASSERT_NE(load(module), nullptr);
  EXPECT_LT(music_bytes_in_use.load() - before, 10000u);
  const Sample& sample = *song->instruments[0].samples[0];
  EXPECT_EQ(sample.length, module.instruments[0].samples[0].data.size());
  EXPECT_EQ(last_load_missing.samples, 1);
  free_song(song);

  module = one_pattern_module(32, 1, {});
  module.patterns[0].rows = 0xFFFF;
  module.patterns[0].raw_data = std::vector<std::uint8_t>(100, 0x80);
  module.patterns[0].packed_size = 100;
  module.instruments.clear();
  ASSERT_NE(load(module), nullptr);
  EXPECT_EQ(song->patterns[0].rows, 0xFFFF);
  EXPECT_EQ(song->patterns[0].cell_rows, 4);  // 100 bytes reach 3 rows and a part of the fourth
  EXPECT_EQ(last_load_missing.first_pattern_row, 3);
}

void patch32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int k = 0; k < 4; ++k) {
    bytes[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(value >> (8 * k));
  }
}

TEST_F(LoaderTest, HeaderSizesThatPointAnywhereStayInsideTheFile) {
  std::vector<std::uint8_t> bytes = write_module(one_pattern_module(1, 1, {}));
  patch32(bytes, 60, 0xFFFFFFF0);  // past the end: the patterns are missing
  Song* loaded = load_bytes(bytes);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(last_load_missing.first_pattern, 0);
  EXPECT_EQ(last_load_missing.instruments, 1);
  EXPECT_EQ(loaded->patterns[0].rows, 64);
  free_song(loaded);
  patch32(bytes, 60, 0x80000000);  // negative as a signed value
  loaded = load_bytes(bytes);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(last_load_missing.first_pattern, 0);
  free_song(loaded);

  // Instrument header sizes that point back into the header itself, or
  // before it as signed values: whatever the stream then finds, nothing is
  // read outside a buffer and nothing leaks.
  TestModule module = one_pattern_module(1, 1, {});
  module.instruments.push_back(TestInstrument{});
  for (std::uint32_t size : {0u, 5u, 28u, 0x80000000u, 0xFFFFFFFFu}) {
    for (std::size_t which : {0, 1}) {
      module.instruments[which].declared_header_size = size;
      Song* cut = load_bytes(write_module(module));
      free_song(cut);
      EXPECT_EQ(music_blocks_in_use.load(), blocks_before) << size;
      module.instruments[which].declared_header_size.reset();
    }
  }
}

// Twelve stored patterns of 65535 rows and 256 channels without data, 1 GB
// of cells if they had any: they cost the pattern records alone.
TEST_F(LoaderTest, EmptyPatternsOfAnySizeCostNoCells) {
  TestModule module = one_pattern_module(256, 1, {});
  module.patterns[0].rows = 0xFFFF;
  module.patterns[0].cells.clear();
  module.patterns[0].raw_data = std::vector<std::uint8_t>{};
  module.patterns.resize(12, module.patterns[0]);
  module.instruments.clear();
  const std::size_t before = music_bytes_in_use.load();
  ASSERT_NE(load(module), nullptr);
  EXPECT_LT(music_bytes_in_use.load() - before, 4096u);
  EXPECT_EQ(song->patterns[11].rows, 0xFFFF);
  EXPECT_EQ(song->patterns[11].cells, nullptr);
}

// A song whose data does need more than the heap gives fails cleanly.
TEST_F(LoaderTest, ASongBeyondTheMemoryBudgetFailsCleanly) {
  music_allocation_hook = [](std::size_t bytes) { return bytes < 1000; };
  TestModule module = one_pattern_module(4, 64, {{{0, 0}, cell(49, 1)}});
  EXPECT_EQ(load(module), nullptr);
  EXPECT_EQ(last_load_result, load_out_of_memory);
}

// Fails the allocation with the given number (from 1), counting from when
// it is armed.
std::int64_t allocations_seen = 0;
std::int64_t failing_allocation = 0;
bool fail_one_allocation(std::size_t) { return ++allocations_seen != failing_allocation; }

TEST_F(LoaderTest, EveryFailedAllocationFailsTheLoadAndLeaksNothing) {
  TestModule module = one_pattern_module(4, 16, {{{0, 0}, cell(49, 1)}});
  module.instruments[0].samples.resize(2, module.instruments[0].samples[0]);
  module.instruments[0].samples[1].sixteen_bit = true;
  module.instruments[0].samples[1].data = delta_16bit({1, 2, 3, 4});
  module.instruments.push_back(TestInstrument{});
  module.instruments.push_back(module.instruments[0]);
  module.song_length = 2;
  module.orders = {0, 3};  // two patterns the file does not store
  const std::vector<std::uint8_t> bytes = write_module(module);
  use_buffer_file(bytes);
  music_allocation_hook = fail_one_allocation;
  for (failing_allocation = 1;; ++failing_allocation) {
    allocations_seen = 0;
    Song* loaded = load_song("module.xm");
    if (loaded != nullptr) {
      free_song(loaded);
      break;
    }
    EXPECT_TRUE(last_load_result == load_out_of_memory || last_load_result == load_cannot_open);
    ASSERT_EQ(music_blocks_in_use.load(), blocks_before) << "allocation " << failing_allocation;
  }
  // Song, file, pattern array, the one pattern's cells (the patterns the
  // file lacks need none), instruments, 4 samples with their data and the
  // scratch of each of the two 8-bit samples: the next attempt found
  // nothing more to fail.
  EXPECT_EQ(failing_allocation, 1 + 1 + 1 + 1 + 1 + 4 * 2 + 2 + 1);
}

// The real songs: the Debian package heroes-sound-tracks, which CI installs.
// Their figures come from an independent walk of each file that skips the
// patterns by their packed size and the samples by their byte count.
struct DeclaredFigures {
  int channels = 0, patterns = 0, instruments = 0, samples = 0;
  std::size_t walked_bytes = 0;
};

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int k = width - 1; k >= 0; --k) {
    value = value << 8 | b.at(at + static_cast<std::size_t>(k));
  }
  return value;
}

DeclaredFigures walk_module(const std::vector<std::uint8_t>& b) {
  DeclaredFigures figures;
  figures.channels = static_cast<int>(le(b, 68, 2));
  figures.patterns = static_cast<int>(le(b, 70, 2));
  figures.instruments = static_cast<int>(le(b, 72, 2));
  std::size_t at = 60 + le(b, 60, 4);
  for (int p = 0; p < figures.patterns; ++p) {
    at += le(b, at, 4) + le(b, at + 7, 2);
  }
  for (int i = 0; i < figures.instruments; ++i) {
    const std::size_t start = at;
    const std::uint32_t count = le(b, at + 27, 2);
    figures.samples += static_cast<int>(count);
    at = start + le(b, at, 4);
    std::size_t data = 0;
    for (std::uint32_t s = 0; s < count; ++s) {
      data += le(b, at, 4);
      at += 40;
    }
    at += data;
  }
  figures.walked_bytes = at;
  return figures;
}

TEST_F(LoaderTest, EveryHeroesSongLoadsWithItsDeclaredFigures) {
  const char* names[] = {"endscroll", "heroes01", "heroes02", "heroes03", "heroes04", "heroes05", "heroes06",
                         "heroes07",  "heroes08", "heroes09", "heroes10", "intro",    "menu"};
  for (const char* name : names) {
    const std::string path = std::string("/usr/share/games/heroes/mod/") + name + ".xm";
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file.good()) << path
                             << " is missing: install the Debian package heroes-sound-tracks, which these tests need";
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const DeclaredFigures declared = walk_module(bytes);
    EXPECT_EQ(declared.walked_bytes, bytes.size()) << name;
    ASSERT_NE(song = load_bytes(bytes), nullptr) << name << ": " << load_result_text(last_load_result);
    EXPECT_EQ(song->channel_count, declared.channels) << name;
    EXPECT_GE(song->pattern_count, declared.patterns) << name;
    EXPECT_EQ(song->instrument_count, declared.instruments) << name;
    int samples = 0;
    for (int i = 0; i < song->instrument_count; ++i) {
      samples += song->instruments[i].sample_count;
      for (int s = 0; s < 16; ++s) {
        ASSERT_NE(song->instruments[i].samples[s], nullptr);
      }
    }
    EXPECT_EQ(samples, declared.samples) << name;
    for (int k = 0; k < song->song_length; ++k) {
      EXPECT_LT(song->order_table[k], song->pattern_count) << name;
    }
    free_song(song);
    song = nullptr;
    EXPECT_EQ(music_blocks_in_use.load(), blocks_before) << name;
  }
}

}  // namespace

namespace {

// The built-in song through the application's memory file: the stream walk
// ends exactly at the end of the image.
TEST_F(LoaderTest, TheBuiltInSongLoadsFromTheMemoryFile) {
  set_music_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
  ASSERT_NE(song = load_song("tolvanes.xm"), nullptr) << load_result_text(last_load_result);
  EXPECT_EQ(memfile_position, 431134);
  EXPECT_EQ(song->channel_count, 12);
  for (int k = 0; k < song->song_length; ++k) {
    EXPECT_LT(song->order_table[k], song->pattern_count);
  }
}

}  // namespace
