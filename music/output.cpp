// Sound output and player control: the wave device with its one looping
// ring of 20 ms chunks, the output thread that renders each chunk as soon
// as the device has played it, and the song controls and position queries.
//
// Song timing comes from counted output frames: a song's tick_handler runs
// every samples_per_tick frames of the output stream, however late the
// thread wakes. The output thread renders every chunk with its output's
// chunk_lock held; the control calls take the same lock, so they never
// overlap a chunk. Everything here works on the calling thread's
// current_output; a Song is stopped on the output it plays on.
#include <algorithm>
#include <cstring>

#include "music/internal.h"

namespace {

constexpr std::int32_t chunk_ms = 20;
// The largest ring whose byte size still fits a DWORD and a 32-bit size_t.
constexpr std::int64_t max_ring_frames = INT32_MAX / 8;

// Channel i of a playing song drives voice i of its output; with no voices
// (output closed) the channels wait for the next open_output.
void bind_channels(SoundOutput& output, Song* song) {
  if (song->channels == nullptr) {
    return;
  }
  for (std::int32_t i = 0; i < song->channel_count; ++i) {
    song->channels[i].voice = output.voice_table != nullptr ? &output.voice_table[i] : nullptr;
    song->channels[i].voice_index = i;
  }
}

// Unlinks the song from the output it plays on and silences its channels'
// voices there (voice_reset on that output's table), with that output's
// chunk_lock held.
void stop_song_locked(SoundOutput& output, Song* song) {
  list_remove(song);
  song->playing = 0;
  if (song->channels != nullptr) {
    for (std::int32_t i = 0; i < song->channel_count && output.voice_table != nullptr && i < voice_count; ++i) {
      Voice& voice = output.voice_table[i];
      voice.position = 0;
      voice.position_fraction = 0;
      voice.sample = nullptr;
    }
    music_release(song->channels);
    song->channels = nullptr;
  }
  song->output = nullptr;
}

// The ring, the mix buffer and the voices for the given rate; shared by
// the live and the offline output. On failure nothing stays allocated.
bool allocate_output(SoundOutput& output, std::int32_t rate) {
  output.output_rate = rate;
  output.chunk_frames =
      static_cast<std::int32_t>((static_cast<std::int64_t>(rate) * chunk_ms / 1000 + 3) & ~std::int64_t{3});
  const std::int64_t frames = std::int64_t{2} * (output.output_buffer_ms / chunk_ms) * output.chunk_frames;
  if (frames > max_ring_frames) {
    return false;
  }
  output.ring_frames = static_cast<std::int32_t>(frames);
  output.ramp_length =
      std::max<std::int32_t>(1, static_cast<std::int32_t>(static_cast<std::int64_t>(rate) * 128 / 44100));
  output.ramp_step = 1.0f / static_cast<float>(output.ramp_length);
  output.fill_chunk = 0;

  // Interleaved float pairs, started on a 16-byte boundary.
  output.mix_buffer_block = music_allocate(static_cast<std::size_t>(output.ring_frames) * 2 * sizeof(float) + 256, 1);
  output.voice_list.next = output.voice_list.prev = &output.voice_list;
  output.voice_table = static_cast<Voice*>(music_allocate(voice_count, sizeof(Voice)));
  output.started_voices_end = 0;
  output.wave_ring = static_cast<std::int16_t*>(
      music_allocate(static_cast<std::size_t>(output.ring_frames) * 2, sizeof(std::int16_t)));
  if (output.mix_buffer_block == nullptr || output.voice_table == nullptr || output.wave_ring == nullptr) {
    music_release(output.mix_buffer_block);
    music_release(output.voice_table);
    music_release(output.wave_ring);
    output.mix_buffer_block = nullptr;
    output.voice_table = nullptr;
    output.wave_ring = nullptr;
    return false;
  }
  const auto address = reinterpret_cast<std::uintptr_t>(output.mix_buffer_block);
  output.mix_buffer = reinterpret_cast<float*>((address + 15) & ~static_cast<std::uintptr_t>(15));
  for (std::int32_t k = 0; k < voice_count; ++k) {
    list_append(&output.voice_table[k], &output.voice_list);
    output.voice_table[k].index = k;
  }
  // Songs already playing get the new rate's tick length and the new voices.
  for (Song* song = output.playing_songs.next; song != &output.playing_songs; song = song->next) {
    set_song_bpm(song, song->bpm);
    bind_channels(output, song);
  }
  return true;
}

// The thread's argument is its output, which it makes its own.
DWORD WINAPI output_thread(LPVOID parameter) {
  SoundOutput& output = *static_cast<SoundOutput*>(parameter);
  select_output(&output);
  output.thread_finished.store(0);
  const std::int32_t chunk_count = output.ring_frames / output.chunk_frames;
  while (output.stop_request.load() == 0) {
    MMTIME time = {};
    time.wType = TIME_BYTES;
    waveOutGetPosition(output.wave_device, &time, sizeof time);
    const std::uint32_t frames = time.u.cb / 4;
    const auto playing = static_cast<std::int32_t>(frames % static_cast<std::uint32_t>(output.ring_frames) /
                                                   static_cast<std::uint32_t>(output.chunk_frames));
    if (chunk_is_due(output.fill_chunk, playing)) {
      render_chunk(output.fill_chunk);
      output.fill_chunk = output.fill_chunk + 1 == chunk_count ? 0 : output.fill_chunk + 1;
    }
    Sleep(2);
  }
  output.thread_finished.store(1);
  return 0;
}

}  // namespace

bool chunk_is_due(std::int32_t fill, std::int32_t playing) {
  return fill != playing && (playing <= 1 || fill < playing);
}

void select_output(SoundOutput* output) { current_output = output != nullptr ? output : &default_output; }

bool set_output_buffer_length(std::int32_t ms) {
  current_output->output_buffer_ms = std::max(ms, chunk_ms) / chunk_ms * chunk_ms;
  return true;
}

bool open_output(std::int32_t rate) {
  if (music_file_callbacks.open == nullptr) {
    return false;
  }
  close_output();
  if (rate <= 0) {
    return false;
  }
  SoundOutput& output = *current_output;
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = static_cast<DWORD>(rate);
  format.nAvgBytesPerSec = static_cast<DWORD>(rate) * 4;
  format.nBlockAlign = 4;
  format.wBitsPerSample = 16;
  format.cbSize = 0;
  if (waveOutOpen(&output.wave_device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
    output.wave_device = nullptr;
    return false;
  }
  if (!allocate_output(output, rate)) {
    close_output();
    return false;
  }
  output.wave_header = {};
  output.wave_header.lpData = reinterpret_cast<LPSTR>(output.wave_ring);
  output.wave_header.dwBufferLength = static_cast<DWORD>(output.ring_frames) * 4;
  output.wave_header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
  output.wave_header.dwLoops = 0xFFFFFFFF;
  waveOutPrepareHeader(output.wave_device, &output.wave_header, sizeof output.wave_header);
  waveOutWrite(output.wave_device, &output.wave_header, sizeof output.wave_header);

  output.stop_request.store(0);
  // Cleared here as well as by the thread, so that a close_output that
  // comes before the thread has started still waits for it.
  output.thread_finished.store(0);
  output.output_thread_handle = CreateThread(nullptr, 0, output_thread, &output, 0, nullptr);
  if (output.output_thread_handle == nullptr) {
    output.thread_finished.store(1);
    close_output();
    return false;
  }
  SetThreadPriority(output.output_thread_handle, THREAD_PRIORITY_TIME_CRITICAL);
  return true;
}

bool open_offline_output(std::int32_t rate) {
  close_output();
  if (rate <= 0) {
    return false;
  }
  return allocate_output(*current_output, rate);
}

void close_output() {
  SoundOutput& output = *current_output;
  output.stop_request.store(1);
  {
    // Waits for a chunk in progress; no new one starts once the thread has
    // seen stop_request.
    std::lock_guard<std::mutex> wait_for_chunk(output.chunk_lock);
  }
  if (output.output_thread_handle != nullptr) {
    // The lock is not held here: the thread needs its polls to see the
    // request and end.
    while (output.thread_finished.load() == 0) {
      Sleep(50);
    }
    CloseHandle(output.output_thread_handle);
    output.output_thread_handle = nullptr;
  }
  output.voice_list.next = output.voice_list.prev = &output.voice_list;
  music_release(output.mix_buffer_block);
  output.mix_buffer_block = nullptr;
  output.mix_buffer = nullptr;
  if (output.wave_device != nullptr) {
    waveOutUnprepareHeader(output.wave_device, &output.wave_header, sizeof output.wave_header);
    output.wave_header.dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
    waveOutReset(output.wave_device);
    waveOutClose(output.wave_device);
    output.wave_device = nullptr;
  }
  music_release(output.wave_ring);
  output.wave_ring = nullptr;
  music_release(output.voice_table);
  output.voice_table = nullptr;
  // Playing songs keep their channels; the next open_output binds them to
  // its voices.
  for (Song* song = output.playing_songs.next; song != &output.playing_songs; song = song->next) {
    bind_channels(output, song);
  }
}

namespace {

// Step 3 of the thread: the chunk's frames of every playing song, ticks at
// their exact frames, mixed in chunk k's part of mix_buffer and converted
// into pcm.
void render_chunk_frames(std::int32_t k, std::int16_t* pcm) {
  SoundOutput& output = *current_output;
  std::lock_guard<std::mutex> hold(output.chunk_lock);
  const std::int32_t chunk_frames = output.chunk_frames;
  if (output.wave_ring == nullptr || k < 0 || k >= output.ring_frames / chunk_frames) {
    return;
  }
  output.mixing_busy.store(1);
  float* mix = output.mix_buffer + static_cast<std::size_t>(k) * chunk_frames * 2;
  std::fill(mix, mix + static_cast<std::size_t>(chunk_frames) * 2, 0.0f);
  for (Song* song = output.playing_songs.next; song != &output.playing_songs; song = song->next) {
    if (song->playing == 0) {
      continue;
    }
    std::int32_t left = song->tick_countdown;
    std::int32_t done = 0;
    while (done < chunk_frames) {
      if (left <= 0) {
        if (song->tick_handler != nullptr) {
          song->tick_handler(song);
        }
        // Read after the tick, so that a tempo change applies at once; a
        // tick always lasts at least one frame.
        left = std::max<std::int32_t>(1, song->samples_per_tick);
      }
      const std::int32_t frames = std::min(left, chunk_frames - done);
      mix_voices(mix + static_cast<std::size_t>(done) * 2, &output.voice_list, frames);
      done += frames;
      left -= frames;
    }
    song->tick_countdown = left;
  }
  if (output.finish_mix != nullptr) {
    output.finish_mix(mix, chunk_frames, output.finish_mix_context);
  }
  convert_mix_to_pcm16(pcm != nullptr ? pcm : output.wave_ring + static_cast<std::size_t>(k) * chunk_frames * 2, mix,
                       chunk_frames);
  output.mixing_busy.store(0);
}

}  // namespace

void render_chunk(std::int32_t k) { render_chunk_frames(k, nullptr); }

namespace {

// The chunk at fill_chunk, then fill_chunk moves on.
std::int32_t next_chunk(SoundOutput& output) {
  const std::int32_t k = output.fill_chunk;
  output.fill_chunk = k + 1 == output.ring_frames / output.chunk_frames ? 0 : k + 1;
  return k;
}

}  // namespace

const std::int16_t* render_next_chunk() {
  SoundOutput& output = *current_output;
  if (output.wave_ring == nullptr) {
    return nullptr;
  }
  const std::int32_t k = next_chunk(output);
  render_chunk(k);
  return output.wave_ring + static_cast<std::size_t>(k) * output.chunk_frames * 2;
}

bool render_next_chunk_into(std::int16_t* destination) {
  SoundOutput& output = *current_output;
  if (output.wave_ring == nullptr || destination == nullptr) {
    return false;
  }
  render_chunk_frames(next_chunk(output), destination);
  return true;
}

namespace {

// Stops the song on the output it plays on, whichever thread asks. A song
// that plays nowhere is linked nowhere and has no channels.
void stop_where_playing(Song* song) {
  SoundOutput* output = song->output;
  if (output == nullptr) {
    song->playing = 0;
    return;
  }
  std::lock_guard<std::mutex> hold(output->chunk_lock);
  stop_song_locked(*output, song);
}

}  // namespace

bool play_song(Song* song) {
  if (song == nullptr) {
    return false;
  }
  if (song->output != current_output) {
    stop_where_playing(song);
  }
  SoundOutput& output = *current_output;
  std::lock_guard<std::mutex> hold(output.chunk_lock);
  if (song->output == &output) {
    stop_song_locked(output, song);
  }
  song->global_volume = song->initial_global_volume;
  song->next_order = -1;
  song->next_row = -1;
  song->tempo = song->default_tempo;
  song->row.store(0, std::memory_order_relaxed);
  song->order.store(0, std::memory_order_relaxed);
  song->tick_countdown = 0;
  song->tick = 0;
  song->pattern_delay_ticks = 0;
  song->wrapped.store(0, std::memory_order_relaxed);
  set_song_bpm(song, song->default_bpm);
  if (song->channel_count > 0) {
    song->channels =
        static_cast<Channel*>(music_allocate(static_cast<std::size_t>(song->channel_count), sizeof(Channel)));
    if (song->channels == nullptr) {
      return false;
    }
  }
  bind_channels(output, song);
  list_append(song, &output.playing_songs);
  song->playing = 1;
  song->output = &output;
  return true;
}

bool stop_song(Song* song) {
  if (song == nullptr) {
    return false;
  }
  stop_where_playing(song);
  return true;
}

bool pause_song(Song* song, bool paused) {
  if (song == nullptr || song->output == nullptr) {
    return false;
  }
  std::lock_guard<std::mutex> hold(song->output->chunk_lock);
  song->playing = paused ? 0 : 1;
  return true;
}

std::int32_t song_order(const Song* song) { return song == nullptr ? 0 : song->order.load(std::memory_order_relaxed); }

std::int32_t song_row(const Song* song) { return song == nullptr ? 0 : song->row.load(std::memory_order_relaxed); }

// (order & 0xFF) << 8 | (row & 0xFF); each call reads afresh.
std::uint16_t song_position() {
  const std::uint32_t order = static_cast<std::uint32_t>(song_order(demo_song)) & 0xFFu;
  const std::uint32_t row = static_cast<std::uint32_t>(song_row(demo_song)) & 0xFFu;
  return static_cast<std::uint16_t>(order << 8 | row);
}
