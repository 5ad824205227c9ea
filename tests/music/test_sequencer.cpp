// The sequencer: ticks, rows and orders, note and instrument triggering,
// the voice volume and panning, and the frequency tables.
#include "music/song_player.h"

namespace {

using Sequencer = SongPlayerTest;

Cell note_cell(std::uint8_t note, std::uint8_t instrument = 1, std::uint8_t volume = 0, std::uint8_t effect = 0,
               std::uint8_t parameter = 0) {
  return {note, instrument, volume, effect, parameter};
}
Cell effect_cell(std::uint8_t effect, std::uint8_t parameter) { return {0, 0, 0, effect, parameter}; }

TEST_F(Sequencer, TickLengthsAtBpm118And125) {
  ASSERT_TRUE(start(test_module(1, 4, {}, 6, 118)));
  EXPECT_EQ(song->samples_per_tick, 934);
  ASSERT_TRUE(start(test_module(1, 4, {}, 6, 125)));
  EXPECT_EQ(song->samples_per_tick, 882);
  // At speed 6 a row lasts six ticks: 5292 frames of output.
  std::int32_t rows_started = 0;
  for (int chunk = 0; chunk < 12; ++chunk) {
    render_next_chunk();
  }
  rows_started = song_row(song);
  EXPECT_EQ(rows_started, 12 * 884 / 5292);
}

TEST_F(Sequencer, RowsAndOrdersAdvanceAndWrapToTheRestartPosition) {
  TestModule module = test_module(2, 4, {}, 2);
  module.patterns.push_back(module.patterns[0]);
  module.patterns[1].rows = 2;
  module.song_length = 3;
  module.orders = {0, 1, 0};
  module.restart_position = 1;
  ASSERT_TRUE(start(module));
  std::vector<std::uint16_t> positions;
  for (int row = 0; row < 12; ++row) {
    positions.push_back(position());
    tick(2);
    if (row == 9) {
      EXPECT_EQ(song->wrapped.load(), 1);
    }
    if (row < 9) {
      EXPECT_EQ(song->wrapped.load(), 0) << row;
    }
  }
  // The first tick reads row 0, so the position moves one tick later.
  tick();
  const std::vector<std::uint16_t> expected = {0x0000, 0x0000, 0x0001, 0x0002, 0x0003, 0x0100,
                                               0x0101, 0x0200, 0x0201, 0x0202, 0x0203, 0x0100};
  EXPECT_EQ(positions, expected);
}

TEST_F(Sequencer, ARestartPositionOutsideTheSongStartsFromTheTop) {
  TestModule module = test_module(1, 1, {}, 1);
  module.song_length = 2;
  module.orders = {0, 0};
  module.restart_position = 7;
  ASSERT_TRUE(start(module));
  tick(2);
  EXPECT_EQ(song_order(song), 1);
  tick();
  EXPECT_EQ(song_order(song), 0);
  EXPECT_EQ(song->wrapped.load(), 1);
}

TEST_F(Sequencer, TempoZeroReadsARowOnEveryTick) {
  ASSERT_TRUE(start(test_module(1, 8, {{{0, 0}, effect_cell(0x0F, 0)}}, 6)));
  tick();
  EXPECT_EQ(song->tempo, 0);
  for (int row = 1; row < 5; ++row) {
    tick();
    EXPECT_EQ(song_row(song), row);
    EXPECT_EQ(song->tick, 0);
  }
}

TEST_F(Sequencer, PatternDelayRepeatsTheRowsTicks) {
  ASSERT_TRUE(start(test_module(1, 4, {{{0, 0}, effect_cell(0x0E, 0xE2)}}, 6)));
  tick();
  EXPECT_EQ(song->pattern_delay_ticks, 12);
  for (int k = 1; k < 18; ++k) {
    EXPECT_EQ(song->tick, k);
    EXPECT_EQ(song_row(song), 0);
    tick();
  }
  EXPECT_EQ(song->tick, 0);
  EXPECT_EQ(song->pattern_delay_ticks, 0);
  tick();
  EXPECT_EQ(song_row(song), 1);
}

TEST_F(Sequencer, JumpAndBreakInOneRowInEitherOrder) {
  for (bool jump_first : {true, false}) {
    TestModule module = test_module(2, 64, {}, 1);
    module.patterns.push_back(module.patterns[0]);
    module.patterns.push_back(module.patterns[0]);
    module.song_length = 3;
    module.orders = {0, 1, 2};
    const Cell jump = effect_cell(0x0B, 2);
    const Cell brk = effect_cell(0x0D, 0x32);
    module.patterns[0].cells[0] = jump_first ? jump : brk;
    module.patterns[0].cells[1] = jump_first ? brk : jump;
    ASSERT_TRUE(start(module));
    tick(2);
    // B then D: row 32 of B's order. D then B: B sets row 0.
    EXPECT_EQ(song_order(song), 2);
    EXPECT_EQ(song_row(song), jump_first ? 32 : 0);
  }
}

TEST_F(Sequencer, BreaksAndJumpsOutOfRange) {
  TestModule module = test_module(1, 64, {{{0, 0}, effect_cell(0x0D, 0x70)}}, 1);
  module.patterns.push_back(module.patterns[0]);
  module.patterns[1].rows = 16;
  module.patterns[1].cells.assign(16, Cell{});
  module.patterns[1].cells[0] = effect_cell(0x0D, 0x20);  // row 20 of a 16-row pattern
  module.song_length = 3;
  module.orders = {0, 1, 1};
  module.restart_position = 1;
  ASSERT_TRUE(start(module));
  tick(2);
  EXPECT_EQ(position(), 0x0100) << "a row above 63 breaks to row 0";
  tick();
  EXPECT_EQ(position(), 0x0200) << "a row beyond the pattern starts it from the top";
  tick();
  EXPECT_EQ(position(), 0x0014) << "at the last order D goes to order 0, not to the restart position";
  EXPECT_EQ(song->wrapped.load(), 0);

  module.patterns[0].cells[0] = effect_cell(0x0B, 9);
  ASSERT_TRUE(start(module));
  tick(2);
  EXPECT_EQ(position(), 0x0000) << "B beyond the song length goes to order 0";
}

TEST_F(Sequencer, PatternLoopPlaysTheRowsFromItsStartAgain) {
  ASSERT_TRUE(start(test_module(1, 16, {{{4, 0}, effect_cell(0x0E, 0x60)}, {{8, 0}, effect_cell(0x0E, 0x63)}}, 1)));
  std::vector<int> rows;
  for (int k = 0; k < 28; ++k) {
    tick();
    rows.push_back(song_row(song));
  }
  std::vector<int> expected = {0, 1, 2, 3};
  for (int pass = 0; pass < 4; ++pass) {
    for (int r = 4; r <= 8; ++r) {
      expected.push_back(r);
    }
  }
  expected.insert(expected.end(), {9, 10, 11, 12});
  EXPECT_EQ(rows, expected);
  EXPECT_EQ(channel(0).loop_counter, 0);
}

TEST_F(Sequencer, NotesSetPeriodsAndStartTheSample) {
  TestModule module = test_module(2, 4, {{{0, 0}, note_cell(49)}, {{0, 1}, note_cell(61)}, {{1, 0}, note_cell(97)}});
  module.instruments[0].samples[0].relative_note = 0;
  ASSERT_TRUE(start(module));
  tick();
  EXPECT_EQ(channel(0).note_index, 48);
  EXPECT_EQ(channel(0).real_note, 48);
  EXPECT_EQ(channel(0).period, 4608);
  EXPECT_EQ(voice(0).frequency, 8363);
  EXPECT_EQ(channel(1).period, 3840);
  EXPECT_EQ(voice(1).frequency, 16726);
  EXPECT_EQ(voice(0).sample, song->instruments[0].samples[0]);
  // Full volume, envelope, fadeout and global volume give voice volume 127.
  EXPECT_EQ(voice(0).volume, 127);
  EXPECT_EQ(voice(0).panning, 128);
}

TEST_F(Sequencer, RelativeNoteAndFinetuneEnterThePeriod) {
  TestModule module = test_module(1, 2, {{{0, 0}, note_cell(49)}});
  module.instruments[0].samples[0].relative_note = -12;
  module.instruments[0].samples[0].finetune = -5;
  ASSERT_TRUE(start(module));
  tick();
  EXPECT_EQ(channel(0).real_note, 36);
  EXPECT_EQ(channel(0).period, 7680 - 64 * 36 - (-5) / 2);  // -5 / 2 truncates to -2
  module.flags = 0;
  ASSERT_TRUE(start(module));
  tick();
  EXPECT_EQ(channel(0).period, amiga_period(36, -5));
}

TEST_F(Sequencer, LinearFrequencies) {
  Channel c = {};
  Song linear = {};
  linear.flags = 1;
  const std::pair<std::int32_t, std::int32_t> cases[] = {{4608, 8363}, {3840, 16726}, {7680, 522}, {5376, 4181}};
  for (const auto& [period, hertz] : cases) {
    c.period = period;
    EXPECT_EQ(note_frequency(c, &linear), hertz) << period;
  }
  c.period = 4608;
  c.period_delta = 768;  // a positive delta raises a linear pitch
  EXPECT_EQ(note_frequency(c, &linear), 16726);
  c.period = -2000000;
  c.period_delta = 0;
  EXPECT_EQ(note_frequency(c, &linear), INT32_MAX) << "beyond the range, limited";
}

TEST_F(Sequencer, AmigaPeriodsAndFrequencies) {
  EXPECT_EQ(amiga_period(48, 0), 1712);
  EXPECT_EQ(amiga_period(48, 127), 1616);
  EXPECT_EQ(amiga_period(48, -128), 1813);
  EXPECT_EQ(amiga_period(0, 0), 27392);
  // Note 0 with a negative finetune moves toward note 1 (the next lower
  // note is not used); the others toward the note below.
  EXPECT_EQ(amiga_period(0, -128), 2 * 27392 - amiga_period(1, 0));
  EXPECT_EQ(amiga_period(49, -64), amiga_period(49, 0) + (amiga_period(48, 0) - amiga_period(49, 0)) / 2);
  Channel c = {};
  Song amiga = {};
  c.period = 1712;
  EXPECT_EQ(note_frequency(c, &amiga), 8362);
  c.period_delta = 1712;  // a positive delta lowers an Amiga pitch
  EXPECT_EQ(note_frequency(c, &amiga), 4181);
}

TEST_F(Sequencer, AnInstrumentAloneResetsTheChannelButDoesNotRestart) {
  ASSERT_TRUE(
      start(test_module(1, 4, {{{0, 0}, note_cell(49)}, {{1, 0}, {0, 1, 0x20, 0, 0}}, {{2, 0}, {0, 1, 0, 0, 0}}})));
  tick(6);
  voice(0).position = 77;
  tick(6);
  EXPECT_EQ(channel(0).volume, 16);
  voice(0).position = 77;
  tick(1);
  EXPECT_EQ(channel(0).volume, 64);
  EXPECT_EQ(channel(0).envelope_volume, 64);
  EXPECT_EQ(voice(0).position, 77u) << "no restart without a note";
}

TEST_F(Sequencer, TonePortamentoRowsKeepTheOldNote) {
  TestModule module = test_module(1, 4, {{{0, 0}, note_cell(49)}, {{1, 0}, note_cell(61, 2, 0, 3, 0x10)}});
  module.instruments.push_back(module.instruments[0]);
  module.instruments[1].samples[0].relative_note = 12;
  ASSERT_TRUE(start(module));
  tick(6);
  voice(0).position = 50;
  tick();
  EXPECT_EQ(channel(0).instrument_index, 0);
  EXPECT_EQ(channel(0).note_index, 48);
  EXPECT_EQ(channel(0).period, 4608);
  EXPECT_EQ(channel(0).note_period, 3840) << "with the old instrument's sample";
  EXPECT_EQ(channel(0).portamento_target, 3840);
  EXPECT_EQ(voice(0).position, 50u);
  tick();
  EXPECT_EQ(channel(0).period, 4608 - 64);
}

TEST_F(Sequencer, ANoteWithoutAnInstrumentOnAFreshChannelIsSilent) {
  ASSERT_TRUE(start(test_module(1, 2, {{{0, 0}, {49, 0, 0, 0, 0}}})));
  tick();
  EXPECT_EQ(voice(0).volume, 0);
}

TEST_F(Sequencer, NotesAbove96AreNoNotes) {
  TestModule module = test_module(1, 2, {{{0, 0}, note_cell(49)}, {{1, 0}, {150, 0, 0, 0, 0}}});
  module.patterns[0].packing = XmPacking::masked;
  ASSERT_TRUE(start(module));
  ASSERT_EQ(song->patterns[0].cells[1].note, 150);
  tick(6);
  voice(0).position = 33;
  tick();
  EXPECT_EQ(channel(0).note_index, 48);
  EXPECT_EQ(voice(0).position, 33u);
}

TEST_F(Sequencer, KeyOffCutsAnInstrumentWithoutAVolumeEnvelope) {
  TestModule module = test_module(2, 4,
                                  {{{0, 0}, note_cell(49)},
                                   {{0, 1}, note_cell(49, 2)},
                                   {{1, 0}, {key_off_note, 0, 0, 0, 0}},
                                   {{1, 1}, {key_off_note, 0, 0, 0, 0}}});
  module.instruments.push_back(module.instruments[0]);
  module.instruments[1].volume_envelope = {{0, 64}, {100, 64}};
  module.instruments[1].volume_type = 1;
  module.instruments[1].fadeout = 1000;
  ASSERT_TRUE(start(module));
  tick(6);
  tick();
  EXPECT_EQ(channel(0).key_released, 1);
  EXPECT_EQ(channel(0).envelope_volume, 0);
  EXPECT_EQ(voice(0).volume, 0);
  EXPECT_EQ(channel(1).key_released, 1);
  EXPECT_EQ(channel(1).envelope_volume, 64);
  EXPECT_EQ(channel(1).fadeout_volume, 65536 - 2000);
}

TEST_F(Sequencer, VoiceVolumeAndPanningFormulas) {
  Channel c = {};
  Voice v = {};
  current_output->voice_table[0] = v;
  c.voice = &current_output->voice_table[0];
  c.voice_index = 0;
  Song s = {};
  s.global_volume = 64;
  c.volume = 64;
  c.envelope_volume = 64;
  c.fadeout_volume = 65536;
  c.panning = 128;
  c.envelope_panning = 64;
  c.update_flags = UPDATE_VOLUME | UPDATE_PANNING;
  update_voice(c, &empty_sample, &s);
  EXPECT_EQ(current_output->voice_table[0].volume, 127);
  EXPECT_EQ(current_output->voice_table[0].panning, 256);
  c.envelope_panning = 0;
  c.volume = 32;
  c.fadeout_volume = 32768;
  update_voice(c, &empty_sample, &s);
  EXPECT_EQ(current_output->voice_table[0].panning, 0);
  EXPECT_EQ(current_output->voice_table[0].volume, 31);  // 2^32 x 255 / 2^35 = 31.875
  // The swing shrinks toward the extremes: 0, 1, 2, 3 or 4 times.
  const std::pair<std::int32_t, std::int32_t> swings[] = {{0, 0}, {20, 20}, {40, 41}, {96, 99}, {255, 255}, {200, 201}};
  c.envelope_panning = 33;
  for (const auto& [panning, voice_panning] : swings) {
    c.panning = panning;
    update_voice(c, &empty_sample, &s);
    EXPECT_EQ(current_output->voice_table[0].panning, voice_panning) << panning;
  }
  // Values from a damaged file stay within the voice's ranges.
  c.volume = 200;
  c.envelope_volume = 5000;
  c.envelope_panning = -900;
  c.panning = 128;
  update_voice(c, &empty_sample, &s);
  EXPECT_EQ(current_output->voice_table[0].volume, 63);
  EXPECT_EQ(current_output->voice_table[0].panning, 0);
}

TEST_F(Sequencer, AZeroPeriodSendsNoFrequency) {
  Channel c = {};
  c.voice = &current_output->voice_table[0];
  Song s = {};
  s.flags = 0;
  current_output->voice_table[0].frequency = 1234;
  c.period = 100;
  c.period_delta = -100;
  c.update_flags = UPDATE_FREQUENCY;
  update_voice(c, &empty_sample, &s);
  EXPECT_EQ(current_output->voice_table[0].frequency, 1234);
}

TEST_F(Sequencer, AnInstrumentTheSongLacksPlaysTheEmptySample) {
  ASSERT_TRUE(start(test_module(1, 2, {{{0, 0}, note_cell(49, 9)}})));
  tick();
  EXPECT_EQ(channel(0).instrument_index, 8);
  std::vector<float> mix(2 * 64, 0.0f);
  mix_voices(mix.data(), &current_output->voice_list, 64);
  EXPECT_EQ(voice(0).sample, nullptr) << "the empty sample ends at once";
}

TEST_F(Sequencer, ABpmOfZeroPlaysAt125) {
  ASSERT_TRUE(start(test_module(1, 2, {}, 6, 0)));
  EXPECT_EQ(song->bpm, 125);
  EXPECT_EQ(song->samples_per_tick, 882);
}

}  // namespace
