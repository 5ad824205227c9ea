// Bass sounds. Each is a loop made of partials on whole bins of its loop
// length, so the loop joins without a seam; an attack part before the loop
// may change the tone as long as it arrives at the loop's tone.
#include <cmath>

#include "tools/song/sounds.h"
#include "tools/song/synth_math.h"

namespace {

// A whole-sample loop starts at a zero crossing; an attack before the loop
// fades in over its first frames instead. Either way a note starts cleanly.
XmSample looped(const std::string& name, Wave wave, double peak, std::int8_t relative, std::uint32_t loop_start,
                std::uint32_t loop_length) {
  if (loop_start == 0) {
    start_at_zero_crossing(wave);
  } else {
    fade_in(wave, 32);
  }
  XmSample sample = make_sample(name, wave, peak, true, relative);
  sample.loop = XmLoop::forward;
  sample.loop_start = loop_start;
  sample.loop_length = loop_length;
  return sample;
}

}  // namespace

XmInstrument make_sub_bass() {
  // A sine with a touch of second harmonic, so that it still speaks on
  // small speakers. Rendered for C-3.
  const int relative = 12;
  const double rate = playback_rate(37, relative);
  const std::uint32_t period = 2048;
  const std::uint32_t bin = nearest_bin(note_pitch(37), period, rate);
  const std::vector<Partial> partials = {{bin, 1.0, 0.0}, {2 * bin, 0.14, 0.5}, {3 * bin, 0.04, 0.5}};
  const Wave wave = render_partials(period, period, partials);
  XmInstrument sub = single_sample_instrument("sub bass", looped("sub bass", wave, 0.97, relative, 0, period));
  sub.volume_envelope = make_envelope({{0, 64}, {6, 60}, {20, 56}}, envelope_on | envelope_sustain, 2);
  sub.fadeout = 2048;
  return sub;
}

XmInstrument make_acid_bass() {
  // A resonant low-passed sawtooth whose cutoff falls from bright to dark
  // over the attack, then holds; driven into a soft clip. Rendered for C-3.
  const int relative = 24;
  const double rate = playback_rate(37, relative);
  const std::uint32_t period = 4096;
  const std::uint32_t attack = 4096;  // a multiple of weight_step
  const std::uint32_t bin = nearest_bin(note_pitch(37), period, rate);
  Noise noise{0xAC1Du};
  std::vector<Partial> partials;
  add_saw(partials, bin, 1.0, period * 45 / 100, noise);
  const double fundamental = bin * rate / period;
  const double tau = 0.06 * rate;
  const double end_value = exp_series(-static_cast<double>(attack) / tau);
  auto cutoff = [&](std::uint32_t frame) {
    if (frame >= attack) return 420.0;
    const double fall = (exp_series(-static_cast<double>(frame) / tau) - end_value) / (1.0 - end_value);
    return 420.0 + 3400.0 * fall;
  };
  const PartialWeight weight = [&](std::size_t p, std::uint32_t frame) {
    const double frequency = fundamental * (partials[p].bin / bin);
    return lowpass_gain(frequency, cutoff(frame), 3.5, 2);
  };
  Wave wave = render_partials(attack + period, period, partials, weight);
  const double top = peak_of(wave);
  for (double& v : wave) v = soft_clip(2.2 * v / top);
  XmInstrument acid = single_sample_instrument("acid bass", looped("acid bass", wave, 0.95, relative, attack, period));
  acid.volume_envelope = make_envelope({{0, 64}, {3, 58}, {10, 50}, {24, 44}}, envelope_on | envelope_sustain, 3);
  acid.fadeout = 3000;
  return acid;
}

XmInstrument make_reese_bass() {
  // Two sawtooths a whole bin apart on each side of the note beat slowly
  // against each other; a sine under them holds the root. Rendered for C-2.
  const int relative = 36;
  const double rate = playback_rate(25, relative);
  const std::uint32_t period = 16384;
  const std::uint32_t bin = nearest_bin(note_pitch(25), period, rate);
  Noise noise{0x4EE5u};
  std::vector<Partial> partials;
  add_saw(partials, bin - 1, 1.0, period * 30 / 100, noise);
  add_saw(partials, bin + 1, 1.0, period * 30 / 100, noise);
  partials.push_back({bin, 0.8, 0.0});
  const double bin_hertz = rate / period;
  for (Partial& partial : partials) partial.amplitude *= lowpass_gain(partial.bin * bin_hertz, 950.0, 0.8, 2);
  Wave wave = render_partials(period, period, partials);
  const double top = peak_of(wave);
  for (double& v : wave) v = soft_clip(1.6 * v / top);
  XmInstrument reese = single_sample_instrument("reese bass", looped("reese bass", wave, 0.95, relative, 0, period));
  reese.volume_envelope = make_envelope({{0, 0}, {2, 64}, {30, 56}}, envelope_on | envelope_sustain, 2);
  // The panning drifts slowly around the middle, a loop that runs for ever.
  reese.panning_envelope =
      make_envelope({{0, 32}, {48, 24}, {96, 40}, {144, 32}}, envelope_on | envelope_loop, 0, 0, 3);
  reese.fadeout = 1500;
  return reese;
}
