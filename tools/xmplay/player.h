// What xmplay does with a loaded song, apart from the terminal: one pass
// of it measured, rendered offline to a WAV file, or followed while the
// output thread plays it.
//
// One pass ends where the first row after the song has passed its last
// order begins (the song wraps to its restart position), or where play
// comes back, by a jump, to an order it has already played, or where one
// row has been entered more than 64 times (a pattern that jumps to itself
// for ever).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "music/music.h"

inline constexpr std::int32_t xmplay_rate = 44100;

struct RowStart {
  std::int64_t frame;  // output frame at which the row began
  std::int32_t order;
  std::int32_t row;
};

// Follows the song that track_song installed, tick by tick. Written by the
// thread that runs the ticks; pass_end_frame is also read by others.
struct PassTracker {
  std::int64_t next_tick_frame;
  std::int32_t previous_order;
  bool keep_rows;
  std::vector<RowStart> rows;
  std::vector<std::uint8_t> visited_orders;  // 256
  std::unordered_map<std::uint32_t, std::uint8_t> row_entries;  // by order << 16 | row, up to 64
  std::atomic<std::int64_t> pass_end_frame;  // -1 until the pass has ended
};
extern PassTracker pass_tracker;

// Makes the song's ticks go through the tracker, from its start.
void track_song(Song* song, bool keep_rows);

// The module name from the file's header (20 characters, blanks trimmed).
std::string module_name(const std::string& path);

// Frames of one pass, found by running the sequencer without mixing; the
// output must be open (offline is enough). The song is played from its
// start and left playing.
std::int64_t measure_pass_frames(Song* song);

struct RenderRequest {
  std::string wav_path;
  double seconds = -1.0;  // below 0: one pass
  std::string timeline_path;  // empty: none
};

// Renders the song offline, chunk by chunk through the output's own
// rendering, to a 16-bit stereo WAV file at 44100 Hz. On failure returns
// false with the reason in error.
bool render_wav(Song* song, const RenderRequest& request, std::string& error, std::int64_t* frames_written = nullptr);
