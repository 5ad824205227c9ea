// The software mixer: every voice plays one sample through linear
// interpolation at a 32.32 fixed-point position and step, with forward and
// ping-pong loops, and adds itself into a float stereo buffer with a left
// and a right gain. A gain change ramps linearly over ramp_length frames.
// Output thread only: the sequencer changes voices between two mixer calls.
//
// Positions are unsigned 32.32 values that are compared as signed ones: at
// a loop wrap a position may end a fraction of a frame before frame 0 (the
// boundary is found with 24 fractional bits), and such a position reads
// frame -1, which every sample provides. With that, and with the distance
// to the boundary taken as 0 when a position has passed it, no position
// reads outside frames -1 .. loop end + 1 of its sample.
#include <algorithm>
#include <cmath>

#include "music/internal.h"
#include "music/kernels.h"

#if defined(VORNA_AVX2)
#include <immintrin.h>
#endif

namespace {

constexpr float one_255 = 0.003921569f;  // 1/255 as stored

constexpr float fraction_scale = 0x1p-31f;
constexpr std::uint32_t max_frequency = 705600;  // 16 x 44100
constexpr std::uint32_t min_frequency = 100;
// Distances of this many whole frames or more are not searched for the
// boundary; a later pass, closer to it, finds it.
constexpr std::uint64_t far_distance = std::uint64_t{1} << 24;

// The sample value at a 32.32 position: frame p and frame p + 1, weighted
// by the top 31 bits of the fraction. b - a is exact in integers, so it
// equals the difference of the two frames as floats.
inline float interpolate(const std::int16_t* data, std::uint64_t position) {
  const auto frame = static_cast<std::int32_t>(static_cast<std::uint32_t>(position >> 32));
  const auto fraction = static_cast<std::int32_t>(static_cast<std::uint32_t>(position) >> 1);
  const float t = static_cast<float>(fraction) * fraction_scale;
  const std::int32_t a = data[frame];
  const std::int32_t b = data[frame + 1];
  return static_cast<float>(a) + t * static_cast<float>(b - a);
}

}  // namespace

// A run at fixed gains, two frames per iteration and an odd last frame
// alone. delta is the step, or its negation (mod 2^64) moving backward.
std::uint64_t mix_steady_plain(float* out, const std::int16_t* data, std::uint64_t position, std::uint64_t delta,
                               float gain_left, float gain_right, std::int32_t frames,
                               std::int64_t /*readable_frames*/) {
  std::int32_t k = 0;
  for (; k + 1 < frames; k += 2) {
    const float s0 = interpolate(data, position);
    const float s1 = interpolate(data, position + delta);
    float* slot = out + 2 * k;
    slot[0] += s0 * gain_left;
    slot[1] += s0 * gain_right;
    slot[2] += s1 * gain_left;
    slot[3] += s1 * gain_right;
    position += 2 * delta;
  }
  if (k < frames) {
    const float s = interpolate(data, position);
    out[2 * k] += s * gain_left;
    out[2 * k + 1] += s * gain_right;
    position += delta;
  }
  return position;
}

#if defined(VORNA_AVX2)
namespace {

constexpr std::uint64_t one_frame_step = std::uint64_t{1} << 32;

// The same run, eight frames at a time. Each lane does exactly the plain
// loop's operations on its own frame, in single precision without fused
// multiply-adds, so the result is bit for bit the same.
//
// The lanes hold the whole part and the fraction of position + k x delta
// for the frames k in the order 0 1 4 5 2 3 6 7, which is the order in
// which the stereo pairs come out of one unpack; they step by 8 x delta,
// the carry out of the fraction going into the whole part.
//
// Each lane reads frames p and p + 1. Moving forward by less than a frame a
// step, the eight lanes read within the 9 frames from lane 0's frame, which
// two 8-frame loads (from there and one frame on) cover; by less than two
// frames, within 17 frames, which two loads of frame pairs cover (the pairs
// that start at an even distance from lane 0's frame and those at an odd
// one). Otherwise the pairs are gathered. The windows are used only where
// they lie inside the readable_frames frames of the sample data.
constexpr int lane_frames[8] = {0, 1, 4, 5, 2, 3, 6, 7};

// Lane masks for a last block of 1..7 frames: the frames below the count.
VORNA_TARGET_AVX2 __m256i frames_below(std::int32_t count) {
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(count), _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7));
}

// The same for the interleaved stereo floats of frames 0..3 (first) and
// 4..7 (second).
VORNA_TARGET_AVX2 __m256i slots_below(std::int32_t count, int first_frame) {
  const __m256i frame_of_slot = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(count - first_frame), frame_of_slot);
}

// With ramp_gains, the gains of each frame come from that table instead of
// the two fixed ones: left and right of frame 0, then of frame 1, and so on.
VORNA_TARGET_AVX2 std::uint64_t mix_run_avx2(float* out, const std::int16_t* data, std::uint64_t position,
                                             std::uint64_t delta, float gain_left, float gain_right,
                                             std::int32_t frames, std::int64_t readable_frames,
                                             const float* ramp_gains) {
  if (frames <= 0) {
    return position;
  }
  const std::int32_t blocks = (frames + 7) / 8;  // the last one may be partial
  alignas(32) std::uint32_t whole_parts[8];
  alignas(32) std::uint32_t fractions[8];
  for (int k = 0; k < 8; ++k) {
    const std::uint64_t lane = position + static_cast<std::uint64_t>(lane_frames[k]) * delta;
    whole_parts[k] = static_cast<std::uint32_t>(lane >> 32);
    fractions[k] = static_cast<std::uint32_t>(lane);
  }
  __m256i frame = _mm256_load_si256(reinterpret_cast<const __m256i*>(whole_parts));
  __m256i fraction = _mm256_load_si256(reinterpret_cast<const __m256i*>(fractions));
  const std::uint64_t advance = 8 * delta;
  const __m256i fraction_step = _mm256_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(advance)));
  // The whole step plus one: the comparison below gives -1 without a carry.
  const __m256i frame_step = _mm256_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(advance >> 32) + 1));
  const __m256 gains =
      _mm256_setr_ps(gain_left, gain_right, gain_left, gain_right, gain_left, gain_right, gain_left, gain_right);
  const __m256 scale = _mm256_set1_ps(fraction_scale);
  const __m256i lane_zero = _mm256_setzero_si256();

  // The blocks whose lane 0 frame lies at or before last_start may use the
  // windows: all of them when the last one does, else found by division.
  const bool narrow = delta < one_frame_step;
  std::int32_t window_blocks = 0;
  if (delta < 2 * one_frame_step) {
    const std::int64_t last_start = readable_frames - (narrow ? 9 : 17);
    const std::uint64_t last_block = position + static_cast<std::uint64_t>(blocks - 1) * advance;
    const auto first = static_cast<std::int64_t>(static_cast<std::int32_t>(whole_parts[0]));
    if (static_cast<std::int64_t>(last_block) >> 32 <= last_start) {
      window_blocks = blocks;
    } else if (last_start >= first) {
      const std::uint64_t room = (static_cast<std::uint64_t>(last_start + 1) << 32) - position;
      window_blocks = static_cast<std::int32_t>((room + advance - 1) / advance);
    }
  }

  for (std::int32_t b = 0; b < blocks; ++b) {
    const std::int32_t left = frames - 8 * b;
    __m256i a;
    __m256i next;
    if (b < window_blocks) {
      const std::int32_t base = _mm_cvtsi128_si32(_mm256_castsi256_si128(frame));
      const __m256i distance = _mm256_sub_epi32(frame, _mm256_permutevar8x32_epi32(frame, lane_zero));
      if (narrow) {
        const __m256i here = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + base)));
        const __m256i after = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + base + 1)));
        a = _mm256_permutevar8x32_epi32(here, distance);
        next = _mm256_permutevar8x32_epi32(after, distance);
      } else {
        const __m256i even = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + base));
        const __m256i odd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + base + 1));
        const __m256i half = _mm256_srli_epi32(distance, 1);
        const __m256 from_even = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(even, half));
        const __m256 from_odd = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(odd, half));
        const __m256i pair = _mm256_castps_si256(
            _mm256_blendv_ps(from_even, from_odd, _mm256_castsi256_ps(_mm256_slli_epi32(distance, 31))));
        a = _mm256_srai_epi32(_mm256_slli_epi32(pair, 16), 16);
        next = _mm256_srai_epi32(pair, 16);
      }
    } else {
      // Lanes past the run's end read nothing: they may lie past the data.
      const __m256i active = left >= 8 ? _mm256_set1_epi32(-1) : frames_below(left);
      const __m256i pair =
          _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), reinterpret_cast<const int*>(data), frame, active, 2);
      a = _mm256_srai_epi32(_mm256_slli_epi32(pair, 16), 16);
      next = _mm256_srai_epi32(pair, 16);
    }
    const __m256 t = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(fraction, 1)), scale);
    const __m256 s =
        _mm256_add_ps(_mm256_cvtepi32_ps(a), _mm256_mul_ps(t, _mm256_cvtepi32_ps(_mm256_sub_epi32(next, a))));
    __m256 gains_low = gains;
    __m256 gains_high = gains;
    if (ramp_gains != nullptr) {
      gains_low = _mm256_loadu_ps(ramp_gains + 16 * b);
      gains_high = _mm256_loadu_ps(ramp_gains + 16 * b + 8);
    }
    const __m256 first = _mm256_mul_ps(_mm256_unpacklo_ps(s, s), gains_low);    // frames 0..3
    const __m256 second = _mm256_mul_ps(_mm256_unpackhi_ps(s, s), gains_high);  // frames 4..7
    float* slot = out + 16 * b;
    if (left >= 8) {
      _mm256_storeu_ps(slot, _mm256_add_ps(_mm256_loadu_ps(slot), first));
      _mm256_storeu_ps(slot + 8, _mm256_add_ps(_mm256_loadu_ps(slot + 8), second));
    } else {
      const __m256i low_slots = slots_below(left, 0);
      const __m256i high_slots = slots_below(left, 4);
      _mm256_maskstore_ps(slot, low_slots, _mm256_add_ps(_mm256_maskload_ps(slot, low_slots), first));
      _mm256_maskstore_ps(slot + 8, high_slots, _mm256_add_ps(_mm256_maskload_ps(slot + 8, high_slots), second));
    }
    const __m256i next_fraction = _mm256_add_epi32(fraction, fraction_step);
    const __m256i no_carry = _mm256_cmpeq_epi32(_mm256_max_epu32(next_fraction, fraction), next_fraction);
    frame = _mm256_add_epi32(_mm256_add_epi32(frame, frame_step), no_carry);
    fraction = next_fraction;
  }
  return position + static_cast<std::uint64_t>(frames) * delta;
}

}  // namespace

VORNA_TARGET_AVX2 std::uint64_t mix_steady_avx2(float* out, const std::int16_t* data, std::uint64_t position,
                                                std::uint64_t delta, float gain_left, float gain_right,
                                                std::int32_t frames, std::int64_t readable_frames) {
  return mix_run_avx2(out, data, position, delta, gain_left, gain_right, frames, readable_frames, nullptr);
}

VORNA_TARGET_AVX2 std::uint64_t mix_ramp_gains_avx2(float* out, const std::int16_t* data, std::uint64_t position,
                                                    std::uint64_t delta, const float* ramp_gains, std::int32_t frames,
                                                    std::int64_t readable_frames) {
  return mix_run_avx2(out, data, position, delta, 0.0f, 0.0f, frames, readable_frames, ramp_gains);
}
#endif

namespace {

// The frames of the sample's data that a run may read from frame 0 on.
std::int64_t readable_frames(const Sample& sample) { return static_cast<std::int64_t>(sample.length) + 8; }

// A run during a ramp: the gains move after each frame.
std::uint64_t mix_ramp(float* out, const std::int16_t* data, std::uint64_t position, std::uint64_t delta,
                       float& gain_left, float& gain_right, float step_left, float step_right, std::int32_t frames) {
  for (std::int32_t k = 0; k < frames; ++k) {
    const float s = interpolate(data, position);
    out[2 * k] += s * gain_left;
    out[2 * k + 1] += s * gain_right;
    gain_left += step_left;
    gain_right += step_right;
    position += delta;
  }
  return position;
}

std::uint8_t gain_reached(float gain) {
  const double scaled = std::nearbyint(static_cast<double>(gain) * 255.0);
  return static_cast<std::uint8_t>(std::clamp(scaled, 0.0, 255.0));
}

// Starts a new ramp when the targets have changed since the last set-up or
// no ramp runs; a running ramp toward unchanged targets goes on. The ramp's
// length and step are the output's.
void set_up_ramp(Voice& voice, const SoundOutput& output) {
  const float ramp_step = output.ramp_step;
  if (voice.ramp_frames_left > 0 && voice.gain_left == voice.seen_gain_left &&
      voice.gain_right == voice.seen_gain_right) {
    return;
  }
  voice.seen_gain_left = voice.gain_left;
  voice.seen_gain_right = voice.gain_right;
  const bool left_moves = voice.gain_left != voice.current_gain_left;
  const bool right_moves = voice.gain_right != voice.current_gain_right;
  voice.gain_step_left =
      left_moves ? static_cast<float>(voice.gain_left - voice.current_gain_left) * one_255 * ramp_step : 0.0f;
  voice.gain_step_right =
      right_moves ? static_cast<float>(voice.gain_right - voice.current_gain_right) * one_255 * ramp_step : 0.0f;
  voice.ramp_frames_left = left_moves || right_moves ? output.ramp_length : 0;
}

// What happens at the boundary: wrap, reflect, or the end of the voice.
// Returns false when the voice has ended.
bool pass_boundary(Voice& voice, std::uint64_t& position, std::uint64_t loop_start, std::uint64_t loop_end) {
  const Sample& sample = *voice.sample;
  const std::uint64_t loop_length = loop_end - loop_start;
  if (loop_length != 0 && (sample.loop_type & loop_forward) != 0) {
    do {
      position -= loop_length;
    } while (static_cast<std::int64_t>(position) >= static_cast<std::int64_t>(loop_end));
    return true;
  }
  if (loop_length != 0 && (sample.loop_type & loop_ping_pong) != 0) {
    bool at_start = voice.direction == direction_backward;
    for (;;) {
      if (at_start) {
        position = 2 * loop_start - position - 1;
        voice.direction = direction_forward;
        if (static_cast<std::int64_t>(position) < static_cast<std::int64_t>(loop_end)) {
          return true;
        }
      } else {
        position = 2 * loop_end - position - 1;
        voice.direction = direction_backward;
        if (static_cast<std::int64_t>(position) >= static_cast<std::int64_t>(loop_start)) {
          return true;
        }
      }
      at_start = !at_start;
    }
  }
  voice.sample = nullptr;
  voice.position = 0;
  voice.position_fraction = 0;
  return false;
}

}  // namespace

#if defined(VORNA_AVX2)
// Ramps, on the vector path. A ramp's gains are a chain of additions, each
// waiting for the one before; computed inside each voice's pass, the chain
// sets the pace of the whole pass. So before the voices are mixed, the
// first ramp pass of every voice that starts one has its gains computed,
// the chains of four voices side by side, into the output's ramp_table;
// the pass then reads them like the plain loop's running gains, value for
// value. A row holds the left and right gain of frame 0..max_table_ramp,
// interleaved (one more frame than a ramp has: the gains reached after its
// last frame); the last row is a spare.
VORNA_TARGET_AVX2 void compute_ramp_chains_avx2(const RampChain* chains, int count, RampTable& ramp_table) {
  // Four voices to a vector, left and right side by side; all the vectors
  // step together, so that their chains overlap.
  constexpr int max_groups = max_ramp_voices / 4;
  __m256 gains[max_groups];
  __m256 increments[max_groups];
  float* rows[max_groups][4];
  const int groups = (count + 3) / 4;
  std::int32_t longest = 0;
  for (int g = 0; g < groups; ++g) {
    alignas(32) float start[8] = {};
    alignas(32) float step[8] = {};
    for (int k = 0; k < 4; ++k) {
      const int chain = 4 * g + k;
      // Missing voices of a last group of fewer than four use a spare row.
      rows[g][k] = ramp_table[chain < count ? chain : max_ramp_voices];
      if (chain >= count) {
        continue;
      }
      const Voice& voice = *chains[chain].voice;
      start[2 * k] = static_cast<float>(voice.current_gain_left) * one_255;
      start[2 * k + 1] = static_cast<float>(voice.current_gain_right) * one_255;
      step[2 * k] = voice.gain_step_left;
      step[2 * k + 1] = voice.gain_step_right;
      longest = std::max(longest, chains[chain].frames);
    }
    gains[g] = _mm256_load_ps(start);
    increments[g] = _mm256_load_ps(step);
  }
  for (std::int32_t frame = 0; frame <= longest; ++frame) {
    for (int g = 0; g < groups; ++g) {
      // Each voice's left and right gain of this frame as one 64-bit pair.
      const __m128d first_pairs = _mm_castps_pd(_mm256_castps256_ps128(gains[g]));
      const __m128d second_pairs = _mm_castps_pd(_mm256_extractf128_ps(gains[g], 1));
      _mm_storel_pd(reinterpret_cast<double*>(rows[g][0] + 2 * frame), first_pairs);
      _mm_storeh_pd(reinterpret_cast<double*>(rows[g][1] + 2 * frame), first_pairs);
      _mm_storel_pd(reinterpret_cast<double*>(rows[g][2] + 2 * frame), second_pairs);
      _mm_storeh_pd(reinterpret_cast<double*>(rows[g][3] + 2 * frame), second_pairs);
      gains[g] = _mm256_add_ps(gains[g], increments[g]);
    }
  }
}
#endif

namespace {

void mix_voice(Voice& voice, const SoundOutput& output, float* out, std::int32_t frames,
               const float* first_ramp = nullptr) {
  const Sample& sample = *voice.sample;
  const std::uint64_t step = static_cast<std::uint64_t>(voice.step) << 32 | voice.step_fraction;
  if ((step >> 8) == 0) {
    return;  // never given a frequency: the voice does not move and is not heard
  }
  const std::uint64_t loop_start = static_cast<std::uint64_t>(sample.loop_start) << 32;
  const std::uint64_t loop_end = (static_cast<std::uint64_t>(sample.loop_start) + sample.loop_length) << 32;
  std::uint64_t position = static_cast<std::uint64_t>(voice.position) << 32 | voice.position_fraction;

  while (frames > 0) {
    const bool backward = voice.direction == direction_backward;
    const std::uint64_t delta = backward ? 0 - step : step;
    std::int32_t run = frames;
    bool at_boundary = false;
    const auto distance = static_cast<std::int64_t>(backward ? position - loop_start : loop_end - position);
    if (distance <= 0) {
      run = 0;
      at_boundary = true;
    } else if (static_cast<std::uint64_t>(distance) >> 32 < far_distance) {
      // n = ceil(d / s) frames reach the boundary; n > run exactly when
      // d > run x s, which needs no division.
      const std::uint64_t d = static_cast<std::uint64_t>(distance) >> 8;
      const std::uint64_t s = step >> 8;
      if (d <= static_cast<std::uint64_t>(run) * s) {
        run = static_cast<std::int32_t>((d + s - 1) / s);
        at_boundary = true;
      }
    }

    set_up_ramp(voice, output);
    const bool ramping = voice.ramp_frames_left > 0;
    if (ramping && voice.ramp_frames_left < run) {
      run = voice.ramp_frames_left;
      at_boundary = false;
    }

    if (ramping) {
      float gain_left = static_cast<float>(voice.current_gain_left) * one_255;
      float gain_right = static_cast<float>(voice.current_gain_right) * one_255;
      if (first_ramp != nullptr) {
        position =
            music_kernels.mix_ramp_gains(out, sample.data, position, delta, first_ramp, run, readable_frames(sample));
        gain_left = first_ramp[2 * run];
        gain_right = first_ramp[2 * run + 1];
      } else {
        position = mix_ramp(out, sample.data, position, delta, gain_left, gain_right, voice.gain_step_left,
                            voice.gain_step_right, run);
      }
      voice.current_gain_left = gain_reached(gain_left);
      voice.current_gain_right = gain_reached(gain_right);
      voice.ramp_frames_left -= run;
    } else {
      position =
          music_kernels.mix_steady(out, sample.data, position, delta, static_cast<float>(voice.gain_left) * one_255,
                                   static_cast<float>(voice.gain_right) * one_255, run, readable_frames(sample));
    }
    out += 2 * static_cast<std::ptrdiff_t>(run);
    frames -= run;
    first_ramp = nullptr;  // the table holds the first pass's ramp only

    if (at_boundary && !pass_boundary(voice, position, loop_start, loop_end)) {
      return;
    }
  }
  voice.position = static_cast<std::uint32_t>(position >> 32);
  voice.position_fraction = static_cast<std::uint32_t>(position);
}

}  // namespace

void voice_set_frequency(Voice* voice, std::int32_t hertz) {
  voice->frequency = hertz;
  const std::int32_t output_rate = current_output->output_rate;
  if (output_rate <= 0) {
    return;
  }
  const auto h = static_cast<std::uint32_t>(std::clamp<std::int64_t>(hertz, min_frequency, max_frequency));
  const auto rate = static_cast<std::uint32_t>(output_rate);
  voice->step = h / rate;
  voice->step_fraction = static_cast<std::uint32_t>((static_cast<std::uint64_t>(h % rate) << 32) / rate);
}

namespace {

// Linear pan law; the gains are stored into 8 bits.
void update_gains(Voice* voice) {
  voice->gain_left = static_cast<std::uint8_t>((255 - voice->panning) * voice->volume / 255);
  voice->gain_right = static_cast<std::uint8_t>(voice->panning * voice->volume / 255);
}

}  // namespace

void voice_set_volume(Voice* voice, std::int32_t volume) {
  voice->volume = volume;
  update_gains(voice);
}

void voice_set_panning(Voice* voice, std::int32_t panning) {
  voice->panning = panning;
  update_gains(voice);
}

std::int32_t voice_start_sample(std::int32_t voice_index, Sample* sample) {
  SoundOutput& output = *current_output;
  if (output.voice_table == nullptr || sample == nullptr || voice_index < 0 || voice_index >= voice_count) {
    return -1;
  }
  Voice& voice = output.voice_table[voice_index];
  output.started_voices_end = std::max(output.started_voices_end, voice_index + 1);
  voice.sample = sample;
  if (static_cast<std::uint64_t>(voice.start_offset) >=
      static_cast<std::uint64_t>(sample->loop_start) + sample->loop_length) {
    voice.start_offset = 0;
  }
  voice.position = voice.start_offset;
  voice.position_fraction = 0;
  voice.start_offset = 0;
  voice.direction = direction_forward;
  return voice_index;
}

void voice_reset(std::int32_t voice_index) {
  Voice* const table = current_output->voice_table;
  if (table == nullptr || voice_index < 0 || voice_index >= voice_count) {
    return;
  }
  Voice& voice = table[voice_index];
  voice.position = 0;
  voice.position_fraction = 0;
  voice.sample = nullptr;
}

void mix_voices(float* out, Voice* list_head, std::int32_t frames) {
  if (frames < 1) {
    return;
  }
  SoundOutput& output = *current_output;
  Voice* const voice_table = output.voice_table;
  // The voices to mix, in list order. The output's own list links
  // voice_table in index order and nothing relinks it, so it is read as the
  // array: the same voices in the same order, without waiting on each link.
  Voice* voices[voice_count];
  int count = 0;
  if (list_head == &output.voice_list && voice_table != nullptr && output.voice_list.next == &voice_table[0] &&
      output.voice_list.prev == &voice_table[voice_count - 1]) {
    for (int v = 0; v < output.started_voices_end; ++v) {
      if (voice_table[v].sample != nullptr) {
        voices[count++] = &voice_table[v];
      }
    }
  } else {
    for (Voice* voice = list_head->next; voice != list_head; voice = voice->next) {
      if (voice->sample == nullptr) {
        continue;
      }
      if (count == voice_count) {
        mix_voice(*voice, output, out, frames);  // a list longer than the table: mixed at once, still in order
        continue;
      }
      voices[count++] = voice;
    }
  }
  std::int8_t ramp_row[voice_count];  // the voice's row of ramp_table, or -1
  std::fill_n(ramp_row, count, static_cast<std::int8_t>(-1));
  if (music_kernels.compute_ramp_chains != nullptr && output.ramp_length <= max_table_ramp) {
    RampChain chains[max_ramp_voices] = {};
    int chain_count = 0;
    for (int k = 0; k < count && chain_count < max_ramp_voices; ++k) {
      Voice& voice = *voices[k];
      const std::uint64_t step = static_cast<std::uint64_t>(voice.step) << 32 | voice.step_fraction;
      if ((step >> 8) == 0) {
        continue;  // a voice that does not move sets up no ramp
      }
      // The set-up that the voice's first pass makes; making it now changes
      // nothing, as the pass then finds it made.
      set_up_ramp(voice, output);
      if (voice.ramp_frames_left > 0) {
        ramp_row[k] = static_cast<std::int8_t>(chain_count);
        chains[chain_count++] = {&voice, std::min(voice.ramp_frames_left, frames)};
      }
    }
    music_kernels.compute_ramp_chains(chains, chain_count, output.ramp_table);
  }
  for (int k = 0; k < count; ++k) {
    mix_voice(*voices[k], output, out, frames, ramp_row[k] >= 0 ? output.ramp_table[ramp_row[k]] : nullptr);
  }
}

// Each value is limited first and then rounded: for values inside the
// range that is the same as rounding first, and adding and taking away
// 1.5 x 2^23 rounds a float below 2^22 to the nearest integer, halves to
// even, in the default rounding mode. A NaN, which no mix produces, gives
// -32768.
void convert_to_pcm16_plain(std::int16_t* destination, const float* source, std::int32_t count) {
  constexpr float round_bias = 0x1.8p23f;
  for (std::int32_t k = 0; k < count; ++k) {
    float value = source[k];
    value = value > 32767.0f ? 32767.0f : value;
    value = value >= -32768.0f ? value : -32768.0f;
    value = (value + round_bias) - round_bias;
    destination[k] = static_cast<std::int16_t>(static_cast<std::int32_t>(value));
  }
}

#if defined(VORNA_AVX2)
// Sixteen values at a time: the same limits (min and max keep a NaN, which
// the conversion then turns into -32768 as well), then the conversion to
// integers in the default rounding mode, nearest with halves to even.
VORNA_TARGET_AVX2 void convert_to_pcm16_avx2(std::int16_t* destination, const float* source, std::int32_t count) {
  const std::int32_t whole = count & ~15;
  const __m256 high = _mm256_set1_ps(32767.0f);
  const __m256 low = _mm256_set1_ps(-32768.0f);
  for (std::int32_t k = 0; k < whole; k += 16) {
    const __m256 first = _mm256_max_ps(low, _mm256_min_ps(high, _mm256_loadu_ps(source + k)));
    const __m256 second = _mm256_max_ps(low, _mm256_min_ps(high, _mm256_loadu_ps(source + k + 8)));
    const __m256i packed = _mm256_packs_epi32(_mm256_cvtps_epi32(first), _mm256_cvtps_epi32(second));
    const __m256i ordered = _mm256_permute4x64_epi64(packed, 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + k), ordered);
  }
  convert_to_pcm16_plain(destination + whole, source + whole, count - whole);
}
#endif

void convert_mix_to_pcm16(std::int16_t* destination, const float* source, std::int32_t frames) {
  if (frames <= 0 || destination == nullptr || source == nullptr) {
    return;
  }
  music_kernels.convert_to_pcm16(destination, source, 2 * frames);
}
