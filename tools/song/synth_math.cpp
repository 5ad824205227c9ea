#include "tools/song/synth_math.h"

#include <cmath>

double sine_turns(double turns) {
  double r = turns - std::floor(turns);  // 0 <= r < 1
  if (r >= 0.5) r -= 1.0;                // -0.5 <= r < 0.5
  if (r > 0.25) r = 0.5 - r;             // fold onto -0.25 .. 0.25, where
  if (r < -0.25) r = -0.5 - r;           // sin(pi - a) = sin(a)
  const double x = 2.0 * synth_pi * r;   // |x| <= pi / 2
  const double x2 = x * x;
  // Taylor series to x^17: the first omitted term is below 1e-12 at pi / 2.
  double term = x;
  double sum = x;
  for (int k = 1; k <= 8; ++k) {
    term = -term * x2 / static_cast<double>((2 * k) * (2 * k + 1));
    sum += term;
  }
  return sum;
}

double cosine_turns(double turns) { return sine_turns(turns + 0.25); }

double exp_series(double x) {
  const double ln2 = 0.69314718055994530942;
  const double k = std::floor(x / ln2 + 0.5);
  const double r = x - k * ln2;  // |r| <= ln2 / 2 (plus rounding)
  double term = 1.0;
  double sum = 1.0;
  for (int n = 1; n <= 18; ++n) {
    term = term * r / static_cast<double>(n);
    sum += term;
  }
  return std::ldexp(sum, static_cast<int>(k));
}

double pow2(double x) { return exp_series(x * 0.69314718055994530942); }

double prewarp(double frequency, double rate) {
  const double half_turns = frequency / rate * 0.5;
  return sine_turns(half_turns) / cosine_turns(half_turns);
}

double soft_clip(double x) {
  // x / (1 + |x|^3)^(1/3) would need a cube root; this rational form has
  // the same shape: slope 1 at 0, limits +-1.
  const double a = std::fabs(x);
  return x * (1.0 + 0.25 * a) / (1.0 + a + 0.25 * a * a);
}

double note_pitch(int note) { return 440.0 * pow2((note - 58) / 12.0); }

double playback_rate(int note, int relative_note) { return 8363.0 * pow2((note - 49 + relative_note) / 12.0); }

double decay_factor(double seconds, double rate) { return exp_series(-1.0 / (seconds * rate)); }

std::int16_t to_frame(double value) {
  double rounded = value < 0 ? -std::floor(-value + 0.5) : std::floor(value + 0.5);
  if (rounded > 32767.0) rounded = 32767.0;
  if (rounded < -32768.0) rounded = -32768.0;
  return static_cast<std::int16_t>(rounded);
}
