// Drum sounds: sine bodies with falling pitch, filtered noise, and banks of
// detuned square waves for the metal of hats and cymbals.
#include <cmath>

#include "tools/song/sounds.h"
#include "tools/song/synth_filter.h"
#include "tools/song/synth_math.h"

namespace {

// Drums sound as rendered when played at C-5 (note 61).
constexpr int drum_note = 61;

std::uint32_t frames_for(double seconds, double rate) { return static_cast<std::uint32_t>(seconds * rate); }

// Six square waves at inharmonic ratios: the ringing metal of a cymbal.
double metal(double t, double base) {
  static const double ratios[6] = {1.0, 1.3421, 1.6819, 2.0137, 2.4312, 2.9117};
  double sum = 0;
  for (double ratio : ratios) sum += sine_turns(base * ratio * t) >= 0 ? 1.0 : -1.0;
  return sum / 6.0;
}

Wave cymbal(std::uint32_t frames, double rate, double decay_seconds, double highpass, std::uint32_t seed) {
  Wave wave(frames);
  Noise noise{seed};
  StateVariableFilter high;
  StateVariableFilter band;
  const double decay = decay_factor(decay_seconds, rate);
  double level = 1.0;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double t = i / rate;
    const double source = 0.55 * metal(t, 409.0) + 0.45 * next_noise(noise);
    const double bright = filter_step(high, source, highpass, 0.7, rate).high;
    const double ring = filter_step(band, bright, 9500.0, 2.0, rate).band;
    const double attack = i < 40 ? i / 40.0 : 1.0;
    wave[i] = (bright + 0.5 * ring) * level * attack;
    level *= decay;
  }
  return wave;
}

}  // namespace

XmInstrument make_kick() {
  const int relative = 5;
  const double rate = playback_rate(drum_note, relative);  // about 22.3 kHz
  const std::uint32_t frames = frames_for(0.42, rate);
  Wave wave(frames);
  Noise noise{0x4B1C4u};
  OnePole click_filter;
  double phase = 0;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double t = i / rate;
    // The pitch falls from a knock at about 700 Hz to a 48 Hz body.
    const double frequency = 48.0 + 115.0 * exp_series(-t / 0.035) + 560.0 * exp_series(-t / 0.0025);
    phase += frequency / rate;
    const double body = sine_turns(phase) * (1.0 - exp_series(-t / 0.0006)) * exp_series(-t / 0.30);
    const double click = one_pole_low(click_filter, next_noise(noise), 3000.0, rate) * exp_series(-t / 0.002);
    wave[i] = soft_clip(1.8 * body + 0.6 * click);
  }
  fade_in(wave, 12);
  fade_out(wave, frames / 8);
  return single_sample_instrument("kick", make_sample("kick", wave, 0.97, true, relative));
}

XmInstrument make_snare() {
  const int relative = 5;
  const double rate = playback_rate(drum_note, relative);
  const std::uint32_t frames = frames_for(0.34, rate);
  Wave wave(frames);
  Noise noise{0x5A4Eu};
  StateVariableFilter crack;
  StateVariableFilter body_filter;
  double phase_a = 0;
  double phase_b = 0;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double t = i / rate;
    phase_a += (188.0 + 60.0 * exp_series(-t / 0.01)) / rate;
    phase_b += (331.0 + 80.0 * exp_series(-t / 0.01)) / rate;
    const double tone =
        (0.7 * sine_turns(phase_a) * exp_series(-t / 0.055) + 0.35 * sine_turns(phase_b) * exp_series(-t / 0.035));
    const double n = next_noise(noise);
    const double wires = filter_step(crack, n, 4200.0, 0.6, rate).high * exp_series(-t / 0.13);
    const double thump = filter_step(body_filter, n, 1400.0, 1.2, rate).band * exp_series(-t / 0.04);
    const double attack = t < 0.0005 ? t / 0.0005 : 1.0;
    wave[i] = soft_clip(1.5 * attack * (tone + 0.9 * wires + 0.6 * thump));
  }
  fade_out(wave, frames / 6);
  return single_sample_instrument("snare", make_sample("snare", wave, 0.95, true, relative));
}

XmInstrument make_clap() {
  const int relative = 5;
  const double rate = playback_rate(drum_note, relative);
  const std::uint32_t frames = frames_for(0.38, rate);
  Wave wave(frames);
  Noise noise{0xC1A9u};
  StateVariableFilter band;
  // Four hands a few milliseconds apart, then the room.
  const double bursts[4] = {0.0, 0.0105, 0.0195, 0.0300};
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double t = i / rate;
    double level = 0;
    for (double start : bursts)
      if (t >= start) level += exp_series(-(t - start) / 0.0045) * (t - start < 0.0003 ? (t - start) / 0.0003 : 1.0);
    if (t >= bursts[3]) level += 0.55 * exp_series(-(t - bursts[3]) / 0.11);
    wave[i] = filter_step(band, next_noise(noise), 1250.0, 1.6, rate).band * level;
  }
  fade_out(wave, frames / 5);
  return single_sample_instrument("clap", make_sample("clap", wave, 0.98, false, relative));
}

XmInstrument make_closed_hat() {
  const int relative = 12;
  const double rate = playback_rate(drum_note, relative);  // about 33.5 kHz
  const std::uint32_t frames = frames_for(0.10, rate);
  Wave wave = cymbal(frames, rate, 0.022, 7500.0, 0x4A7Cu);
  fade_out(wave, frames / 4);
  return single_sample_instrument("hihat closed", make_sample("hihat closed", wave, 0.98, false, relative));
}

XmInstrument make_open_hat() {
  const int relative = 12;
  const double rate = playback_rate(drum_note, relative);
  const std::uint32_t frames = frames_for(0.42, rate);
  Wave wave = cymbal(frames, rate, 0.16, 6500.0, 0x0FE4u);
  fade_out(wave, frames / 3);
  XmInstrument hat = single_sample_instrument("hihat open", make_sample("hihat open", wave, 0.98, false, relative));
  // A closing hat: key-off (or the next closed hat's cut) ends it quickly.
  hat.volume_envelope = make_envelope({{0, 64}, {40, 64}}, envelope_on | envelope_sustain, 1);
  hat.fadeout = 4000;
  return hat;
}

XmInstrument make_perc_kit() {
  XmInstrument kit;
  kit.name = "perc kit";
  {
    // Rim shot, at C-4: a short high tone in a click of noise.
    const int relative = 24;
    const double rate = playback_rate(49, relative);
    const std::uint32_t frames = frames_for(0.09, rate);
    Wave wave(frames);
    Noise noise{0x2131u};
    StateVariableFilter band;
    for (std::uint32_t i = 0; i < frames; ++i) {
      const double t = i / rate;
      wave[i] = 0.8 * sine_turns(1720.0 * t) * exp_series(-t / 0.011) +
                filter_step(band, next_noise(noise), 3100.0, 3.0, rate).band * exp_series(-t / 0.005);
    }
    fade_in(wave, 8);
    fade_out(wave, frames / 4);
    kit.samples.push_back(make_sample("rim", wave, 0.98, false, relative));
  }
  {
    // Shaker, at C-5: bright noise that swells and falls.
    const int relative = 12;
    const double rate = playback_rate(61, relative);
    const std::uint32_t frames = frames_for(0.14, rate);
    Wave wave(frames);
    Noise noise{0x54A6u};
    StateVariableFilter high;
    for (std::uint32_t i = 0; i < frames; ++i) {
      const double t = i / rate;
      const double level = (1.0 - exp_series(-t / 0.012)) * exp_series(-t / 0.035);
      wave[i] = filter_step(high, next_noise(noise), 5200.0, 0.8, rate).high * level;
    }
    fade_out(wave, frames / 4);
    kit.samples.push_back(make_sample("shaker", wave, 0.98, false, relative));
  }
  {
    // Wood block, at C-6: two inharmonic modes that die fast.
    const int relative = 0;
    const double rate = playback_rate(73, relative);
    const std::uint32_t frames = frames_for(0.16, rate);
    Wave wave(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
      const double t = i / rate;
      wave[i] = sine_turns(880.0 * t) * exp_series(-t / 0.030) + 0.45 * sine_turns(2411.0 * t) * exp_series(-t / 0.012);
    }
    fade_out(wave, frames / 4);
    kit.samples.push_back(make_sample("block", wave, 0.98, false, relative));
  }
  // Notes up to B-4 play the rim, C-5 to B-5 the shaker, C-6 up the block.
  for (int note = 0; note < 96; ++note) kit.keymap[note] = note < 60 ? 0 : note < 72 ? 1 : 2;
  return kit;
}

XmInstrument make_tom() {
  const int relative = 5;
  const double rate = playback_rate(drum_note, relative);
  const std::uint32_t frames = frames_for(0.48, rate);
  Wave wave(frames);
  Noise noise{0x707Du};
  StateVariableFilter band;
  double phase = 0;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double t = i / rate;
    phase += 110.0 * (1.0 + 0.55 * exp_series(-t / 0.045)) / rate;
    const double body = sine_turns(phase) * exp_series(-t / 0.20) * (1.0 - exp_series(-t / 0.0007));
    const double skin = filter_step(band, next_noise(noise), 900.0, 1.0, rate).band * exp_series(-t / 0.012);
    wave[i] = soft_clip(1.4 * (body + 0.5 * skin));
  }
  fade_in(wave, 12);
  fade_out(wave, frames / 6);
  return single_sample_instrument("tom", make_sample("tom", wave, 0.96, true, relative));
}

XmInstrument make_crash(std::uint32_t frames) {
  const int relative = 5;
  const double rate = playback_rate(drum_note, relative);
  Wave wave = cymbal(frames, rate, 0.55, 3200.0, 0xC4A5u);
  fade_out(wave, frames / 5);
  return single_sample_instrument("crash", make_sample("crash", wave, 0.98, false, relative));
}
