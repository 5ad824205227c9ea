// What the listener changes while a song plays, and what the rendering
// thread shows back: the volume, the stereo width, the muted channels, and
// each channel's last note and level for the live view.
//
// The main thread writes the settings; the thread that runs the song's
// ticks and mixes its chunks reads them at each tick and chunk, and writes
// the channel figures. All of it is atomic, with relaxed order: each value
// stands alone.
#pragma once

#include <atomic>
#include <cstdint>

#include "music/internal.h"

inline constexpr int control_channels = 256;

struct PlayerControls {
  std::atomic<float> gain_db{0.0f};                              // -60..+24
  std::atomic<std::int32_t> stereo_percent{100};                 // 0 mono .. 100 as the song pans
  std::atomic<std::uint64_t> muted[control_channels / 64] = {};  // bit c % 64 of word c / 64

  // From the rendering thread.
  std::atomic<std::uint8_t> level[control_channels] = {};  // 0..255, the channel's loudness in the last chunk
  std::atomic<std::uint16_t> note[control_channels] = {};  // last note 1..96, 97 key off, 0 none; instrument << 8
  std::atomic<std::int32_t> tempo{0};
  std::atomic<std::int32_t> bpm{0};
  std::uint64_t applied_mutes[control_channels / 64] = {};  // rendering thread only
};
extern PlayerControls player_controls;

// Back to the defaults: 0 dB, full stereo, nothing muted, no figures.
void reset_player_controls();

bool channel_muted(int channel);
void set_channel_muted(int channel, bool muted);

// After each of the song's ticks (in its tick handler): silences the
// muted channels' voices (their gains go to 0, ramped as ever) and gives
// the unmuted ones their gains back; on a row's first tick notes the
// channels' notes and instruments; notes the tempo and BPM.
void apply_channel_controls(Song* song, bool row_started);

// SoundOutput::finish_mix: the volume and the stereo width applied to the
// mix (nothing is touched at 0 dB and full stereo, so the default output
// is the player's own, bit for bit), and the channels' levels measured.
void finish_player_mix(float* mix, std::int32_t frames, void* context);
