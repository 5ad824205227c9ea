// White noise from a 32-bit xorshift generator: the same sequence for the
// same seed on every machine.
#pragma once

#include <cstdint>

struct Noise {
  std::uint32_t state = 0x9E3779B9u;  // never 0
};

inline std::uint32_t next_bits(Noise& noise) {
  std::uint32_t x = noise.state;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  noise.state = x;
  return x;
}

// Uniform in -1 .. 1.
inline double next_noise(Noise& noise) {
  return static_cast<double>(static_cast<std::int32_t>(next_bits(noise))) / 2147483648.0;
}

// Uniform in 0 .. 1.
inline double next_unit(Noise& noise) { return static_cast<double>(next_bits(noise)) / 4294967296.0; }
