#include "tools/xmplay/controls.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

PlayerControls player_controls;

void reset_player_controls() {
  PlayerControls& c = player_controls;
  c.gain_db.store(0.0f);
  c.stereo_percent.store(100);
  for (int k = 0; k < control_channels / 64; ++k) {
    c.muted[k].store(0);
    c.applied_mutes[k] = 0;
  }
  for (int k = 0; k < control_channels; ++k) {
    c.level[k].store(0);
    c.note[k].store(0);
  }
  c.tempo.store(0);
  c.bpm.store(0);
}

bool channel_muted(int channel) {
  if (channel < 0 || channel >= control_channels) {
    return false;
  }
  return (player_controls.muted[channel / 64].load(std::memory_order_relaxed) >> (channel % 64) & 1) != 0;
}

void set_channel_muted(int channel, bool muted) {
  if (channel < 0 || channel >= control_channels) {
    return;
  }
  const std::uint64_t bit = std::uint64_t{1} << (channel % 64);
  if (muted) {
    player_controls.muted[channel / 64].fetch_or(bit, std::memory_order_relaxed);
  } else {
    player_controls.muted[channel / 64].fetch_and(~bit, std::memory_order_relaxed);
  }
}

void apply_channel_controls(Song* song, bool row_started) {
  PlayerControls& c = player_controls;
  if (song->channels == nullptr) {
    return;
  }
  const int channels = std::min<int>(song->channel_count, control_channels);
  for (int word = 0; word * 64 < channels; ++word) {
    const std::uint64_t muted = c.muted[word].load(std::memory_order_relaxed);
    const std::uint64_t unmuted_now = c.applied_mutes[word] & ~muted;
    c.applied_mutes[word] = muted;
    if ((muted | unmuted_now) == 0) {
      continue;
    }
    for (int bit = 0; bit < 64 && word * 64 + bit < channels; ++bit) {
      Voice* voice = song->channels[word * 64 + bit].voice;
      if (voice == nullptr) {
        continue;
      }
      if ((muted >> bit & 1) != 0) {
        voice->gain_left = 0;
        voice->gain_right = 0;
      } else if ((unmuted_now >> bit & 1) != 0) {
        voice_set_volume(voice, voice->volume);  // the gains from its volume and panning again
      }
    }
  }
  if (row_started) {
    if (const Cell* cells = row_cells(song); cells != nullptr) {
      for (int k = 0; k < channels; ++k) {
        const Cell& cell = cells[k];
        if (cell.note == 0) {
          continue;
        }
        const int note = cell.note == key_off_note ? 97 : std::min<int>(cell.note, 96);
        const int instrument = cell.instrument != 0 ? cell.instrument : c.note[k].load(std::memory_order_relaxed) >> 8;
        c.note[k].store(static_cast<std::uint16_t>(note | instrument << 8), std::memory_order_relaxed);
      }
    }
  }
  c.tempo.store(song->tempo, std::memory_order_relaxed);
  c.bpm.store(song->bpm, std::memory_order_relaxed);
}

namespace {

// How loud a voice was over the frames it last played: the largest of up to
// 16 of its sample's frames spread over them, times its gains; 0..1.
double voice_loudness(const Voice& voice, std::int32_t frames) {
  const Sample* sample = voice.sample;
  if (sample == nullptr || sample->data == nullptr || sample->length == 0) {
    return 0.0;
  }
  const double gains = (voice.current_gain_left + voice.current_gain_right) / 127.0;
  if (gains <= 0.0) {
    return 0.0;
  }
  const std::uint64_t end =
      std::min<std::uint64_t>(sample->length, static_cast<std::uint64_t>(sample->loop_start) + sample->loop_length);
  if (end == 0) {
    return 0.0;
  }
  const std::uint64_t step = static_cast<std::uint64_t>(voice.step) << 32 | voice.step_fraction;
  const std::uint64_t span = std::max<std::uint64_t>(1, (step >> 16) * static_cast<std::uint64_t>(frames) >> 16);
  const std::uint64_t last = std::min<std::uint64_t>(voice.position, end - 1);
  const std::uint64_t first = last > span ? last - span : 0;
  int peak = 0;
  for (int k = 0; k < 16; ++k) {
    const std::uint64_t at = first + (last - first) * static_cast<std::uint64_t>(k) / 15;
    peak = std::max(peak, std::abs(static_cast<int>(sample->data[at])));
  }
  return std::min(1.0, peak / 32768.0 * gains);
}

}  // namespace

void finish_player_mix(float* mix, std::int32_t frames, void*) {
  PlayerControls& c = player_controls;
  const float gain_db = c.gain_db.load(std::memory_order_relaxed);
  const std::int32_t stereo = c.stereo_percent.load(std::memory_order_relaxed);
  const float gain = gain_db == 0.0f ? 1.0f : static_cast<float>(std::pow(10.0, gain_db / 20.0));
  if (stereo != 100) {
    // Each side moves towards the middle: 0 % leaves both sides the mean.
    const float width = static_cast<float>(stereo) / 100.0f;
    for (std::int32_t k = 0; k < frames; ++k) {
      const float middle = (mix[2 * k] + mix[2 * k + 1]) * 0.5f;
      const float side = (mix[2 * k] - mix[2 * k + 1]) * 0.5f * width;
      mix[2 * k] = (middle + side) * gain;
      mix[2 * k + 1] = (middle - side) * gain;
    }
  } else if (gain != 1.0f) {
    for (std::int32_t k = 0; k < 2 * frames; ++k) {
      mix[k] *= gain;
    }
  }
  SoundOutput& output = *current_output;
  for (Song* song = output.playing_songs.next; song != &output.playing_songs; song = song->next) {
    if (song->channels == nullptr) {
      continue;
    }
    const int channels = std::min<int>(song->channel_count, control_channels);
    for (int k = 0; k < channels; ++k) {
      const Voice* voice = song->channels[k].voice;
      const double loudness = voice != nullptr && song->playing != 0 ? voice_loudness(*voice, frames) * gain : 0.0;
      c.level[k].store(static_cast<std::uint8_t>(std::lround(255.0 * std::sqrt(std::min(1.0, loudness)))),
                       std::memory_order_relaxed);
    }
  }
}
