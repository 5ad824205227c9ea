// The pattern effects and the volume column, tick by tick.
#include "music/song_player.h"

namespace {

using Effects = SongPlayerTest;

Cell with_effect(std::uint8_t effect, std::uint8_t parameter, std::uint8_t note = 49, std::uint8_t volume = 0) {
  return {note, static_cast<std::uint8_t>(note != 0 ? 1 : 0), volume, effect, parameter};
}

// A note on channel 0 of row 0 with the given effect, at speed 6.
bool start_effect(Effects& test, std::uint8_t effect, std::uint8_t parameter, std::uint16_t flags = 1,
                  std::uint8_t volume = 0) {
  TestModule module = test_module(1, 8, {{{0, 0}, with_effect(effect, parameter, 49, volume)}});
  module.flags = flags;
  return test.start(module);
}

// The channel's period_delta after each of the row's ticks.
std::vector<std::int32_t> period_deltas(Effects& test, int ticks) {
  std::vector<std::int32_t> deltas;
  for (int k = 0; k < ticks; ++k) {
    test.tick();
    deltas.push_back(test.channel(0).period_delta);
  }
  return deltas;
}

std::vector<std::int32_t> volumes(Effects& test, int ticks) {
  std::vector<std::int32_t> values;
  for (int k = 0; k < ticks; ++k) {
    test.tick();
    values.push_back(test.channel(0).volume + test.channel(0).volume_delta);
  }
  return values;
}

TEST_F(Effects, ArpeggioOnTheLinearAndTheAmigaTable) {
  ASSERT_TRUE(start_effect(*this, 0x00, 0x37));
  EXPECT_EQ(period_deltas(*this, 6), (std::vector<std::int32_t>{0, 192, 448, 0, 192, 448}));
  ASSERT_TRUE(start_effect(*this, 0x00, 0x37, 0));
  const std::vector<std::int32_t> amiga = period_deltas(*this, 3);
  EXPECT_EQ(amiga[0], 0);
  EXPECT_EQ(amiga[1], amiga_period(51, 0) - 1712);
  EXPECT_EQ(amiga[2], amiga_period(55, 0) - 1712);
  EXPECT_LT(amiga[1], 0);
  ASSERT_TRUE(start_effect(*this, 0x00, 0x00));
  EXPECT_EQ(period_deltas(*this, 3), (std::vector<std::int32_t>{0, 0, 0}));
}

TEST_F(Effects, VibratoWaveforms) {
  // Sine, speed 8, depth 15, from phase 0, in one row of 16 ticks.
  ASSERT_TRUE(start(test_module(1, 8, {{{0, 0}, with_effect(0x04, 0x8F)}}, 16)));
  std::vector<std::int32_t> deltas;
  std::vector<int> phases;
  for (int k = 0; k < 9; ++k) {
    phases.push_back(channel(0).vib_position);
    tick();
    if (k > 0 && k < 9) {
      deltas.push_back(channel(0).period_delta);
    }
  }
  // Tick 0 applies phase 0 without advancing; each later tick applies, then advances.
  EXPECT_EQ(deltas, (std::vector<std::int32_t>{0, -84, -116, -84, 0, 84, 116, 84}));
  EXPECT_EQ(phases, (std::vector<int>{0, 0, 8, 16, 24, -32, -24, -16, -8}));
  channel(0).vib_position = 1;
  apply_vibrato(channel(0));
  EXPECT_EQ(channel(0).period_delta, -8);

  // Square (E42), depth 8: 8 x 255 >> 5 = 63, cleared to 60.
  Channel c = {};
  c.waveform_control = 2;
  c.vib_depth = 8;
  for (int p : {0, 17, 31, -1, -32}) {
    c.vib_position = static_cast<std::int8_t>(p);
    apply_vibrato(c);
    EXPECT_EQ(c.period_delta, p >= 0 ? -60 : 60) << p;
  }
  // Ramp: 8p up from 0, 255 - (8p mod 256) below 0.
  c.waveform_control = 1;
  c.vib_depth = 15;
  const std::pair<int, std::int32_t> ramp[] = {
      {0, 0}, {31, -(((15 * 248) >> 5) & ~3)}, {-32, ((15 * 255) >> 5) & ~3}, {-1, ((15 * 7) >> 5) & ~3}};
  for (const auto& [p, delta] : ramp) {
    c.vib_position = static_cast<std::int8_t>(p);
    apply_vibrato(c);
    EXPECT_EQ(c.period_delta, delta) << p;
  }
}

TEST_F(Effects, TheWaveformControlKeepsThePhaseAtATrigger) {
  TestModule module = test_module(
      1, 4, {{{0, 0}, with_effect(0x0E, 0x44)}, {{1, 0}, with_effect(0x04, 0x84)}, {{2, 0}, with_effect(0, 0)}});
  ASSERT_TRUE(start(module));
  tick(12);
  const std::int8_t phase = channel(0).vib_position;
  EXPECT_NE(phase, 0);
  tick();
  EXPECT_EQ(channel(0).vib_position, phase) << "waveform 4 and up keep the phase";
  module.patterns[0].cells[0] = with_effect(0x0E, 0x40);
  ASSERT_TRUE(start(module));
  tick(13);
  EXPECT_EQ(channel(0).vib_position, 0);
}

TEST_F(Effects, TremorSoundsThreeTicksAndPausesFour) {
  TestModule module = test_module(1, 4, {{{0, 0}, with_effect(0x1D, 0x23)}, {{1, 0}, with_effect(0x1D, 0x00, 0)}});
  ASSERT_TRUE(start(module));
  const std::vector<std::int32_t> expected = {64, 64, 64, 0, 0, 0, 0, 64, 64, 64, 0, 0};
  EXPECT_EQ(volumes(*this, 12), expected);
}

TEST_F(Effects, MultiRetriggerChangesTheVolumeAndRestarts) {
  ASSERT_TRUE(start_effect(*this, 0x1B, 0x12));
  tick();
  std::vector<std::int32_t> values;
  std::vector<std::uint32_t> positions;
  for (int k = 1; k < 6; ++k) {
    voice(0).position = 99;
    tick();
    values.push_back(channel(0).volume);
    positions.push_back(voice(0).position);
  }
  EXPECT_EQ(values, (std::vector<std::int32_t>{64, 63, 63, 62, 62}));
  EXPECT_EQ(positions, (std::vector<std::uint32_t>{99, 0, 99, 0, 99}));
  // The volume actions.
  const std::pair<std::uint8_t, std::int32_t> actions[] = {{0, 40}, {3, 36},  {5, 24},  {6, 26},  {7, 20},
                                                           {8, 40}, {11, 44}, {13, 56}, {14, 60}, {15, 64}};
  for (const auto& [action, volume] : actions) {
    ASSERT_TRUE(start_effect(*this, 0x1B, static_cast<std::uint8_t>(action << 4 | 1), 1, 0x38));
    tick(2);
    EXPECT_EQ(channel(0).volume, volume) << int(action);
  }
}

TEST_F(Effects, NoteCutAndNoteDelay) {
  ASSERT_TRUE(start_effect(*this, 0x0E, 0xC3));
  EXPECT_EQ(volumes(*this, 6), (std::vector<std::int32_t>{64, 64, 64, 0, 0, 0}));
  ASSERT_TRUE(start_effect(*this, 0x0E, 0xC0));
  EXPECT_EQ(volumes(*this, 6), (std::vector<std::int32_t>{64, 64, 64, 64, 64, 64}));

  // ED3: an old note sounds on; the new one starts on tick 3, and until then
  // only the frequency reaches the voice.
  TestModule module = test_module(1, 4, {{{0, 0}, with_effect(0, 0, 37)}, {{1, 0}, with_effect(0x0E, 0xD3, 49, 0x30)}});
  ASSERT_TRUE(start(module));
  tick(6);
  channel(0).volume = 50;
  voice(0).position = 5;
  std::vector<std::uint8_t> flags;
  for (int k = 0; k < 6; ++k) {
    tick();
    flags.push_back(channel(0).update_flags);
    if (k == 0) {
      EXPECT_EQ(channel(0).volume, 50) << "restored on tick 0";
      EXPECT_EQ(channel(0).period, 7680 - 64 * 36);
      EXPECT_EQ(channel(0).note_period, 4608);
    }
    if (k == 2) {
      EXPECT_EQ(voice(0).position, 5u);
    }
    if (k == 3) {
      EXPECT_EQ(voice(0).position, 0u);
      EXPECT_EQ(channel(0).period, 4608);
      EXPECT_EQ(channel(0).volume, 32) << "the volume column comes with the delayed note";
    }
  }
  for (int k : {0, 1, 2, 4, 5}) {
    EXPECT_EQ(flags[k], UPDATE_FREQUENCY) << k;
  }
  EXPECT_EQ(flags[3] & (START_SAMPLE | UPDATE_VOLUME | UPDATE_FREQUENCY),
            START_SAMPLE | UPDATE_VOLUME | UPDATE_FREQUENCY);
}

TEST_F(Effects, SampleOffsets) {
  TestModule module = test_module(2, 4,
                                  {{{0, 0}, with_effect(0x09, 0x01)},
                                   {{0, 1}, with_effect(0x09, 0x02)},
                                   {{1, 0}, with_effect(0x09, 0x00, 0)},
                                   {{2, 0}, with_effect(0, 0)}});
  std::vector<std::int8_t> values(600, 10);
  module.instruments[0].samples[0] = looped_sample(values, 0, 0, 0);
  ASSERT_TRUE(start(module));
  tick();
  EXPECT_EQ(voice(0).position, 256u);
  EXPECT_EQ(voice(1).position, 512u);
  tick(5);
  tick();  // 9xx without a note: arms the next start
  EXPECT_EQ(voice(0).start_offset, 256u);
  tick(5);
  tick();
  EXPECT_EQ(voice(0).position, 256u);
  // An offset at or beyond the loop end silences the channel.
  module.patterns[0].cells[0] = with_effect(0x09, 0x03);
  ASSERT_TRUE(start(module));
  voice(0).sample = &empty_sample;
  tick();
  EXPECT_EQ(voice(0).sample, nullptr);
  EXPECT_EQ(voice(0).start_offset, 0u);
  EXPECT_NE(channel(0).update_flags & STOP_VOICE, 0);
}

TEST_F(Effects, PortamentoLimits) {
  ASSERT_TRUE(start_effect(*this, 0x01, 0x02));
  tick();
  channel(0).period = 60;
  tick();
  EXPECT_EQ(channel(0).period, 56);
  tick();
  EXPECT_EQ(channel(0).period, 56);
  ASSERT_TRUE(start_effect(*this, 0x02, 0xFF));
  tick(6);
  EXPECT_EQ(channel(0).period, 4608 + 5 * 4 * 255);
  // Fine and extra fine slides move once, on tick 0, with their memories.
  ASSERT_TRUE(start_effect(*this, 0x0E, 0x13));
  tick(6);
  EXPECT_EQ(channel(0).period, 4608 - 12);
  ASSERT_TRUE(start_effect(*this, 0x21, 0x25));
  tick(6);
  EXPECT_EQ(channel(0).period, 4608 + 5);
  EXPECT_EQ(channel(0).extra_fine_down_speed, 5);
}

TEST_F(Effects, TonePortamentoStopsAtItsTarget) {
  TestModule module = test_module(
      1, 4,
      {{{0, 0}, with_effect(0, 0, 49)}, {{1, 0}, with_effect(0x03, 0x20, 50)}, {{2, 0}, with_effect(0x03, 0x00, 0)}});
  ASSERT_TRUE(start(module));
  tick(7);
  EXPECT_EQ(channel(0).portamento_target, 4608 - 64);
  tick();
  EXPECT_EQ(channel(0).period, 4608 - 64);
  tick(10);
  EXPECT_EQ(channel(0).period, 4608 - 64);
}

TEST_F(Effects, VolumeSlidesOnEffectAndColumn) {
  ASSERT_TRUE(start_effect(*this, 0x0A, 0x0F));
  EXPECT_EQ(volumes(*this, 6), (std::vector<std::int32_t>{64, 49, 34, 19, 4, 0}));
  ASSERT_TRUE(start_effect(*this, 0x0A, 0xF1));  // up wins
  EXPECT_EQ(volumes(*this, 2), (std::vector<std::int32_t>{64, 64}));
  ASSERT_TRUE(start_effect(*this, 0, 0, 1, 0x6F));
  EXPECT_EQ(volumes(*this, 6), (std::vector<std::int32_t>{49, 34, 19, 4, 0, 0}));
  ASSERT_TRUE(start_effect(*this, 0, 0, 1, 0x8F));
  EXPECT_EQ(volumes(*this, 3), (std::vector<std::int32_t>{49, 49, 49}));
  ASSERT_TRUE(start_effect(*this, 0, 0, 1, 0x50));
  EXPECT_EQ(volumes(*this, 1), (std::vector<std::int32_t>{64}));
  ASSERT_TRUE(start_effect(*this, 0, 0, 1, 0x55));  // does nothing
  EXPECT_EQ(volumes(*this, 1), (std::vector<std::int32_t>{64}));
}

TEST_F(Effects, SetVolumeGlobalVolumeAndItsSlide) {
  ASSERT_TRUE(start_effect(*this, 0x0C, 0x50));
  tick();
  EXPECT_EQ(channel(0).volume, 64);
  ASSERT_TRUE(start_effect(*this, 0x10, 0x80));
  tick();
  EXPECT_EQ(song->global_volume, 64);
  ASSERT_TRUE(start_effect(*this, 0x10, 0x20));
  tick();
  EXPECT_EQ(song->global_volume, 32);
  EXPECT_EQ(voice(0).volume, 63);
  TestModule module = test_module(1, 4, {{{0, 0}, with_effect(0x11, 0x05)}});
  ASSERT_TRUE(start(module));
  tick(6);
  EXPECT_EQ(song->global_volume, 64 - 25);
  EXPECT_EQ(song->global_volume_slide, 5);
}

TEST_F(Effects, PanningEffects) {
  ASSERT_TRUE(start_effect(*this, 0x08, 0x20));
  tick();
  EXPECT_EQ(channel(0).panning, 0x20);
  EXPECT_EQ(voice(0).panning, 0x20);
  ASSERT_TRUE(start_effect(*this, 0x0E, 0x8F));
  tick();
  EXPECT_EQ(channel(0).panning, 240);
  ASSERT_TRUE(start_effect(*this, 0x19, 0xF0));
  tick(6);
  EXPECT_EQ(channel(0).panning, 128 + 5 * 15);
  ASSERT_TRUE(start_effect(*this, 0, 0, 1, 0xDF));  // column slide left, every tick
  tick(6);
  EXPECT_EQ(channel(0).panning, 128 - 6 * 15);
  ASSERT_TRUE(start_effect(*this, 0, 0, 1, 0xC3));
  tick();
  EXPECT_EQ(channel(0).panning, 48);
}

TEST_F(Effects, SetSpeedAndBpm) {
  ASSERT_TRUE(start_effect(*this, 0x0F, 0x03));
  tick();
  EXPECT_EQ(song->tempo, 3);
  ASSERT_TRUE(start_effect(*this, 0x0F, 0x76));
  tick();
  EXPECT_EQ(song->bpm, 118);
  EXPECT_EQ(song->samples_per_tick, 934);
}

TEST_F(Effects, EnvelopePositionMovesTheVolumeEnvelope) {
  TestModule module = test_module(1, 4, {{{0, 0}, with_effect(0x15, 0x05)}});
  module.instruments[0].volume_envelope = {{0, 64}, {10, 0}};
  module.instruments[0].volume_type = 1;
  ASSERT_TRUE(start(module));
  tick();
  EXPECT_EQ(channel(0).volume_envelope_step, -419430);
  EXPECT_EQ(channel(0).volume_envelope_value, 2097154);
  EXPECT_EQ(channel(0).envelope_volume, 32);
  EXPECT_EQ(channel(0).volume_envelope_point, 1);
  EXPECT_EQ(channel(0).volume_envelope_tick, 5);
  // Past the last point: done at its value.
  module.patterns[0].cells[0] = with_effect(0x15, 0x30);
  ASSERT_TRUE(start(module));
  tick();
  EXPECT_EQ(channel(0).envelope_volume, 0);
  EXPECT_EQ(channel(0).volume_envelope_done, 1);
}

TEST_F(Effects, SetFinetuneChangesTheSampleForLaterNotes) {
  TestModule module = test_module(1, 4, {{{0, 0}, with_effect(0x0E, 0x58)}, {{1, 0}, with_effect(0, 0)}});
  ASSERT_TRUE(start(module));
  tick(7);
  EXPECT_EQ(song->instruments[0].samples[0]->finetune, 8);
  EXPECT_EQ(channel(0).period, 4608 - 4);
  EXPECT_EQ(empty_sample.finetune, 0);
}

TEST_F(Effects, KeyOffEffect) {
  TestModule module = test_module(1, 4, {{{0, 0}, with_effect(0, 0)}, {{1, 0}, with_effect(0x14, 0x00, 0)}});
  ASSERT_TRUE(start(module));
  tick(7);
  EXPECT_EQ(channel(0).key_released, 1);
  EXPECT_EQ(channel(0).envelope_volume, 0);
}

TEST_F(Effects, VolumeColumnVibratoAndTonePortamento) {
  ASSERT_TRUE(start_effect(*this, 0, 0, 1, 0xA8));
  tick();
  EXPECT_EQ(channel(0).vib_speed, 8);
  ASSERT_TRUE(start_effect(*this, 0, 0, 1, 0xBF));
  tick();
  EXPECT_EQ(channel(0).vib_depth, 15);
  EXPECT_EQ(channel(0).period_delta, 0);
  TestModule module = test_module(1, 4, {{{0, 0}, with_effect(0, 0, 49)}, {{1, 0}, with_effect(0, 0, 61, 0xF2)}});
  ASSERT_TRUE(start(module));
  tick(6);
  voice(0).position = 9;
  tick();
  // The column's tone portamento does not hold the note: the period jumps,
  // and the sample goes on without a restart.
  EXPECT_EQ(channel(0).period, 3840);
  EXPECT_EQ(channel(0).portamento_speed, 32);
  EXPECT_EQ(voice(0).position, 9u);
}

TEST_F(Effects, UnknownEffectsDoNothing) {
  const std::uint8_t unknown[] = {0x07, 0x12, 0x13, 0x16, 0x1A, 0x1C, 0x20, 0x22, 0x40, 0xFF};
  for (std::uint8_t effect : unknown) {
    ASSERT_TRUE(start_effect(*this, effect, 0x55));
    tick(6);
    EXPECT_EQ(channel(0).volume, 64) << int(effect);
    EXPECT_EQ(channel(0).period, 4608) << int(effect);
    EXPECT_EQ(channel(0).panning, 128) << int(effect);
  }
}

}  // namespace
