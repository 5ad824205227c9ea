// Pads: whole-sample loops of many partials on whole bins of the loop, so
// that detuned voices beat and drift without any seam where the loop joins.
#include <cmath>

#include "tools/song/sounds.h"
#include "tools/song/synth_filter.h"
#include "tools/song/synth_math.h"

namespace {

XmSample whole_loop(const std::string& name, Wave wave, double peak, std::int8_t relative) {
  start_at_zero_crossing(wave);
  XmSample sample = make_sample(name, wave, peak, true, relative);
  sample.loop = XmLoop::forward;
  sample.loop_start = 0;
  sample.loop_length = static_cast<std::uint32_t>(wave.size());
  return sample;
}

// Gain of a vowel's formants at a frequency: three resonance peaks.
double vowel_gain(double frequency) {
  struct Formant {
    double centre, width, level;
  };
  static const Formant ah[4] = {{760, 90, 1.0}, {1120, 120, 0.6}, {2650, 170, 0.25}, {3400, 250, 0.12}};
  double gain = 0.02;
  for (const Formant& f : ah) {
    const double d = (frequency - f.centre) / f.width;
    gain += f.level / (1.0 + d * d);
  }
  return gain;
}

}  // namespace

XmInstrument make_strings() {
  // Three sawtooths a bin apart (about 13 cents at C-4) and a quieter one an
  // octave up, darkened by a gentle low-pass. Rendered for C-4.
  const int relative = 12;
  const double rate = playback_rate(49, relative);
  const std::uint32_t period = 8192;
  const std::uint32_t bin = nearest_bin(note_pitch(49), period, rate);
  const std::uint32_t limit = period * 42 / 100;
  Noise noise{0x57A1u};
  std::vector<Partial> partials;
  add_saw(partials, bin - 1, 0.8, limit, noise);
  add_saw(partials, bin, 1.0, limit, noise);
  add_saw(partials, bin + 1, 0.8, limit, noise);
  add_saw(partials, 2 * bin + 1, 0.3, limit, noise);
  const double bin_hertz = rate / period;
  for (Partial& partial : partials) partial.amplitude *= lowpass_gain(partial.bin * bin_hertz, 3200.0, 0.7, 2);
  const Wave wave = render_partials(period, period, partials);
  XmInstrument strings = single_sample_instrument("strings", whole_loop("strings", wave, 0.9, relative));
  strings.volume_envelope = make_envelope({{0, 0}, {8, 44}, {20, 64}, {40, 56}}, envelope_on | envelope_sustain, 3);
  strings.fadeout = 261;  // a long release: about 2.7 s after key-off
  strings.vibrato_type = 0;
  strings.vibrato_sweep = 48;
  strings.vibrato_depth = 3;
  strings.vibrato_rate = 5;
  return strings;
}

XmInstrument make_choir() {
  // An "ah": the harmonics of three close voices shaped by vowel formants,
  // with a little breath (noise made of many random partials, so it loops
  // too). Rendered for C-4.
  const int relative = 12;
  const double rate = playback_rate(49, relative);
  const std::uint32_t period = 8192;
  const std::uint32_t bin = nearest_bin(note_pitch(49), period, rate);
  const std::uint32_t limit = period * 40 / 100;
  const double bin_hertz = rate / period;
  Noise noise{0xC401u};
  std::vector<Partial> partials;
  const std::uint32_t voices[3] = {bin - 1, bin, bin + 1};
  for (std::uint32_t voice : voices)
    for (std::uint32_t h = 1; h * voice <= limit; ++h)
      partials.push_back(
          {h * voice, vowel_gain(h * voice * bin_hertz) / std::sqrt(static_cast<double>(h)), next_unit(noise)});
  for (std::uint32_t b = static_cast<std::uint32_t>(1800 / bin_hertz); b < limit; b += 3)
    partials.push_back({b, 0.012 * next_unit(noise), next_unit(noise)});
  const Wave wave = render_partials(period, period, partials);
  XmInstrument choir = single_sample_instrument("choir", whole_loop("choir", wave, 0.9, relative));
  // Swells in, then breathes: the loop between points 1 and 3 runs while
  // the key is held and after it is let go, under the fadeout.
  choir.volume_envelope = make_envelope({{0, 0}, {16, 60}, {40, 46}, {64, 60}}, envelope_on | envelope_loop, 0, 1, 3);
  choir.panning_envelope =
      make_envelope({{0, 32}, {60, 18}, {120, 46}, {180, 32}}, envelope_on | envelope_loop, 0, 0, 3);
  choir.fadeout = 400;
  return choir;
}

XmInstrument make_flute() {
  // A soft, breathy tone: its chiff is in the first 1085 frames, then a
  // steady tone played back and forth (a ping-pong loop), on which the
  // auto-vibrato sits. Rendered for C-5.
  const int relative = 0;
  const double rate = playback_rate(61, relative);
  const std::uint32_t loop_start = 1085;
  const std::uint32_t loop_length = 2591;
  const std::uint32_t frames = loop_start + loop_length;
  const double pitch = note_pitch(61);
  Wave wave(frames);
  Noise noise{0xF107u};
  StateVariableFilter breath;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double t = i / rate;
    const double phase = pitch * t;
    const double tone = sine_turns(phase) + 0.16 * sine_turns(2 * phase + 0.1) + 0.05 * sine_turns(3 * phase + 0.3);
    const double onset = i < 500 ? i / 500.0 : 1.0;
    const double chiff = i < loop_start ? 1.0 - static_cast<double>(i) / loop_start : 0.0;
    const double air = filter_step(breath, next_noise(noise), 2200.0, 1.2, rate).band;
    wave[i] = onset * tone + (0.05 + 0.5 * chiff * chiff) * air;
  }
  fade_in(wave, 32);
  XmSample sample = make_sample("flute", wave, 0.92, true, relative);
  sample.loop = XmLoop::ping_pong;
  sample.loop_start = loop_start;
  sample.loop_length = loop_length;
  XmInstrument flute = single_sample_instrument("flute", sample);
  flute.volume_envelope = make_envelope({{0, 0}, {3, 64}, {12, 54}}, envelope_on | envelope_sustain, 2);
  flute.fadeout = 700;
  flute.vibrato_type = 0;
  flute.vibrato_sweep = 30;
  flute.vibrato_depth = 5;
  flute.vibrato_rate = 9;
  return flute;
}

XmInstrument make_drone() {
  // The opening sound: an open fifth stacked over C-2, each tone doubled a
  // bin apart so the chord slowly pulses, over wind made of random
  // partials. Rendered for C-2.
  const int relative = 36;
  const double rate = playback_rate(25, relative);
  const std::uint32_t period = 16384;
  const std::uint32_t bin = nearest_bin(note_pitch(25), period, rate);
  const double bin_hertz = rate / period;
  const std::uint32_t limit = period * 25 / 100;
  Noise noise{0xD404u};
  std::vector<Partial> partials;
  struct Tone {
    std::uint32_t numerator, denominator;
    double level;
  };
  // C-2, G-2, C-3, G-3, D-4, G-4 as whole-number ratios of the root.
  const Tone tones[6] = {{1, 1, 1.0}, {3, 2, 0.7}, {2, 1, 0.6}, {3, 1, 0.4}, {9, 2, 0.25}, {6, 1, 0.15}};
  for (const Tone& tone : tones) {
    const std::uint32_t b = bin * tone.numerator / tone.denominator;
    for (std::uint32_t detune : {b - 1, b + 1})
      for (std::uint32_t h = 1; h <= 6 && h * detune <= limit; ++h)
        partials.push_back({h * detune, tone.level / (h * h), next_unit(noise)});
  }
  for (std::uint32_t b = static_cast<std::uint32_t>(350 / bin_hertz); b < limit; b += 2)
    partials.push_back({b, 0.006 * next_unit(noise) * lowpass_gain(b * bin_hertz, 1200.0, 0.7, 2), next_unit(noise)});
  const Wave wave = render_partials(period, period, partials);
  XmInstrument drone = single_sample_instrument("drone", whole_loop("drone", wave, 0.9, relative));
  // A slow swell that holds; the key-off starts a long fade.
  drone.volume_envelope = make_envelope({{0, 0}, {64, 36}, {160, 64}}, envelope_on | envelope_sustain, 2);
  drone.panning_envelope =
      make_envelope({{0, 32}, {96, 16}, {192, 48}, {288, 32}}, envelope_on | envelope_loop, 0, 0, 3);
  drone.fadeout = 180;
  drone.vibrato_type = 0;
  drone.vibrato_sweep = 0;
  drone.vibrato_depth = 2;
  drone.vibrato_rate = 3;
  return drone;
}
