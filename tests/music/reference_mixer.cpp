#include "music/reference_mixer.h"

#include <cmath>

namespace {

constexpr float inverse_255 = 0.003921569f;

float sample_at(const Sample& sample, std::uint64_t position) {
  const auto p = static_cast<std::int32_t>(position >> 32);
  const float t = static_cast<float>(static_cast<std::int32_t>((position & 0xFFFFFFFFu) >> 1)) / 2147483648.0f;
  const float a = sample.data[p];
  const float b = sample.data[p + 1];
  return a + t * (b - a);
}

std::int64_t as_signed(std::uint64_t value) { return static_cast<std::int64_t>(value); }

void mix_one(Voice& voice, float* out, std::int32_t frames) {
  const Sample& sample = *voice.sample;
  const std::uint64_t step = (std::uint64_t{voice.step} << 32) + voice.step_fraction;
  if (step < 256) {
    return;
  }
  std::uint64_t position = (std::uint64_t{voice.position} << 32) + voice.position_fraction;
  const std::uint64_t start = std::uint64_t{sample.loop_start} << 32;
  const std::uint64_t end = (std::uint64_t{sample.loop_start} + sample.loop_length) << 32;
  std::int32_t done = 0;
  while (done < frames) {
    std::int32_t run = frames - done;
    bool boundary = false;
    const std::int64_t distance =
        voice.direction == direction_backward ? as_signed(position - start) : as_signed(end - position);
    if (distance <= 0) {
      run = 0;
      boundary = true;
    } else if ((distance >> 32) < (1 << 24)) {
      const std::uint64_t whole = static_cast<std::uint64_t>(distance) >> 8;
      const std::uint64_t unit = step >> 8;
      std::uint64_t n = whole / unit;
      if (n * unit < whole) {
        ++n;
      }
      if (n <= static_cast<std::uint64_t>(run)) {
        run = static_cast<std::int32_t>(n);
        boundary = true;
      }
    }
    const bool same_targets = voice.gain_left == voice.seen_gain_left && voice.gain_right == voice.seen_gain_right;
    if (!(voice.ramp_frames_left > 0 && same_targets)) {
      voice.seen_gain_left = voice.gain_left;
      voice.seen_gain_right = voice.gain_right;
      voice.gain_step_left = 0.0f;
      voice.gain_step_right = 0.0f;
      if (voice.gain_left != voice.current_gain_left) {
        voice.gain_step_left = static_cast<float>(voice.gain_left - voice.current_gain_left) * inverse_255;
        voice.gain_step_left *= current_output->ramp_step;
      }
      if (voice.gain_right != voice.current_gain_right) {
        voice.gain_step_right = static_cast<float>(voice.gain_right - voice.current_gain_right) * inverse_255;
        voice.gain_step_right *= current_output->ramp_step;
      }
      const bool moves = voice.gain_left != voice.current_gain_left || voice.gain_right != voice.current_gain_right;
      voice.ramp_frames_left = moves ? current_output->ramp_length : 0;
    }
    const bool ramp = voice.ramp_frames_left > 0;
    if (ramp && voice.ramp_frames_left < run) {
      run = voice.ramp_frames_left;
      boundary = false;
    }
    float left_gain = (ramp ? voice.current_gain_left : voice.gain_left) * inverse_255;
    float right_gain = (ramp ? voice.current_gain_right : voice.gain_right) * inverse_255;
    for (std::int32_t k = 0; k < run; ++k) {
      const float s = sample_at(sample, position);
      float* slot = out + 2 * (done + k);
      slot[0] = slot[0] + s * left_gain;
      slot[1] = slot[1] + s * right_gain;
      if (ramp) {
        left_gain += voice.gain_step_left;
        right_gain += voice.gain_step_right;
      }
      if (voice.direction == direction_backward) {
        position -= step;
      } else {
        position += step;
      }
    }
    if (ramp) {
      voice.current_gain_left =
          static_cast<std::uint8_t>(std::fmax(0.0, std::fmin(255.0, std::nearbyint(left_gain * 255.0))));
      voice.current_gain_right =
          static_cast<std::uint8_t>(std::fmax(0.0, std::fmin(255.0, std::nearbyint(right_gain * 255.0))));
      voice.ramp_frames_left -= run;
    }
    done += run;
    if (!boundary) {
      continue;
    }
    const std::uint64_t length = end - start;
    if (length != 0 && (sample.loop_type & loop_forward) != 0) {
      position -= length;
      while (as_signed(position) >= as_signed(end)) {
        position -= length;
      }
    } else if (length != 0 && (sample.loop_type & loop_ping_pong) != 0) {
      bool reflect_at_end = voice.direction != direction_backward;
      for (;;) {
        if (reflect_at_end) {
          position = 2 * end - position - 1;
          voice.direction = direction_backward;
          if (as_signed(position) >= as_signed(start)) {
            break;
          }
        } else {
          position = 2 * start - position - 1;
          voice.direction = direction_forward;
          if (as_signed(position) < as_signed(end)) {
            break;
          }
        }
        reflect_at_end = !reflect_at_end;
      }
    } else {
      voice.sample = nullptr;
      voice.position = 0;
      voice.position_fraction = 0;
      return;
    }
  }
  voice.position = static_cast<std::uint32_t>(position >> 32);
  voice.position_fraction = static_cast<std::uint32_t>(position);
}

}  // namespace

void reference_mix_voices(float* out, Voice* list_head, std::int32_t frames) {
  for (Voice* voice = list_head->next; frames > 0 && voice != list_head; voice = voice->next) {
    if (voice->sample != nullptr) {
      mix_one(*voice, out, frames);
    }
  }
}

void reference_convert_mix_to_pcm16(std::int16_t* destination, const float* source, std::int32_t frames) {
  if (destination == nullptr || source == nullptr) {
    return;
  }
  for (std::int32_t k = 0; k < 2 * frames; ++k) {
    const double rounded = std::nearbyint(static_cast<double>(source[k]));
    if (std::isnan(rounded) || rounded < -32768.0) {
      destination[k] = -32768;
    } else if (rounded > 32767.0) {
      destination[k] = 32767;
    } else {
      destination[k] = static_cast<std::int16_t>(rounded);
    }
  }
}
