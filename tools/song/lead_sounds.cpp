// Leads, plucks, the bell and the chord stab.
#include <cmath>

#include "tools/song/sounds.h"
#include "tools/song/synth_math.h"

namespace {

// A sawtooth of a few harmonics through a low-pass whose cutoff moves
// over time; phases from noise. cutoff(t) is in Hz, t in seconds.
template <typename Cutoff>
void add_filtered_saw(Wave& wave, double rate, double pitch, double level, double q, double top, Noise& noise,
                      Cutoff cutoff) {
  const int harmonics = static_cast<int>(top / pitch);
  std::vector<double> phases(harmonics + 1);
  for (double& phase : phases) phase = next_unit(noise);
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    const double fc = cutoff(t);
    double sum = 0;
    for (int h = 1; h <= harmonics; ++h)
      sum += sine_turns(h * pitch * t + phases[h]) * lowpass_gain(h * pitch, fc, q, 2) / h;
    wave[i] += level * sum;
  }
}

}  // namespace

XmInstrument make_square_lead() {
  // Three square waves a bin apart around C-5 (a slight chorus), looped;
  // the auto-vibrato sweeps in on held notes.
  const int relative = 12;
  const double rate = playback_rate(61, relative);
  const std::uint32_t period = 8192;
  const std::uint32_t bin = nearest_bin(note_pitch(61), period, rate);
  const std::uint32_t limit = period * 38 / 100;
  Noise noise{0x1EADu};
  std::vector<Partial> partials;
  add_square(partials, bin - 1, 0.6, limit, noise);
  add_square(partials, bin, 1.0, limit, noise);
  add_square(partials, bin + 1, 0.6, limit, noise);
  const double bin_hertz = rate / period;
  for (Partial& partial : partials) partial.amplitude *= lowpass_gain(partial.bin * bin_hertz, 5200.0, 0.9, 2);
  Wave wave = render_partials(period, period, partials);
  start_at_zero_crossing(wave);
  XmSample sample = make_sample("square lead", wave, 0.9, true, relative);
  sample.loop = XmLoop::forward;
  sample.loop_start = 0;
  sample.loop_length = period;
  XmInstrument lead = single_sample_instrument("square lead", sample);
  lead.volume_envelope = make_envelope({{0, 0}, {2, 64}, {12, 50}}, envelope_on | envelope_sustain, 2);
  lead.fadeout = 900;
  lead.vibrato_type = 0;
  lead.vibrato_sweep = 36;
  lead.vibrato_depth = 6;
  lead.vibrato_rate = 11;
  return lead;
}

XmInstrument make_pluck() {
  // Two sawtooths a few cents apart with a fast-closing filter: the
  // arpeggio voice. Rendered for C-5, one shot.
  const int relative = 0;
  const double rate = playback_rate(61, relative);
  const double pitch = note_pitch(61);
  Wave wave(static_cast<std::size_t>(0.42 * rate));
  Noise noise{0x91C4u};
  auto cutoff = [](double t) { return 700.0 + 5200.0 * exp_series(-t / 0.045); };
  add_filtered_saw(wave, rate, pitch * 1.0035, 0.6, 1.4, 7200.0, noise, cutoff);
  add_filtered_saw(wave, rate, pitch / 1.0035, 0.6, 1.4, 7200.0, noise, cutoff);
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    wave[i] *= (t < 0.001 ? t / 0.001 : 1.0) * exp_series(-t / 0.14);
  }
  fade_out(wave, wave.size() / 6);
  return single_sample_instrument("pluck", make_sample("pluck", wave, 0.95, true, relative));
}

XmInstrument make_bell() {
  // Two-operator frequency modulation at a ratio of 3.5, whose index dies
  // away faster than the tone, plus a soft octave partial. Rendered for C-5.
  const int relative = 0;
  const double rate = playback_rate(61, relative);
  const double pitch = note_pitch(61);
  Wave wave(static_cast<std::size_t>(0.85 * rate));
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    const double index = 0.35 + 1.9 * exp_series(-t / 0.18);
    const double modulator = index * sine_turns(3.5 * pitch * t) / (2.0 * synth_pi);
    const double tone = sine_turns(pitch * t + modulator) + 0.3 * sine_turns(2.0 * pitch * t) * exp_series(-t / 0.2);
    wave[i] = tone * (t < 0.0015 ? t / 0.0015 : 1.0) * exp_series(-t / 0.32);
  }
  fade_out(wave, wave.size() / 5);
  XmInstrument bell = single_sample_instrument("bell", make_sample("bell", wave, 0.95, true, relative));
  // The bell swings from one side to the other as it rings.
  bell.panning_envelope = make_envelope({{0, 20}, {24, 44}}, envelope_on);
  return bell;
}

XmInstrument make_stab() {
  // Root, fifth and octave, each as two slightly detuned sawtooths, through
  // a resonant filter that snaps shut: the hit of the show. Rendered for
  // C-4, one shot. A power chord fits major and minor harmony alike.
  const int relative = 12;
  const double rate = playback_rate(49, relative);
  const double pitch = note_pitch(49);
  Wave wave(static_cast<std::size_t>(0.46 * rate));
  Noise noise{0x57ABu};
  auto cutoff = [](double t) { return 800.0 + 5600.0 * exp_series(-t / 0.055); };
  const double ratios[3] = {1.0, 1.4983, 2.0};
  const double levels[3] = {1.0, 0.8, 0.6};
  for (int c = 0; c < 3; ++c) {
    add_filtered_saw(wave, rate, pitch * ratios[c] * 1.003, levels[c], 1.8, 7000.0, noise, cutoff);
    add_filtered_saw(wave, rate, pitch * ratios[c] / 1.003, levels[c], 1.8, 7000.0, noise, cutoff);
  }
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    wave[i] = soft_clip(0.5 * wave[i] * (t < 0.002 ? t / 0.002 : 1.0) * exp_series(-t / 0.16));
  }
  fade_out(wave, wave.size() / 5);
  return single_sample_instrument("stab", make_sample("stab", wave, 0.95, true, relative));
}
