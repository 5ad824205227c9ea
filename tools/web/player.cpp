// The music player of the web page (player.html): the demo's player for any
// Extended Module file the user picks, with the live view of the terminal
// player, pause, seeking, and a WAV file rendered in the page.
//
// The program's main thread (a worker of the page) runs a loop: it takes
// the page's commands, carries them out, and publishes what the page shows.
// The page writes the chosen file to /module.xm and calls
// web_player_command; it reads the published figures through the
// web_player_* functions, which only read atomics and so may be called on
// the page's own thread. Sound goes through the web backend's wave device,
// which the page's audio plays; "save as WAV" renders on a thread of its
// own with an output of its own (and its own copy of the song), beside
// whatever plays, exactly as `xmplay --wav` renders.
#include <emscripten/emscripten.h>
#include <emscripten/threading.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "music/internal.h"
#include "tools/xmplay/player.h"
#include "tools/xmplay/stdio_file.h"

namespace {

constexpr const char* module_path = "/module.xm";
constexpr const char* wav_path = "/render.wav";
constexpr int max_shown_channels = 64;
// The sound device's buffer: short enough that a seek or a pause is heard
// soon, long enough that the page's audio never runs dry.
constexpr std::int32_t buffer_ms = 100;

enum Command : int {
  command_load = 1,          // the file at module_path
  command_play_pause = 2,    // play from the start, pause, or resume
  command_seek_seconds = 3,  // value: seconds forward (negative: back)
  command_seek_orders = 4,   // value: orders forward (negative: back)
  command_render = 5,        // save one pass as WAV at wav_path
  command_loop = 6,          // value: 1 to start again at the end
  command_stop = 7,
};

enum State : int { state_empty = 0, state_loading, state_stopped, state_playing, state_paused, state_failed };
enum RenderState : int { render_idle = 0, render_running, render_done, render_failed };

// --- What the page reads -----------------------------------------------------

struct ChannelView {
  std::atomic<std::int32_t> note{-1};       // keymap index 0..95 (C-0 ...), -1 none
  std::atomic<std::int32_t> instrument{0};  // 1-based, 0 none
  std::atomic<std::int32_t> volume{0};      // 0..64
  std::atomic<std::int32_t> level{0};       // the voice's gain reached, 0..255
};

std::atomic<std::int32_t> shown_state{state_empty};
std::atomic<std::int32_t> shown_order{0};
std::atomic<std::int32_t> shown_row{0};
std::atomic<std::int32_t> shown_pattern{0};
std::atomic<std::int32_t> shown_tempo{0};
std::atomic<std::int32_t> shown_bpm{0};
std::atomic<std::int32_t> shown_channels{0};
std::atomic<std::int32_t> shown_song_length{0};
std::atomic<double> shown_heard_seconds{0.0};
std::atomic<double> shown_pass_seconds{0.0};
std::atomic<double> shown_pass_frames{0.0};
std::atomic<std::int32_t> shown_render{render_idle};
std::array<ChannelView, max_shown_channels> channel_views;
// Texts: written by the loop while the page does not read them (before the
// state that makes it read them is published).
std::mutex text_lock;
std::string shown_name;
std::string shown_message;

// --- Commands from the page ----------------------------------------------------

struct Request {
  int command;
  int value;
};
std::mutex request_lock;
std::deque<Request> requests;
std::atomic<std::uint32_t> request_serial{0};

// --- The song as it plays ----------------------------------------------------

Song* song = nullptr;
bool output_open = false;
bool loop_at_end = false;
std::int64_t pass_frames = 0;
std::vector<RowStart> pass_rows;  // every row start of one pass, from the measurement

// The live song's clock, kept by its tick handler on the output thread and
// by a seek, both with the output's chunk_lock held.
struct LiveClock {
  std::int64_t next_tick_frame = 0;
  std::deque<RowStart> rows;  // recent row starts, for what is heard now
};
LiveClock live;

void live_tick(Song* playing) {
  const std::int64_t frame = live.next_tick_frame;
  const bool row_starts = playing->tick == 0;
  song_tick(playing);
  if (row_starts) {
    live.rows.push_back(
        {frame, playing->order.load(std::memory_order_relaxed), playing->row.load(std::memory_order_relaxed)});
    if (live.rows.size() > 512) {
      live.rows.pop_front();
    }
  }
  live.next_tick_frame = frame + std::max<std::int32_t>(1, playing->samples_per_tick);
}

void set_message(const std::string& text) {
  std::lock_guard<std::mutex> hold(text_lock);
  shown_message = text;
}

// The song frame heard now: the last frame rendered, less what waits in the
// ring to be played. Called with chunk_lock held.
std::int64_t heard_frame_locked() {
  const SoundOutput& output = default_output;
  const std::int64_t rendered = live.next_tick_frame - song->tick_countdown;
  if (output.wave_device == nullptr || output.ring_frames == 0) {
    return rendered;
  }
  MMTIME time = {};
  time.wType = TIME_BYTES;
  waveOutGetPosition(output.wave_device, &time, sizeof time);
  const std::int64_t playing = time.u.cb / 4;
  const std::int64_t filled = static_cast<std::int64_t>(output.fill_chunk) * output.chunk_frames;
  const std::int64_t queued = ((filled - playing) % output.ring_frames + output.ring_frames) % output.ring_frames;
  return std::max<std::int64_t>(0, rendered - queued);
}

void publish_stopped_view() {
  for (ChannelView& view : channel_views) {
    view.level.store(0);
  }
}

// Copies what the page shows from the playing song.
void publish_view() {
  if (song == nullptr || !output_open) {
    return;
  }
  std::lock_guard<std::mutex> hold(default_output.chunk_lock);
  const std::int64_t heard = heard_frame_locked();
  shown_heard_seconds.store(static_cast<double>(std::min(heard, pass_frames > 0 ? pass_frames : heard)) / xmplay_rate);
  std::int32_t order = song->order.load(std::memory_order_relaxed);
  std::int32_t row = song->row.load(std::memory_order_relaxed);
  for (auto it = live.rows.rbegin(); it != live.rows.rend(); ++it) {
    if (it->frame <= heard) {
      order = it->order;
      row = it->row;
      break;
    }
  }
  shown_order.store(order);
  shown_row.store(row);
  shown_pattern.store(order >= 0 && order < 256 ? song->order_table[order] : 0);
  shown_tempo.store(song->tempo);
  shown_bpm.store(song->bpm);
  const int channels = std::min<int>(song->channel_count, max_shown_channels);
  for (int i = 0; i < channels && song->channels != nullptr; ++i) {
    const Channel& channel = song->channels[i];
    ChannelView& view = channel_views[static_cast<std::size_t>(i)];
    const Voice* voice = channel.voice;
    const bool sounding = voice != nullptr && voice->sample != nullptr;
    view.note.store(sounding ? channel.note_index : -1);
    view.instrument.store(channel.instrument_index + 1);
    view.volume.store(channel.volume);
    view.level.store(sounding ? std::max(voice->current_gain_left, voice->current_gain_right) : 0);
  }
}

void unload() {
  if (song != nullptr) {
    free_song(song);  // stops it first
    song = nullptr;
  }
  pass_rows.clear();
  pass_frames = 0;
  publish_stopped_view();
}

void load() {
  unload();
  shown_state.store(state_loading);
  // The pass's length and row starts, from a copy of the song on an
  // output of its own: playing changes a song (effect E5 rewrites its
  // samples' finetunes).
  {
    const auto measuring = std::make_unique<SoundOutput>();  // large: not on the stack
    select_output(measuring.get());
    Song* measured = load_song(module_path);
    if (measured != nullptr) {
      open_offline_output(xmplay_rate);
      track_song(measured, true);
      play_song(measured);
      while (pass_tracker.pass_end_frame.load() < 0) {
        measured->tick_handler(measured);
      }
      pass_frames = pass_tracker.pass_end_frame.load();
      for (const RowStart& row : pass_tracker.rows) {
        if (row.frame < pass_frames) {
          pass_rows.push_back(row);
        }
      }
      pass_tracker.rows.clear();
      free_song(measured);
      close_output();
    }
    select_output(nullptr);
  }
  song = load_song(module_path);
  if (song == nullptr) {
    set_message(load_result_text(last_load_result));
    shown_state.store(state_failed);
    return;
  }
  {
    std::lock_guard<std::mutex> hold(text_lock);
    shown_name = module_name(module_path);
    shown_message.clear();
  }
  shown_channels.store(song->channel_count);
  shown_song_length.store(song->song_length);
  shown_pass_frames.store(static_cast<double>(pass_frames));
  shown_pass_seconds.store(static_cast<double>(pass_frames) / xmplay_rate);
  shown_heard_seconds.store(0.0);
  shown_order.store(0);
  shown_row.store(0);
  shown_pattern.store(song->order_table[0]);
  shown_tempo.store(song->default_tempo);
  shown_bpm.store(song->default_bpm);
  for (int i = 0; i < max_shown_channels; ++i) {
    channel_views[static_cast<std::size_t>(i)].note.store(-1);
    channel_views[static_cast<std::size_t>(i)].instrument.store(0);
    channel_views[static_cast<std::size_t>(i)].volume.store(0);
    channel_views[static_cast<std::size_t>(i)].level.store(0);
  }
  shown_state.store(state_stopped);
}

// Plays the song from the start on the page's sound.
bool start_playing() {
  if (!output_open) {
    set_output_buffer_length(buffer_ms);
    if (!open_output(xmplay_rate)) {
      set_message("cannot open the sound output");
      return false;
    }
    output_open = true;
  }
  {
    std::lock_guard<std::mutex> hold(default_output.chunk_lock);
    live = LiveClock{};
  }
  song->tick_handler = live_tick;
  if (!play_song(song)) {
    set_message("not enough memory to play the module");
    return false;
  }
  waveOutRestart(default_output.wave_device);
  shown_state.store(state_playing);
  return true;
}

void stop_playing() {
  stop_song(song);
  shown_state.store(state_stopped);
  shown_heard_seconds.store(0.0);
  publish_stopped_view();
}

// Moves the song to the given frame of its pass: played from the start
// again, its ticks run up to there without mixing, its voices silenced
// (notes sound again from the next one struck). The device holds still
// meanwhile, so that no chunk renders from the start.
void seek_to(std::int64_t target) {
  if (song == nullptr || !output_open) {
    return;
  }
  target = std::clamp<std::int64_t>(target, 0, std::max<std::int64_t>(0, pass_frames - 1));
  const bool paused = shown_state.load() == state_paused;
  waveOutPause(default_output.wave_device);
  {
    std::lock_guard<std::mutex> hold(default_output.chunk_lock);
    live = LiveClock{};
  }
  song->tick_handler = live_tick;
  play_song(song);
  {
    std::lock_guard<std::mutex> hold(default_output.chunk_lock);
    while (live.next_tick_frame < target) {
      song->tick_handler(song);
    }
    song->tick_countdown = static_cast<std::int32_t>(live.next_tick_frame - target);
    live.next_tick_frame = target + song->tick_countdown;
    for (std::int32_t i = 0; i < song->channel_count; ++i) {
      voice_reset(i);
    }
  }
  if (!paused) {
    waveOutRestart(default_output.wave_device);
    shown_state.store(state_playing);
  }
}

std::int64_t heard_frame() {
  std::lock_guard<std::mutex> hold(default_output.chunk_lock);
  return heard_frame_locked();
}

void seek_orders(int orders) {
  const std::int32_t target_order = shown_order.load() + orders;
  if (target_order < 0) {
    seek_to(0);
    return;
  }
  for (const RowStart& row : pass_rows) {
    if (row.order == target_order) {
      seek_to(row.frame);
      return;
    }
  }
  if (orders > 0) {
    seek_to(pass_frames);  // past the last order: the end
  }
}

// --- Saving as WAV -------------------------------------------------------------

std::thread render_thread;

void render_pass() {
  const auto rendering = std::make_unique<SoundOutput>();  // large: not on the stack
  select_output(rendering.get());
  Song* copy = load_song(module_path);
  bool rendered = false;
  std::string error = "cannot load the module";
  if (copy != nullptr && open_offline_output(xmplay_rate)) {
    RenderRequest request;
    request.wav_path = wav_path;
    rendered = render_wav(copy, request, error);
  }
  if (copy != nullptr) {
    free_song(copy);
  }
  close_output();
  select_output(nullptr);
  if (!rendered) {
    set_message("saving as WAV failed: " + error);
  }
  shown_render.store(rendered ? render_done : render_failed);
}

void start_render() {
  if (shown_render.load() == render_running || song == nullptr) {
    return;
  }
  if (render_thread.joinable()) {
    render_thread.join();
  }
  shown_render.store(render_running);
  render_thread = std::thread(render_pass);
}

void carry_out(const Request& request) {
  const int state = shown_state.load();
  switch (request.command) {
    case command_load:
      if (shown_render.load() == render_running) {
        set_message("wait until the WAV file is saved");
        return;
      }
      load();
      return;
    case command_play_pause:
      if (song == nullptr) {
        return;
      }
      if (state == state_stopped) {
        start_playing();
      } else if (state == state_playing) {
        waveOutPause(default_output.wave_device);
        shown_state.store(state_paused);
      } else if (state == state_paused) {
        waveOutRestart(default_output.wave_device);
        shown_state.store(state_playing);
      }
      return;
    case command_seek_seconds:
      if (state == state_playing || state == state_paused) {
        seek_to(heard_frame() + static_cast<std::int64_t>(request.value) * xmplay_rate);
      }
      return;
    case command_seek_orders:
      if (state == state_playing || state == state_paused) {
        seek_orders(request.value);
      }
      return;
    case command_render:
      start_render();
      return;
    case command_loop:
      loop_at_end = request.value != 0;
      return;
    case command_stop:
      if (state == state_playing || state == state_paused) {
        stop_playing();
      }
      return;
    default:
      return;
  }
}

}  // namespace

// --- The page's calls (on its own thread: they only queue or read) ----------

extern "C" EMSCRIPTEN_KEEPALIVE void web_player_command(int command, int value) {
  {
    std::lock_guard<std::mutex> hold(request_lock);
    requests.push_back({command, value});
  }
  request_serial.fetch_add(1);
  emscripten_futex_wake(&request_serial, 1);
}

// Figures by number: 0 state, 1 order, 2 row, 3 pattern, 4 tempo, 5 bpm,
// 6 channels, 7 orders in the song, 8 render state.
extern "C" EMSCRIPTEN_KEEPALIVE int web_player_figure(int which) {
  switch (which) {
    case 0:
      return shown_state.load();
    case 1:
      return shown_order.load();
    case 2:
      return shown_row.load();
    case 3:
      return shown_pattern.load();
    case 4:
      return shown_tempo.load();
    case 5:
      return shown_bpm.load();
    case 6:
      return shown_channels.load();
    case 7:
      return shown_song_length.load();
    case 8:
      return shown_render.load();
    default:
      return 0;
  }
}

// 0 heard seconds, 1 seconds of one pass, 2 frames of one pass.
extern "C" EMSCRIPTEN_KEEPALIVE double web_player_time(int which) {
  return which == 0 ? shown_heard_seconds.load() : which == 1 ? shown_pass_seconds.load() : shown_pass_frames.load();
}

// Channel i: its note (-1 none), instrument, volume and level packed as
// (note + 1) | instrument << 8 | volume << 16 | level << 24.
extern "C" EMSCRIPTEN_KEEPALIVE unsigned web_player_channel(int i) {
  if (i < 0 || i >= max_shown_channels) {
    return 0;
  }
  const ChannelView& view = channel_views[static_cast<std::size_t>(i)];
  return (static_cast<unsigned>(view.note.load() + 1) & 0xFF) |
         (static_cast<unsigned>(view.instrument.load()) & 0xFF) << 8 |
         (static_cast<unsigned>(view.volume.load()) & 0xFF) << 16 |
         (static_cast<unsigned>(view.level.load()) & 0xFF) << 24;
}

// 0 the module's name, 1 the last message; copied into buffer (bytes).
extern "C" EMSCRIPTEN_KEEPALIVE void web_player_text(int which, char* buffer, int bytes) {
  if (bytes <= 0) {
    return;
  }
  std::lock_guard<std::mutex> hold(text_lock);
  const std::string& text = which == 0 ? shown_name : shown_message;
  const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(bytes) - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

int main() {
  use_stdio_files();
  for (;;) {
    const std::uint32_t seen = request_serial.load();
    std::deque<Request> taken;
    {
      std::lock_guard<std::mutex> hold(request_lock);
      taken.swap(requests);
    }
    for (const Request& request : taken) {
      carry_out(request);
    }
    const int state = shown_state.load();
    if (state == state_playing || state == state_paused) {
      publish_view();
      if (state == state_playing && pass_frames > 0 && heard_frame() >= pass_frames) {
        if (loop_at_end) {
          seek_to(0);
        } else {
          stop_playing();
        }
      }
    }
    if (shown_render.load() != render_running && render_thread.joinable()) {
      render_thread.join();
    }
    // The view is refreshed about 60 times a second, or at once on a command.
    emscripten_futex_wait(&request_serial, seen, 16.0);
  }
}
