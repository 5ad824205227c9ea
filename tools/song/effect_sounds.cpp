// Effects: the impact that lands the big accents and the noise riser that
// builds into the drop.
#include <cmath>

#include "tools/song/sounds.h"
#include "tools/song/synth_filter.h"
#include "tools/song/synth_math.h"

XmInstrument make_impact() {
  // A deep boom with falling pitch under a burst of noise whose brightness
  // closes quickly. Sounds as made at C-5.
  const int relative = 0;
  const double rate = playback_rate(61, relative);
  Wave wave(static_cast<std::size_t>(1.25 * rate));
  Noise noise{0x1A9Au};
  StateVariableFilter filter;
  double phase = 0;
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    phase += (42.0 + 150.0 * exp_series(-t / 0.07)) / rate;
    const double boom = sine_turns(phase) * exp_series(-t / 0.45) * (1.0 - exp_series(-t / 0.001));
    const double cutoff = 180.0 + 6500.0 * exp_series(-t / 0.09);
    const double hiss = filter_step(filter, next_noise(noise), cutoff, 0.9, rate).low * exp_series(-t / 0.28);
    wave[i] = soft_clip(2.0 * boom + 1.2 * hiss);
  }
  fade_in(wave, 16);
  fade_out(wave, wave.size() / 4);
  return single_sample_instrument("impact", make_sample("impact", wave, 0.96, true, relative));
}

XmInstrument make_riser() {
  // Noise through a band-pass that sweeps up from 250 Hz to 6 kHz while it
  // grows louder, with a rising tone inside it: 3 s at C-5 (4 s at G-4).
  const int relative = -7;
  const double rate = playback_rate(61, relative);  // about 11.2 kHz
  Wave wave(static_cast<std::size_t>(3.0 * rate));
  Noise noise{0x215Eu};
  StateVariableFilter filter;
  double phase = 0;
  const double n = static_cast<double>(wave.size());
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double x = static_cast<double>(i) / n;       // 0..1 through the rise
    const double frequency = 250.0 * pow2(x * 4.585);  // 250 Hz .. 6 kHz
    phase += (110.0 * pow2(x * 3.0)) / rate;
    const double band = filter_step(filter, next_noise(noise), frequency, 2.2, rate).band;
    const double level = 0.08 + 0.92 * x * x;
    wave[i] = level * (band + 0.25 * sine_turns(phase) * x);
  }
  fade_in(wave, 16);
  fade_out(wave, static_cast<std::size_t>(0.02 * rate));
  return single_sample_instrument("riser", make_sample("riser", wave, 0.97, false, relative));
}
