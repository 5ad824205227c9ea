// Instrument envelopes, the fadeout and the auto-vibrato.
#include <gtest/gtest.h>

#include <vector>

#include "music/internal.h"

namespace {

struct EnvelopeTest : ::testing::Test {
  Channel channel = {};
  Instrument instrument = {};
  Sample sample = {};

  void SetUp() override {
    sample.volume = 64;
    sample.panning = 128;
  }
  void volume_points(std::initializer_list<EnvelopePoint> points, std::uint8_t type) {
    std::copy(points.begin(), points.end(), instrument.volume_envelope);
    instrument.volume_points = static_cast<std::uint8_t>(points.size());
    instrument.volume_type = type;
  }
  void trigger() {
    channel.update_flags = 0;
    trigger_instrument(channel, sample);
  }
  // The volume envelope's output over the next ticks.
  std::vector<std::int32_t> outputs(int ticks, int release_at = -1) {
    std::vector<std::int32_t> values;
    for (int k = 0; k < ticks; ++k) {
      if (k == release_at) {
        channel.key_released = 1;
      }
      channel.update_flags = 0;
      run_envelopes(channel, instrument, false);
      values.push_back(channel.envelope_volume);
    }
    return values;
  }
};

TEST_F(EnvelopeTest, RunsToItsLastPointAndStops) {
  volume_points({{0, 64}, {4, 0}}, 1);
  trigger();
  EXPECT_EQ(outputs(7), (std::vector<std::int32_t>{64, 48, 32, 16, 0, 0, 0}));
  EXPECT_EQ(channel.volume_envelope_done, 1);
}

TEST_F(EnvelopeTest, HoldsAtTheSustainPointUntilKeyOff) {
  volume_points({{0, 64}, {4, 0}}, 3);
  instrument.volume_sustain = 0;
  trigger();
  EXPECT_EQ(outputs(4), (std::vector<std::int32_t>{64, 64, 64, 64}));
  // The key-off tick still outputs 64 and starts the segment.
  EXPECT_EQ(outputs(6, 0), (std::vector<std::int32_t>{64, 48, 32, 16, 0, 0}));
}

TEST_F(EnvelopeTest, LoopsBetweenItsLoopPoints) {
  volume_points({{0, 64}, {2, 32}, {6, 0}}, 5);
  instrument.volume_loop_start = 1;
  instrument.volume_loop_end = 2;
  trigger();
  EXPECT_EQ(outputs(14), (std::vector<std::int32_t>{64, 48, 32, 24, 16, 8, 32, 24, 16, 8, 32, 24, 16, 8}));
  EXPECT_EQ(channel.volume_envelope_done, 0);
  // The loop keeps running after key-off.
  EXPECT_EQ(outputs(4, 0), (std::vector<std::int32_t>{32, 24, 16, 8}));
}

TEST_F(EnvelopeTest, SustainInsideALoopHoldsThenLoops) {
  volume_points({{0, 0}, {2, 64}, {4, 32}}, 7);
  instrument.volume_sustain = 1;
  instrument.volume_loop_start = 0;
  instrument.volume_loop_end = 2;
  trigger();
  EXPECT_EQ(outputs(5), (std::vector<std::int32_t>{0, 32, 64, 64, 64}));
  EXPECT_EQ(outputs(7, 0), (std::vector<std::int32_t>{64, 48, 0, 32, 64, 48, 0}));
}

TEST_F(EnvelopeTest, IndicesBeyondThePointsAreIgnored) {
  volume_points({{0, 64}, {2, 0}}, 7);
  instrument.volume_sustain = 200;
  instrument.volume_loop_start = 12;
  instrument.volume_loop_end = 1;
  trigger();
  EXPECT_EQ(outputs(4), (std::vector<std::int32_t>{64, 32, 0, 0}));
  EXPECT_EQ(channel.volume_envelope_done, 1);
}

TEST_F(EnvelopeTest, EqualXGivesAStepOfZeroAndALateFirstPointKeepsTheOldValue) {
  volume_points({{0, 40}, {0, 10}, {2, 10}}, 1);
  trigger();
  EXPECT_EQ(outputs(2), (std::vector<std::int32_t>{40, 40}));
  volume_points({{3, 20}, {5, 0}}, 1);
  channel.volume_envelope_value = 12 << 16;
  trigger();
  EXPECT_EQ(outputs(5), (std::vector<std::int32_t>{12, 12, 12, 20, 10}));
}

TEST_F(EnvelopeTest, TheFadeoutSilencesTheNoteAfterKeyOff) {
  instrument.fadeout = 512;  // 256 in the file
  trigger();
  channel.key_released = 1;
  int ticks = 0;
  while (channel.fadeout_volume > 0) {
    channel.update_flags = 0;
    run_envelopes(channel, instrument, ticks == 0);
    EXPECT_NE(channel.update_flags & UPDATE_VOLUME, 0);
    ++ticks;
  }
  EXPECT_EQ(ticks, 128);
  EXPECT_EQ(channel.envelope_volume, 0) << "no volume envelope: cut on the key-off tick";
  run_envelopes(channel, instrument, false);
  EXPECT_EQ(channel.fadeout_volume, 0);
}

TEST_F(EnvelopeTest, ThePanningEnvelopeSetsItsOwnUpdate) {
  std::copy_n(std::begin({EnvelopePoint{0, 0}, EnvelopePoint{2, 64}}), 2, instrument.panning_envelope);
  instrument.panning_points = 2;
  instrument.panning_type = 1;
  trigger();
  std::vector<std::int32_t> values;
  for (int k = 0; k < 3; ++k) {
    channel.update_flags = 0;
    run_envelopes(channel, instrument, false);
    EXPECT_EQ(channel.update_flags, UPDATE_PANNING);
    values.push_back(channel.envelope_panning);
  }
  EXPECT_EQ(values, (std::vector<std::int32_t>{0, 32, 64}));
}

std::int32_t vibrato_at(Channel& channel, const Instrument& instrument, std::int32_t position) {
  channel.auto_vibrato_position = position;
  channel.period_delta = 0;
  apply_auto_vibrato(channel, instrument);
  return channel.period_delta;
}

TEST_F(EnvelopeTest, AutoVibratoWaveforms) {
  instrument.vibrato_depth = 16;
  const std::pair<std::int32_t, std::int32_t> sine[] = {{0, 0},   {32, 11},   {64, 15}, {96, 11},
                                                        {128, 0}, {192, -16}, {255, -1}};
  for (const auto& [position, delta] : sine) {
    EXPECT_EQ(vibrato_at(channel, instrument, position), delta) << position;
  }
  instrument.vibrato_type = 1;
  EXPECT_EQ(vibrato_at(channel, instrument, 127), 16);
  EXPECT_EQ(vibrato_at(channel, instrument, 128), -16);
  instrument.vibrato_type = 2;  // falling saw: 0, -64 at 127, 64 at 128
  EXPECT_EQ(vibrato_at(channel, instrument, 0), 0);
  EXPECT_EQ(vibrato_at(channel, instrument, 127), (16 * -64) >> 6);
  EXPECT_EQ(vibrato_at(channel, instrument, 128), 16);
  EXPECT_EQ(vibrato_at(channel, instrument, 255), 0);
  instrument.vibrato_type = 3;  // rising saw: 63 at 127, 64 at 128, -64 at 129
  EXPECT_EQ(vibrato_at(channel, instrument, 127), (16 * 63) >> 6);
  EXPECT_EQ(vibrato_at(channel, instrument, 128), 16);
  EXPECT_EQ(vibrato_at(channel, instrument, 129), -16);
  EXPECT_EQ(vibrato_at(channel, instrument, 255), (16 * -1) >> 6);
  instrument.vibrato_type = 9;  // no such waveform: nothing added
  channel.update_flags = 0;
  EXPECT_EQ(vibrato_at(channel, instrument, 64), 0);
  EXPECT_NE(channel.update_flags & UPDATE_FREQUENCY, 0);
}

TEST_F(EnvelopeTest, AutoVibratoSweepsInAndItsPhaseAdvances) {
  instrument.vibrato_type = 1;  // square: 64 in the first half
  instrument.vibrato_depth = 64;
  instrument.vibrato_sweep = 4;
  instrument.vibrato_rate = 200;
  trigger();
  std::vector<std::int32_t> deltas;
  std::vector<std::int32_t> positions;
  for (int k = 0; k < 6; ++k) {
    channel.auto_vibrato_position = 0;
    channel.period_delta = 0;
    apply_auto_vibrato(channel, instrument);
    deltas.push_back(channel.period_delta);
  }
  EXPECT_EQ(deltas, (std::vector<std::int32_t>{0, 16, 32, 48, 64, 64}));
  EXPECT_EQ(channel.auto_vibrato_ticks, 4);
  channel.auto_vibrato_position = 100;
  apply_auto_vibrato(channel, instrument);
  EXPECT_EQ(channel.auto_vibrato_position, 44);
  // The delta adds to what the effects set.
  channel.period_delta = 1000;
  apply_auto_vibrato(channel, instrument);
  EXPECT_EQ(channel.period_delta, 1000 + 64);
}

}  // namespace
