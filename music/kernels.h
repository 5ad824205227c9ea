// The mixer's kernel table: the inner loops that have vector versions, one
// entry each, filled from the run's vector level (cpu/vector_level.h) by
// music/kernels.cpp. Internal to the player: mix_voices and
// convert_mix_to_pcm16 call through the table and nothing else chooses
// between versions. Read by the output thread; filled during static
// initialization and by use_vector_level, while no output thread plays.
//
// Every kernel has a plain version; the AVX2 versions give its results bit
// for bit. A sample's data is read at frames -1 .. readable_frames - 1
// (music.h, Sample); positions and steps are 32.32 fixed point, with a
// backward step given as its negation mod 2^64.
#pragma once

#include <cstdint>

#include "cpu/vector_level.h"
#include "music/internal.h"

// A voice whose first ramp pass has its gains computed ahead, for up to
// frames + 1 frames (the gains reached after the pass's last frame too).
struct RampChain {
  Voice* voice;
  std::int32_t frames;
};

struct MusicKernels {
  // A run of frames at fixed gains: adds each frame's sample times the
  // left and right gain to the interleaved stereo floats out; returns the
  // position after the run.
  std::uint64_t (*mix_steady)(float* out, const std::int16_t* data, std::uint64_t position, std::uint64_t delta,
                              float gain_left, float gain_right, std::int32_t frames, std::int64_t readable_frames);
  // Ramps worked out ahead, at the levels that have them (null at the
  // others, where a ramp's gains move inside the voice's pass): the gains
  // of the first ramp pass of each chain's voice, the chains of several
  // voices side by side, into rows of ramp_table (row k for chain k; the
  // last row is a spare); then a run like mix_steady whose gains for frame
  // k are ramp_gains[2k] (left) and ramp_gains[2k + 1] (right).
  void (*compute_ramp_chains)(const RampChain* chains, int count, RampTable& ramp_table);
  std::uint64_t (*mix_ramp_gains)(float* out, const std::int16_t* data, std::uint64_t position, std::uint64_t delta,
                                  const float* ramp_gains, std::int32_t frames, std::int64_t readable_frames);
  // count values: nearest integer, halves to even, limited to -32768..32767
  // (a NaN gives -32768).
  void (*convert_to_pcm16)(std::int16_t* destination, const float* source, std::int32_t count);
};

extern MusicKernels music_kernels;

// The versions, level by level.
std::uint64_t mix_steady_plain(float* out, const std::int16_t* data, std::uint64_t position, std::uint64_t delta,
                               float gain_left, float gain_right, std::int32_t frames, std::int64_t readable_frames);
void convert_to_pcm16_plain(std::int16_t* destination, const float* source, std::int32_t count);

#if defined(VORNA_AVX2)
std::uint64_t mix_steady_avx2(float* out, const std::int16_t* data, std::uint64_t position, std::uint64_t delta,
                              float gain_left, float gain_right, std::int32_t frames, std::int64_t readable_frames);
void compute_ramp_chains_avx2(const RampChain* chains, int count, RampTable& ramp_table);
std::uint64_t mix_ramp_gains_avx2(float* out, const std::int16_t* data, std::uint64_t position, std::uint64_t delta,
                                  const float* ramp_gains, std::int32_t frames, std::int64_t readable_frames);
void convert_to_pcm16_avx2(std::int16_t* destination, const float* source, std::int32_t count);
#endif
