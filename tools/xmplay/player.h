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
#include <vector>

#include "music/music.h"

inline constexpr std::int32_t xmplay_rate = 44100;

struct RowStart {
  std::int64_t frame;  // output frame at which the row began
  std::int32_t order;
  std::int32_t row;
};

// Follows one song, tick by tick, from its start. Written by the thread
// that runs the song's ticks; pass_end_frame is also read by others. Its
// memory is bounded: a count for each row of each order played (at most
// 256 orders of 65535 rows), and the rows not yet taken by take_rows.
struct PassTracker {
  std::atomic<Song*> song;  // the song it follows, or null
  std::int64_t next_tick_frame;
  std::int32_t previous_order;
  bool keep_rows;
  std::vector<RowStart> rows;                    // when keep_rows: rows begun, in order
  std::vector<std::uint8_t> visited_orders;      // 256 flags
  std::vector<std::uint8_t> row_entries[256];    // by order, then row: entries, up to 64
  std::atomic<std::int64_t> pass_end_frame;      // -1 until the pass has ended
};
// The tracker of the song xmplay plays or renders.
extern PassTracker pass_tracker;

// Makes the song's ticks go through the tracker, from its start. A tracker
// follows one song at a time; each tracker in use must stay alive until
// forget_tracker.
void track_song(Song* song, bool keep_rows, PassTracker& tracker = pass_tracker);
void forget_tracker(PassTracker& tracker);

// The module name from a file's first bytes (20 characters, blanks trimmed,
// control characters shown as '?').
std::string module_name(const std::string& path);
std::string module_name_of(const std::vector<std::uint8_t>& bytes);

// How far a measurement of one pass may go: the song time, the work (ticks
// times channels, the sequencer's cost) and, when set, a flag that stops it.
struct PassLimits {
  std::int64_t max_frames;
  std::int64_t max_channel_ticks;
  const std::atomic<bool>* cancel = nullptr;
};
// For --info and live play: at most two hours of song, and work that takes
// well under a second.
inline constexpr PassLimits quick_pass_limits = {std::int64_t{2} * 3600 * xmplay_rate, std::int64_t{1} << 24};
// For a WAV file of one pass: up to a day, whose rendering takes far longer
// than the measurement.
inline constexpr PassLimits wav_pass_limits = {std::int64_t{24} * 3600 * xmplay_rate, std::int64_t{1} << 28};

struct PassLength {
  std::int64_t frames;  // the pass, or how far the measurement got
  bool complete;        // false: the pass is longer than frames
};

// One pass, found by running the sequencer without mixing, within the
// limits, on an output of its own (opened offline for the purpose). The
// song, which must not be playing, is played from its start and stopped
// again, and left as it was: its samples' finetunes (which effect E5
// changes) and its global volume slide are put back.
PassLength measure_pass(Song* song, const PassLimits& limits = quick_pass_limits);

// "1:02:03" or "2:03.4" for a length in seconds.
std::string clock_text(double seconds);

// The header of a 16-bit stereo PCM file at 44100 Hz of the given frames:
// plain RIFF (44 bytes) when its sizes fit 32 bits, else RF64 (80 bytes),
// whose ds64 chunk holds the 64-bit sizes and whose 32-bit sizes are all
// ones.
std::vector<std::uint8_t> wav_header(std::int64_t frames);

struct RenderRequest {
  std::string wav_path;
  double seconds = -1.0;  // below 0: one pass
  std::string timeline_path;  // empty: none
};

// Renders the song offline, chunk by chunk through the calling thread's
// output (open offline), to a 16-bit stereo WAV file at 44100 Hz: as RIFF
// up to 4 GB of sound and as RF64 beyond. The length is known before the
// file is begun (one pass is measured first), and a render that fails or
// is stopped through cancel leaves no file behind. On failure returns false
// with the reason in error.
bool render_wav(Song* song, const RenderRequest& request, std::string& error, std::int64_t* frames_written = nullptr,
                const std::atomic<bool>* cancel = nullptr);
