// The voices and the mixer: steps, gains, loops, ramps and the conversion,
// and the player's mixer against the plain one on random voices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "music/reference_mixer.h"
#include "support/child_run.h"
#include "support/vector_levels.h"

namespace {

// A sample with its frame -1 and eight spare frames, as the loader makes them.
struct OwnedSample {
  std::vector<std::int16_t> block;
  Sample sample = {};
  OwnedSample(const std::vector<std::int16_t>& frames, std::uint8_t loop_type, std::uint32_t loop_start,
              std::uint32_t loop_length) {
    block.assign(frames.size() + 9, 0);
    std::copy(frames.begin(), frames.end(), block.begin() + 1);
    sample.data = block.data() + 1;
    sample.length = static_cast<std::uint32_t>(frames.size());
    sample.loop_type = loop_type;
    sample.bits = 16;
    sample.loop_start = loop_type == loop_none ? 0 : loop_start;
    sample.loop_length = loop_type == loop_none ? sample.length : loop_length;
    const std::uint32_t end = sample.loop_start + sample.loop_length;
    if (sample.length > 0) {
      sample.data[end] = loop_type == loop_ping_pong ? sample.data[end - 1] : sample.data[sample.loop_start];
    }
  }
};

std::vector<std::int16_t> constant_frames(std::size_t count, std::int16_t value) {
  return std::vector<std::int16_t>(count, value);
}

struct MixerTest : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(open_offline_output(44100)); }
  void TearDown() override { close_output(); }
  KeepVectorLevel keep_level;
  Voice& voice(int k) { return current_output->voice_table[k]; }
  // Starts voice 0 at a 32.32 position, settled at the given gains.
  Voice& settled_voice(Sample& sample, std::uint64_t position, std::uint64_t step, std::uint8_t left,
                       std::uint8_t right) {
    Voice& v = voice(0);
    voice_start_sample(0, &sample);
    v.position = static_cast<std::uint32_t>(position >> 32);
    v.position_fraction = static_cast<std::uint32_t>(position);
    v.step = static_cast<std::uint32_t>(step >> 32);
    v.step_fraction = static_cast<std::uint32_t>(step);
    v.gain_left = v.seen_gain_left = v.current_gain_left = left;
    v.gain_right = v.seen_gain_right = v.current_gain_right = right;
    return v;
  }
};

constexpr std::uint64_t one_frame = std::uint64_t{1} << 32;

TEST_F(MixerTest, FrequencyBecomesAStepInFramesPerOutputFrame) {
  Voice& v = voice(0);
  voice_set_frequency(&v, 8363);
  EXPECT_EQ(v.step, 0u);
  EXPECT_EQ(v.step_fraction, 814485521u);
  EXPECT_EQ(v.frequency, 8363);
  voice_set_frequency(&v, 16726);
  EXPECT_EQ(v.step_fraction, 1628971042u);
  for (std::int32_t hertz : {1000000, 705600}) {
    voice_set_frequency(&v, hertz);
    EXPECT_EQ(v.step, 16u);
    EXPECT_EQ(v.step_fraction, 0u);
    EXPECT_EQ(v.frequency, hertz);
  }
  voice_set_frequency(&v, 50);
  EXPECT_EQ(v.step, 0u);
  EXPECT_EQ(v.step_fraction, 9739154u);
  EXPECT_EQ(v.frequency, 50);
  voice_set_frequency(&v, -70000);
  EXPECT_EQ(v.step_fraction, 9739154u);
  voice_set_frequency(&v, 44100);
  EXPECT_EQ(v.step, 1u);
  EXPECT_EQ(v.step_fraction, 0u);
}

TEST_F(MixerTest, VolumeAndPanningGiveLinearGains) {
  Voice& v = voice(0);
  voice_set_panning(&v, 0);
  voice_set_volume(&v, 127);
  EXPECT_EQ(v.gain_left, 127);
  EXPECT_EQ(v.gain_right, 0);
  voice_set_panning(&v, 128);
  EXPECT_EQ(v.gain_left, 63);
  EXPECT_EQ(v.gain_right, 63);
  voice_set_panning(&v, 256);
  EXPECT_EQ(v.gain_left, 0);
  EXPECT_EQ(v.gain_right, 127);
  voice_set_volume(&v, 0);
  EXPECT_EQ(v.gain_right, 0);
  EXPECT_EQ(v.volume, 0);
  EXPECT_EQ(v.panning, 256);
  voice_set_panning(&v, 64);
  voice_set_volume(&v, 255);
  EXPECT_EQ(v.gain_left, 191);
  EXPECT_EQ(v.gain_right, 64);
}

TEST_F(MixerTest, StartingAndResettingAVoice) {
  OwnedSample owned(constant_frames(1000, 100), loop_forward, 200, 300);
  Voice& v = voice(3);
  v.start_offset = 499;
  v.gain_left = 9;
  v.direction = direction_backward;
  EXPECT_EQ(voice_start_sample(3, &owned.sample), 3);
  EXPECT_EQ(v.sample, &owned.sample);
  EXPECT_EQ(v.position, 499u);
  EXPECT_EQ(v.position_fraction, 0u);
  EXPECT_EQ(v.start_offset, 0u);
  EXPECT_EQ(v.direction, direction_forward);
  EXPECT_EQ(v.gain_left, 9) << "a start keeps the gains";
  v.start_offset = 500;  // the loop end
  voice_start_sample(3, &owned.sample);
  EXPECT_EQ(v.position, 0u);
  EXPECT_EQ(voice_start_sample(3, nullptr), -1);
  EXPECT_EQ(voice_start_sample(256, &owned.sample), -1);
  EXPECT_EQ(voice_start_sample(-1, &owned.sample), -1);
  voice_reset(3);
  EXPECT_EQ(v.sample, nullptr);
  EXPECT_EQ(v.position, 0u);
  voice_reset(-5);
  voice_reset(999);
  close_output();
  EXPECT_EQ(voice_start_sample(0, &owned.sample), -1) << "no voices without an open output";
  voice_reset(0);
}

TEST_F(MixerTest, InterpolatesLinearlyBetweenNeighbouringFrames) {
  OwnedSample owned({0, 1000, -1000, 500}, loop_none, 0, 0);
  settled_voice(owned.sample, one_frame / 4, one_frame / 2, 255, 51);
  std::vector<float> out(8, 1.0f);
  mix_voices(out.data(), &current_output->voice_list, 4);
  const float gl = 255 * 0.003921569f;
  const float gr = 51 * 0.003921569f;
  const float expected[] = {250.0f, 750.0f, 500.0f, -500.0f};  // positions 0.25, 0.75, 1.25, 1.75
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(out[2 * k], 1.0f + expected[k] * gl) << k;
    EXPECT_EQ(out[2 * k + 1], 1.0f + expected[k] * gr) << k;
  }
  EXPECT_EQ(voice(0).position, 2u);
  EXPECT_EQ(voice(0).position_fraction, 0x40000000u);
}

TEST_F(MixerTest, AForwardLoopWrapsByItsLength) {
  OwnedSample owned(constant_frames(1000, 10), loop_forward, 200, 800);
  Voice& v = settled_voice(owned.sample, 999 * one_frame + one_frame / 2, one_frame, 100, 100);
  std::vector<float> out(2, 0.0f);
  mix_voices(out.data(), &current_output->voice_list, 1);
  EXPECT_EQ(v.position, 200u);
  EXPECT_EQ(v.position_fraction, 0x80000000u);
  EXPECT_EQ(v.sample, &owned.sample);
  // A step longer than the loop wraps more than once.
  OwnedSample tight(constant_frames(20, 10), loop_forward, 10, 3);
  Voice& w = settled_voice(tight.sample, 12 * one_frame, 16 * one_frame, 100, 100);
  mix_voices(out.data(), &current_output->voice_list, 1);
  EXPECT_EQ(w.position, 10u);  // 28 - 3 x 6
}

TEST_F(MixerTest, APingPongLoopReflectsAtItsEnds) {
  OwnedSample owned(constant_frames(1000, 10), loop_ping_pong, 500, 500);
  Voice& v = settled_voice(owned.sample, 999 * one_frame + one_frame / 4, one_frame, 100, 100);
  std::vector<float> out(8, 0.0f);
  mix_voices(out.data(), &current_output->voice_list, 1);  // reaches 1000.25
  EXPECT_EQ(v.direction, direction_backward);
  EXPECT_EQ(v.position, 999u);
  EXPECT_EQ(v.position_fraction, 0xBFFFFFFFu);  // 999.75 - 2^-32
  // Backward across the start: 500.5 - 1.0 = 499.5 reflects to 500.5 - 2^-32.
  v.position = 500;
  v.position_fraction = 0x80000000u;
  mix_voices(out.data(), &current_output->voice_list, 1);
  EXPECT_EQ(v.direction, direction_forward);
  EXPECT_EQ(v.position, 500u);
  EXPECT_EQ(v.position_fraction, 0x7FFFFFFFu);
}

TEST_F(MixerTest, AnUnloopedSampleEndsAndDetaches) {
  std::vector<std::int16_t> frames(1000);
  for (std::size_t k = 0; k < frames.size(); ++k) {
    frames[k] = static_cast<std::int16_t>(k + 1);
  }
  OwnedSample owned(frames, loop_none, 0, 0);
  Voice& v = settled_voice(owned.sample, 0, one_frame, 255, 255);
  std::vector<float> out(2 * 1500, 0.0f);
  mix_voices(out.data(), &current_output->voice_list, 1500);
  const float gain = 255 * 0.003921569f;
  EXPECT_EQ(out[0], 1.0f * gain);
  EXPECT_EQ(out[2 * 999], 1000.0f * gain);
  for (int k = 1000; k < 1500; ++k) {
    ASSERT_EQ(out[2 * k], 0.0f) << k;
    ASSERT_EQ(out[2 * k + 1], 0.0f) << k;
  }
  EXPECT_EQ(v.sample, nullptr);
  EXPECT_EQ(v.position, 0u);
  EXPECT_EQ(v.position_fraction, 0u);
}

TEST_F(MixerTest, TheEmptySampleEndsAtOnceWithoutReadingData) {
  Voice& v = settled_voice(empty_sample, 0, one_frame, 255, 255);
  std::vector<float> out(20, 0.0f);
  mix_voices(out.data(), &current_output->voice_list, 10);
  EXPECT_EQ(v.sample, nullptr);
  for (float value : out) {
    EXPECT_EQ(value, 0.0f);
  }
}

TEST_F(MixerTest, AVoiceThatNeverGotAFrequencyNeitherMovesNorSounds) {
  OwnedSample owned(constant_frames(100, 1000), loop_forward, 0, 100);
  Voice& v = settled_voice(owned.sample, 5 * one_frame, 0, 255, 255);
  std::vector<float> out(20, 0.0f);
  mix_voices(out.data(), &current_output->voice_list, 10);
  EXPECT_EQ(v.position, 5u);
  EXPECT_EQ(v.sample, &owned.sample);
  for (float value : out) {
    EXPECT_EQ(value, 0.0f);
  }
  std::vector<float> none(2, 7.0f);
  mix_voices(none.data(), &current_output->voice_list, 0);
  mix_voices(none.data(), &current_output->voice_list, -3);
  EXPECT_EQ(none[0], 7.0f);
}

TEST_F(MixerTest, AGainChangeRampsOver128Frames) {
  OwnedSample owned(constant_frames(4000, 1000), loop_forward, 0, 4000);
  Voice& v = settled_voice(owned.sample, 0, one_frame, 0, 0);
  voice_set_panning(&v, 0);
  voice_set_volume(&v, 127);
  ASSERT_EQ(v.gain_left, 127);
  std::vector<float> out(2 * 300, 0.0f);
  mix_voices(out.data(), &current_output->voice_list, 300);
  const float step = 127 * 0.003921569f * (1.0f / 128);
  float gain = 0.0f;
  for (int k = 0; k < 128; ++k) {
    ASSERT_EQ(out[2 * k], 1000.0f * gain) << k;
    gain += step;
  }
  for (int k = 128; k < 300; ++k) {
    ASSERT_EQ(out[2 * k], 1000.0f * (127 * 0.003921569f)) << k;
    ASSERT_EQ(out[2 * k + 1], 0.0f) << k;
  }
  EXPECT_EQ(v.current_gain_left, 127);
  EXPECT_EQ(v.ramp_frames_left, 0);
}

TEST_F(MixerTest, ARampSplitAcrossBuffersAndLoopsKeepsItsStepAndLength) {
  OwnedSample owned(constant_frames(100, 1000), loop_forward, 0, 100);
  Voice& v = settled_voice(owned.sample, 0, one_frame, 0, 0);
  voice_set_panning(&v, 0);
  voice_set_volume(&v, 127);
  std::vector<float> out(2 * 150, 0.0f);
  mix_voices(out.data(), &current_output->voice_list, 50);
  EXPECT_EQ(v.ramp_frames_left, 78);
  EXPECT_EQ(v.current_gain_left, 50);  // 50 x 127 / 128 = 49.6
  const float step = 127 * 0.003921569f * (1.0f / 128);
  EXPECT_EQ(v.gain_step_left, step);

  // The next buffer goes on from the gain reached, 50, with the same step;
  // the loop wraps after 50 frames (at sample frame 100), where the gain
  // reached is taken again, 99.6 -> 100, and the ramp ends 128 frames
  // after it began. Rounded up to 128 there, the gain then ramps down to
  // its target 127.
  std::fill(out.begin(), out.end(), 0.0f);
  mix_voices(out.data(), &current_output->voice_list, 150);
  float gain = 50 * 0.003921569f;
  for (int k = 0; k < 50; ++k) {
    ASSERT_EQ(out[2 * k], 1000.0f * gain) << k;
    gain += step;
  }
  gain = 100 * 0.003921569f;
  for (int k = 50; k < 78; ++k) {
    ASSERT_EQ(out[2 * k], 1000.0f * gain) << k;
    gain += step;
  }
  const float back = -1 * 0.003921569f * (1.0f / 128);
  gain = 128 * 0.003921569f;
  for (int k = 78; k < 150; ++k) {
    ASSERT_EQ(out[2 * k], 1000.0f * gain) << k;
    gain += back;
  }
  EXPECT_EQ(v.ramp_frames_left, 128 - 72);
}

TEST_F(MixerTest, ConversionRoundsHalvesToEvenAndClips) {
  const std::vector<float> mix = {32767.6f,  -40000.0f, 0.5f,   1.5f, -2.5f,   2.5f,     -0.5f, 32767.4f,
                                  -32768.5f, 1e30f,     -1e30f, NAN,  123.49f, -123.51f, 0.0f,  -0.0f};
  const std::vector<std::int16_t> expected = {32767,  -32768, 0,      2,      -2,  2,    0, 32767,
                                              -32768, 32767,  -32768, -32768, 123, -124, 0, 0};
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    std::vector<float> repeated;
    for (int copy = 0; copy < 5; ++copy) {  // long enough for the vector loop
      repeated.insert(repeated.end(), mix.begin(), mix.end());
    }
    std::vector<std::int16_t> pcm(repeated.size(), 77);
    convert_mix_to_pcm16(pcm.data(), repeated.data(), static_cast<std::int32_t>(repeated.size() / 2));
    for (std::size_t k = 0; k < repeated.size(); ++k) {
      ASSERT_EQ(pcm[k], expected[k % expected.size()]) << k << " level " << vector_level_name(level);
    }
  }
  std::int16_t untouched[2] = {5, 5};
  convert_mix_to_pcm16(untouched, mix.data(), 0);
  convert_mix_to_pcm16(untouched, nullptr, 1);
  convert_mix_to_pcm16(nullptr, mix.data(), 1);
  EXPECT_EQ(untouched[0], 5);
}

TEST_F(MixerTest, ConversionAgreesWithThePlainOneOnRandomValues) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> spread(-50000.0f, 50000.0f);
  std::vector<float> mix(2 * 5003);
  for (float& value : mix) {
    value = random() % 4 == 0 ? std::nearbyint(spread(random)) + 0.5f : spread(random);
  }
  std::vector<std::int16_t> expected(mix.size());
  std::vector<std::int16_t> actual(mix.size());
  reference_convert_mix_to_pcm16(expected.data(), mix.data(), 5003);
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    convert_mix_to_pcm16(actual.data(), mix.data(), 5003);
    EXPECT_EQ(actual, expected);
  }
}

// Random voices on random samples: loops of every kind and size, positions
// anywhere in or at the edge of the loop, steps from 100 Hz up to 16 frames,
// both directions, ramps running, starting and none, and buffers of every
// length. The player's mixer and the plain one must agree bit for bit, in
// the buffer and in every voice's state.
TEST_F(MixerTest, AgreesWithThePlainMixerOnRandomVoices) {
  std::mt19937_64 random(20240601);
  std::vector<OwnedSample> samples;
  for (int s = 0; s < 40; ++s) {
    const std::uint32_t length = 1 + static_cast<std::uint32_t>(random() % (s < 10 ? 8 : 3000));
    std::vector<std::int16_t> frames(length);
    for (std::int16_t& frame : frames) {
      frame = static_cast<std::int16_t>(random());
    }
    const std::uint8_t types[] = {loop_none, loop_forward, loop_ping_pong};
    const std::uint8_t type = types[random() % 3];
    const std::uint32_t loop_start = static_cast<std::uint32_t>(random() % length);
    const std::uint32_t loop_length = 1 + static_cast<std::uint32_t>(random() % (length - loop_start));
    samples.emplace_back(frames, type, loop_start, loop_length);
  }
  samples.emplace_back(std::vector<std::int16_t>{}, loop_none, 0, 0);
  for (VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    for (int round = 0; round < 400; ++round) {
      std::vector<Voice> voices(24);
      Voice head = {};
      head.next = head.prev = &head;
      for (Voice& v : voices) {
        const Sample& sample = samples[random() % samples.size()].sample;
        v.sample = const_cast<Sample*>(&sample);
        const std::uint64_t end = std::uint64_t{sample.loop_start} + sample.loop_length;
        const std::uint64_t position = random() % (end * one_frame + 1);
        v.position = static_cast<std::uint32_t>(position >> 32);
        v.position_fraction = static_cast<std::uint32_t>(position);
        v.direction = sample.loop_type == loop_ping_pong && random() % 2 == 0 ? direction_backward : direction_forward;
        if (v.direction == direction_backward && position <= sample.loop_start * one_frame) {
          v.direction = direction_forward;
        }
        // Steps below one frame, below two, anything up to 16, and whole ones.
        const std::uint32_t ceilings[] = {44100, 88200, 705600, 705600};
        const std::uint32_t kind = static_cast<std::uint32_t>(random() % 4);
        voice_set_frequency(&v, static_cast<std::int32_t>(100 + random() % (ceilings[kind] - 100)));
        if (kind == 3) {
          voice_set_frequency(&v, static_cast<std::int32_t>(44100 * (1 + random() % 16)));
        }
        v.gain_left = static_cast<std::uint8_t>(random());
        v.gain_right = static_cast<std::uint8_t>(random());
        v.current_gain_left = random() % 2 ? v.gain_left : static_cast<std::uint8_t>(random());
        v.current_gain_right = static_cast<std::uint8_t>(random());
        v.seen_gain_left = random() % 2 ? v.gain_left : 0;
        v.seen_gain_right = random() % 2 ? v.gain_right : 0;
        v.ramp_frames_left = random() % 3 == 0 ? static_cast<std::int32_t>(random() % 129) : 0;
        v.gain_step_left = static_cast<float>(static_cast<std::int32_t>(random() % 511) - 255) / 32768.0f;
        v.gain_step_right = static_cast<float>(static_cast<std::int32_t>(random() % 511) - 255) / 32768.0f;
        list_append(&v, &head);
      }
      std::vector<Voice> copies = voices;
      Voice copy_head = {};
      copy_head.next = copy_head.prev = &copy_head;
      for (Voice& v : copies) {
        list_append(&v, &copy_head);
      }
      const auto frames = static_cast<std::int32_t>(1 + random() % 1800);
      std::vector<float> expected(2 * static_cast<std::size_t>(frames), 0.5f);
      std::vector<float> actual = expected;
      reference_mix_voices(expected.data(), &copy_head, frames);
      mix_voices(actual.data(), &head, frames);
      ASSERT_EQ(std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(float)), 0)
          << "round " << round << " level " << vector_level_name(level);
      for (std::size_t k = 0; k < voices.size(); ++k) {
        const Voice& a = voices[k];
        const Voice& e = copies[k];
        ASSERT_EQ(a.sample, e.sample) << round << " voice " << k;
        ASSERT_EQ(a.position, e.position) << round << " voice " << k;
        ASSERT_EQ(a.position_fraction, e.position_fraction) << round << " voice " << k;
        ASSERT_EQ(a.direction, e.direction) << round << " voice " << k;
        ASSERT_EQ(a.current_gain_left, e.current_gain_left) << round << " voice " << k;
        ASSERT_EQ(a.current_gain_right, e.current_gain_right) << round << " voice " << k;
        ASSERT_EQ(a.ramp_frames_left, e.ramp_frames_left) << round << " voice " << k;
        ASSERT_EQ(a.seen_gain_left, e.seen_gain_left) << round << " voice " << k;
        ASSERT_EQ(std::memcmp(&a.gain_step_left, &e.gain_step_left, sizeof(float)), 0) << round;
      }
    }
  }
}

// The output's own voices: the mixer reads them as the table, up to the
// highest voice started since the table was made, and before the voices
// are mixed it computes the first ramp pass of up to 32 voices at once. In
// a fresh process, with voices started anywhere from 0 to 255 (some reset,
// some started twice), more than 32 of them ramping, after the table has
// been made anew, and at the ramp lengths around the vector loops' limit of
// 256 frames, the result must be what the plain mixer makes of the same
// voices as a list.
int mix_output_voices_as_a_list(std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<OwnedSample> samples;
  for (int s = 0; s < 12; ++s) {
    const std::uint32_t length = 1 + static_cast<std::uint32_t>(random() % 2000);
    std::vector<std::int16_t> frames(length);
    for (std::int16_t& frame : frames) {
      frame = static_cast<std::int16_t>(random());
    }
    const std::uint8_t types[] = {loop_none, loop_forward, loop_ping_pong};
    const std::uint8_t type = types[random() % 3];
    const std::uint32_t loop_start = static_cast<std::uint32_t>(random() % length);
    samples.emplace_back(frames, type, loop_start, 1 + static_cast<std::uint32_t>(random() % (length - loop_start)));
  }
  const VectorLevel available = vector_level();
  const std::int32_t rates[] = {44100, 88200, 88600, 22050, 8000};
  for (int round = 0; round < 60; ++round) {
    if (round % 6 == 0 && !open_offline_output(rates[(round / 6) % 5])) {
      return 2;
    }
    use_vector_level(random() % 4 != 0 ? available : vector_plain);
    const int starts = static_cast<int>(random() % 80);
    for (int k = 0; k < starts; ++k) {
      const int index = k == 0 ? 255 : k == 1 ? 0 : static_cast<int>(random() % voice_count);
      voice_start_sample(index, &samples[random() % samples.size()].sample);
      Voice& v = current_output->voice_table[index];
      voice_set_frequency(&v, static_cast<std::int32_t>(100 + random() % 200000));
      voice_set_panning(&v, static_cast<std::int32_t>(random() % 257));
      voice_set_volume(&v, static_cast<std::int32_t>(random() % 128));
      if (random() % 10 == 0) {
        voice_reset(index);
      }
    }
    std::vector<Voice> copies(current_output->voice_table, current_output->voice_table + voice_count);
    Voice head = {};
    head.next = head.prev = &head;
    for (Voice& v : copies) {
      list_append(&v, &head);
    }
    const auto frames = static_cast<std::int32_t>(1 + random() % 1500);
    std::vector<float> expected(2 * static_cast<std::size_t>(frames), 0.25f);
    std::vector<float> actual = expected;
    reference_mix_voices(expected.data(), &head, frames);
    mix_voices(actual.data(), &current_output->voice_list, frames);
    if (std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(float)) != 0) {
      std::fprintf(stderr, "round %d: the mix differs\n", round);
      return 1;
    }
    for (int k = 0; k < voice_count; ++k) {
      const Voice& a = current_output->voice_table[k];
      const Voice& e = copies[static_cast<std::size_t>(k)];
      if (a.sample != e.sample || a.position != e.position || a.position_fraction != e.position_fraction ||
          a.current_gain_left != e.current_gain_left || a.current_gain_right != e.current_gain_right ||
          a.ramp_frames_left != e.ramp_frames_left) {
        std::fprintf(stderr, "round %d: voice %d differs\n", round, k);
        return 1;
      }
    }
  }
  close_output();
  return 0;
}

TEST(MixerFastPaths, TheOutputsVoicesMixAsTheirListFromAFreshStart) {
  for (std::uint64_t seed : {1u, 2u, 3u}) {
    const ChildRun run = run_in_child(HeadlessScript{}, [seed] { return mix_output_voices_as_a_list(seed); });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exit_code, 0) << "seed " << seed;
  }
}

}  // namespace
