// Waveforms in the making: frames of doubles at full scale 1.0, and the
// additive renderer that makes seamless loops.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/song/synth_noise.h"

using Wave = std::vector<double>;

// One sine component of a periodic sound: bin cycles in every period frames,
// so every partial, and their sum, repeats exactly after period frames.
struct Partial {
  std::uint32_t bin;
  double amplitude;
  double phase;  // turns, 0..1
};

// Scales a partial at a frame (frames from the start of the rendering).
using PartialWeight = std::function<double(std::size_t partial, std::uint32_t frame)>;

// frames frames of the sum of partials. The weight, when given, is asked
// every weight_step frames and interpolated in between, so a weight that is
// constant from a multiple of weight_step on leaves an exactly periodic tail.
inline constexpr std::uint32_t weight_step = 16;
Wave render_partials(std::uint32_t frames, std::uint32_t period, const std::vector<Partial>& partials,
                     const PartialWeight& weight = {});

// Adds the harmonics of a sawtooth (amplitude 1/h) or a square (odd
// harmonics) on a fundamental bin, up to bin limit, with random phases.
void add_saw(std::vector<Partial>& partials, std::uint32_t bin, double amplitude, std::uint32_t limit, Noise& noise);
void add_square(std::vector<Partial>& partials, std::uint32_t bin, double amplitude, std::uint32_t limit, Noise& noise);

// The bin nearest to frequency in a loop of period frames at rate.
std::uint32_t nearest_bin(double frequency, std::uint32_t period, double rate);

// Gain of a resonant low-pass at frequency for cutoff and resonance q: the
// magnitude of a two-pole response, raised to the power poles / 2.
double lowpass_gain(double frequency, double cutoff, double q, int poles);

// Rotates a wave that repeats exactly (a whole-sample loop) so that it
// begins next to where it crosses zero upwards: a note then starts without
// a click,
// and the loop still joins as before.
void start_at_zero_crossing(Wave& wave);

// Largest absolute value.
double peak_of(const Wave& wave);
// Linear fades over the first or last frames frames.
void fade_in(Wave& wave, std::size_t frames);
void fade_out(Wave& wave, std::size_t frames);
// Mixes source into destination from offset on, scaled by gain.
void mix_into(Wave& destination, const Wave& source, double gain, std::size_t offset = 0);

// 16-bit frames, scaled so that the peak reaches peak (a share of full scale).
// Throws std::domain_error for a value that is not finite.
std::vector<std::int16_t> to_frames(const Wave& wave, double peak);
