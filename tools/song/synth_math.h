// Arithmetic for the sample synthesizer. The module must come out byte for
// byte the same on every build machine, so nothing here calls the library's
// transcendental functions, whose last bits differ between libraries: sine
// and exponential are series evaluated with the four basic operations, which
// IEEE-754 doubles round the same way everywhere (the build turns off fused
// multiply-add contraction).
#pragma once

#include <cstdint>

inline constexpr double synth_pi = 3.14159265358979323846;

// sin(2 pi turns) for any turns; error below 1e-11.
double sine_turns(double turns);
// cos(2 pi turns).
double cosine_turns(double turns);
// e^x for |x| < 700; relative error below 1e-14.
double exp_series(double x);
// 2^x.
double pow2(double x);
// tan(pi * f / rate) for 0 <= f < rate / 2: the prewarped cutoff of a filter.
double prewarp(double frequency, double rate);
// A smooth limiter: about x for small x, tending to +-1; odd, monotonic.
double soft_clip(double x);

// Concert pitch of a module note (1 = C-0, A-4 = note 58 = 440 Hz), in Hz.
double note_pitch(int note);
// The rate in Hz at which the player plays a sample at a note, with the
// linear frequency table, for a relative note and finetune 0.
double playback_rate(int note, int relative_note);

// The multiplier per frame of an exponential decay that falls to 1/e in
// seconds at rate frames per second.
double decay_factor(double seconds, double rate);

// Rounds to the nearest integer, halves away from zero, limited to 16 bits.
std::int16_t to_frame(double value);
