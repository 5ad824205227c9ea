// The sample synthesizer: its arithmetic, its seamless loops, and every
// instrument's sound (present, at full level, joining its loop smoothly).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>

#include "tools/song/instrument_set.h"
#include "tools/song/synth_math.h"
#include "tools/song/synth_wave.h"

namespace {

const std::vector<XmInstrument>& instruments() {
  static const std::vector<XmInstrument> set = make_instruments(20000);
  return set;
}

double rms_db(const std::vector<std::int16_t>& frames, std::size_t begin, std::size_t end) {
  double sum = 0;
  for (std::size_t i = begin; i < end; ++i) sum += (frames[i] / 32768.0) * (frames[i] / 32768.0);
  return 10 * std::log10(sum / static_cast<double>(end - begin) + 1e-30);
}

}  // namespace

TEST(SynthMath, SeriesMatchTheFunctionsTheyStandFor) {
  for (int i = -40; i <= 40; ++i) {
    const double turns = i / 16.0 + 0.013;
    EXPECT_NEAR(sine_turns(turns), std::sin(2 * synth_pi * turns), 1e-11) << turns;
    EXPECT_NEAR(cosine_turns(turns), std::cos(2 * synth_pi * turns), 1e-11) << turns;
  }
  EXPECT_NEAR(sine_turns(0.25), 1.0, 1e-12);
  EXPECT_EQ(sine_turns(0.0), 0.0);
  for (double x : {-30.0, -1.5, -0.1, 0.0, 0.3, 1.0, 7.25, 40.0})
    EXPECT_NEAR(exp_series(x) / std::exp(x), 1.0, 1e-13) << x;
  EXPECT_NEAR(pow2(10.0), 1024.0, 1e-9);
  EXPECT_NEAR(note_pitch(58), 440.0, 1e-9);
  EXPECT_NEAR(note_pitch(49), 261.6255653, 1e-6);
  // The player's linear table: C-4 with relative note 0 plays at 8363 Hz.
  EXPECT_NEAR(playback_rate(49, 0), 8363.0, 1e-9);
  EXPECT_NEAR(playback_rate(61, 12), 4 * 8363.0, 1e-8);
}

TEST(SynthMath, FramesRoundToNearestAndLimit) {
  EXPECT_EQ(to_frame(0.5), 1);
  EXPECT_EQ(to_frame(-0.5), -1);
  EXPECT_EQ(to_frame(1.49), 1);
  EXPECT_EQ(to_frame(40000.0), 32767);
  EXPECT_EQ(to_frame(-40000.0), -32768);
}

TEST(SynthMath, SoftClipIsOddMonotonicAndBounded) {
  double previous = -1.0;
  for (int i = -400; i <= 400; ++i) {
    const double x = i / 20.0;
    const double y = soft_clip(x);
    EXPECT_LT(std::fabs(y), 1.0);
    EXPECT_GT(y, previous);
    EXPECT_DOUBLE_EQ(soft_clip(-x), -y);
    previous = y;
  }
  EXPECT_NEAR(soft_clip(1e-6) / 1e-6, 1.0, 1e-5);
}

TEST(SynthWave, PartialsOnWholeBinsRepeatExactly) {
  Noise noise{7};
  std::vector<Partial> partials;
  add_saw(partials, 5, 1.0, 300, noise);
  add_square(partials, 7, 0.5, 300, noise);
  const std::uint32_t period = 1024;
  const Wave wave = render_partials(2 * period, period, partials);
  for (std::uint32_t i = 0; i < period; ++i) ASSERT_DOUBLE_EQ(wave[i], wave[i + period]) << i;
  // A weight that settles at a multiple of weight_step leaves a periodic tail.
  const PartialWeight settling = [](std::size_t p, std::uint32_t frame) {
    return frame >= 512 ? 1.0 : (p % 2 ? 0.1 : 2.0) * (512 - frame) / 512.0 + frame / 512.0;
  };
  const Wave shaped = render_partials(512 + 2 * period, period, partials, settling);
  for (std::uint32_t i = 512; i < 512 + period; ++i) ASSERT_NEAR(shaped[i], shaped[i + period], 1e-12) << i;
  EXPECT_GT(std::fabs(shaped[3] - wave[3]), 1e-3);
}

// The renderer reads each partial's sine from a table of one period, with
// an index stepped by the bin. Against the sine taken afresh at every frame,
// for partials with bins beyond the period, phases at 0 and just below 1,
// periods of 1 frame up, with and without a weight, it agrees exactly.
TEST(SynthWave, TheSineTableGivesWhatTheSineOfEachFrameGives) {
  std::mt19937_64 random(12);
  for (std::uint32_t period : {1u, 2u, 3u, 7u, 64u, 1000u, 4096u}) {
    std::vector<Partial> partials;
    for (int p = 0; p < 12; ++p) {
      const double phase = p == 0   ? 0.0
                           : p == 1 ? std::nextafter(1.0, 0.0)
                                    : static_cast<double>(random() % 1000) / 1000.0;
      partials.push_back({static_cast<std::uint32_t>(random() % (3 * period + 2)), 1.0 / (p + 1), phase});
    }
    const PartialWeight weight = [](std::size_t p, std::uint32_t frame) {
      return 1.0 + 0.01 * static_cast<double>(p) + frame / 700.0;
    };
    for (bool weighted : {false, true}) {
      const std::uint32_t frames = 3 * period + 37;
      const Wave wave = render_partials(frames, period, partials, weighted ? weight : PartialWeight{});
      Wave expected(frames, 0.0);
      for (std::size_t p = 0; p < partials.size(); ++p) {
        const std::uint64_t start = static_cast<std::uint64_t>(std::floor(partials[p].phase * period)) % period;
        for (std::uint32_t n = 0; n < frames; ++n) {
          const std::uint32_t block = n / weight_step * weight_step;
          const double w0 = weighted ? weight(p, block) : 1.0;
          const double w1 = weighted ? weight(p, block + weight_step) : 1.0;
          const double w = w0 + (w1 - w0) * static_cast<double>(n - block) / weight_step;
          const std::uint64_t index = (start + static_cast<std::uint64_t>(n) * (partials[p].bin % period)) % period;
          expected[n] += partials[p].amplitude * w * sine_turns(static_cast<double>(index) / period);
        }
      }
      for (std::uint32_t n = 0; n < frames; ++n) {
        ASSERT_EQ(wave[n], expected[n]) << "period " << period << " frame " << n << " weighted " << weighted;
      }
    }
  }
}

TEST(SynthWave, RefusesValuesThatAreNotNumbers) {
  EXPECT_THROW(to_frames({0.0, std::nan("")}, 1.0), std::domain_error);
  EXPECT_THROW(to_frames({HUGE_VAL}, 1.0), std::domain_error);
  const std::vector<std::int16_t> frames = to_frames({0.25, -0.5}, 0.5);
  EXPECT_EQ(frames[1], to_frame(-0.5 * 32767.0));
}

TEST(Instruments, EverySampleSoundsAtFullLevelFromItsStart) {
  for (const XmInstrument& instrument : instruments()) {
    for (const XmSample& sample : instrument.samples) {
      const std::vector<std::int16_t>& f = sample.frames;
      ASSERT_GT(f.size(), 1000u) << sample.name;
      int peak = 0;
      for (std::int16_t v : f) peak = std::max(peak, std::abs(int{v}));
      EXPECT_GT(peak, 29000) << sample.name;
      // The opening (the attack of a one-shot, the first part of a loop)
      // is loud; a recipe that computes nothing there shows up here. The
      // riser starts quiet on purpose and grows.
      const double least = sample.name == "riser" ? -40.0 : -22.0;
      EXPECT_GT(rms_db(f, 0, f.size() / 4), least) << sample.name;
      if (sample.loop != XmLoop::none) {
        EXPECT_GT(rms_db(f, sample.loop_start, sample.loop_start + sample.loop_length), -22.0) << sample.name;
      }
    }
  }
}

TEST(Instruments, ForwardLoopsJoinWithoutAClick) {
  for (const XmInstrument& instrument : instruments()) {
    for (const XmSample& sample : instrument.samples) {
      if (sample.loop != XmLoop::forward) continue;
      const std::vector<std::int16_t>& f = sample.frames;
      const std::uint32_t first = sample.loop_start;
      const std::uint32_t last = sample.loop_start + sample.loop_length - 1;
      int largest_step = 0;
      for (std::uint32_t i = first; i < last; ++i) largest_step = std::max(largest_step, std::abs(f[i + 1] - f[i]));
      EXPECT_LE(std::abs(f[first] - f[last]), largest_step) << sample.name;
    }
  }
}

TEST(Instruments, SubBassIsInTuneAtItsRootNote) {
  // The sub bass loop is nearly a sine: its zero crossings give its pitch.
  const XmSample& sub = instruments()[ins_sub_bass - 1].samples[0];
  int crossings = 0;
  for (std::size_t i = 0; i < sub.frames.size(); ++i) {
    const std::int16_t a = sub.frames[i];
    const std::int16_t b = sub.frames[(i + 1) % sub.frames.size()];
    crossings += (a < 0) != (b < 0);
  }
  const double rate = playback_rate(37, sub.relative_note);  // played at C-3
  const double hertz = crossings / 2.0 * rate / static_cast<double>(sub.frames.size());
  EXPECT_NEAR(1200 * std::log2(hertz / note_pitch(37)), 0.0, 5.0);
}

TEST(Instruments, ThePercKitMapsItsThreeSamplesByOctave) {
  const XmInstrument& kit = instruments()[ins_perc_kit - 1];
  ASSERT_EQ(kit.samples.size(), 3u);
  EXPECT_EQ(kit.keymap[48], 0);  // C-4: rim
  EXPECT_EQ(kit.keymap[60], 1);  // C-5: shaker
  EXPECT_EQ(kit.keymap[72], 2);  // C-6: block
  EXPECT_EQ(kit.keymap[95], 2);
}

TEST(Instruments, TheFluteLoopsBackAndForth) {
  const XmSample& flute = instruments()[ins_flute - 1].samples[0];
  EXPECT_EQ(flute.loop, XmLoop::ping_pong);
  EXPECT_EQ(flute.loop_start, 1085u);
  EXPECT_EQ(flute.loop_length, 2591u);
  EXPECT_EQ(flute.frames.size(), 3676u);
}

TEST(Instruments, EveryNoteStartsWithoutAStep) {
  // A first frame far from zero is a click at every note of the instrument.
  for (const XmInstrument& instrument : instruments())
    for (const XmSample& sample : instrument.samples) EXPECT_LE(std::abs(int{sample.frames[0]}), 1000) << sample.name;
}

TEST(SynthWave, RotatingALoopKeepsItsSeamAndStartsAtZero) {
  Noise noise{3};
  std::vector<Partial> partials;
  add_saw(partials, 4, 1.0, 200, noise);
  Wave wave = render_partials(512, 512, partials);
  const Wave original = wave;
  start_at_zero_crossing(wave);
  // It starts on one side or the other of an upward zero crossing.
  EXPECT_TRUE((wave[0] <= 0.0 && wave[1] > 0.0) || (wave[511] <= 0.0 && wave[0] > 0.0));
  // Still the same cycle, only begun elsewhere.
  std::size_t shift = 0;
  while (shift < 512 && original[shift] != wave[0]) ++shift;
  ASSERT_LT(shift, 512u);
  for (std::size_t i = 0; i < 512; ++i) EXPECT_EQ(wave[i], original[(i + shift) % 512]);
}
