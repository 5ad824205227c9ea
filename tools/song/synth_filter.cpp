#include "tools/song/synth_filter.h"

#include "tools/song/synth_math.h"

FilterOutputs filter_step(StateVariableFilter& filter, double input, double frequency, double q, double rate) {
  const double limit = rate * 0.49;
  if (frequency > limit) frequency = limit;
  if (frequency < 1.0) frequency = 1.0;
  const double g = prewarp(frequency, rate);
  const double k = 1.0 / q;
  const double a1 = 1.0 / (1.0 + g * (g + k));
  const double a2 = g * a1;
  const double a3 = g * a2;
  const double v3 = input - filter.low_state;
  const double v1 = a1 * filter.band_state + a2 * v3;
  const double v2 = filter.low_state + a2 * filter.band_state + a3 * v3;
  filter.band_state = 2.0 * v1 - filter.band_state;
  filter.low_state = 2.0 * v2 - filter.low_state;
  return {v2, v1, input - k * v1 - v2};
}

double one_pole_low(OnePole& filter, double input, double frequency, double rate) {
  const double g = prewarp(frequency, rate);
  const double a = g / (1.0 + g);
  const double v = a * (input - filter.state);
  const double out = v + filter.state;
  filter.state = out + v;
  return out;
}
