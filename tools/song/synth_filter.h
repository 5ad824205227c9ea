// Filters of the sample synthesizer: a two-pole state-variable filter
// (trapezoidal integration, stable at any cutoff below half the rate) and
// one-pole smoothers.
#pragma once

struct StateVariableFilter {
  double low_state = 0;
  double band_state = 0;
};

struct FilterOutputs {
  double low;
  double band;
  double high;
};

// One frame through the filter at cutoff frequency (Hz) and resonance q
// (0.5 = smooth, 5 = ringing), at rate frames per second.
FilterOutputs filter_step(StateVariableFilter& filter, double input, double frequency, double q, double rate);

struct OnePole {
  double state = 0;
};

// Low-pass of cutoff frequency; the high-pass is input minus the result.
double one_pole_low(OnePole& filter, double input, double frequency, double rate);
