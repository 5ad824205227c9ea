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

#include "music/internal.h"

// The output rate unless --rate gives another.
inline constexpr std::int32_t xmplay_rate = 44100;

struct RowStart {
  std::int64_t frame;  // output frame at which the row began
  std::int32_t order;
  std::int32_t row;
};

// Follows one song, tick by tick, from its start. Written by the thread
// that runs the song's ticks; the atomics are also read (and the requests
// written) by others. Its memory is bounded: a count for each row of each
// order played (at most 256 orders of 65535 rows), and the rows not yet
// taken by take_rows.
//
// Passes: a pass ends as described above; the next one then begins, its
// orders and rows counted afresh, until `passes` have ended (0: never).
struct PassTracker {
  std::atomic<Song*> song;  // the song it follows, or null
  std::int64_t next_tick_frame;
  std::int32_t previous_order;
  bool keep_rows;
  std::int32_t passes;                         // passes to play; 0 for ever
  bool heard;                                  // the listener's controls apply (false for a measurement)
  std::vector<RowStart> rows;                  // when keep_rows: rows begun, in order
  std::vector<std::uint8_t> visited_orders;    // 256 flags
  std::vector<std::uint8_t> row_entries[256];  // by order, then row: entries, up to 64
  std::vector<std::int64_t> order_clock;       // 256: pass clock where each order began in pass 1, or -1
  std::int64_t clock;                          // frames into the current pass at next_tick_frame
  std::atomic<std::int64_t> pass_end_frame;    // -1 until the last pass has ended
  std::atomic<std::int64_t> ticked_frames;     // next_tick_frame, for other threads
  std::atomic<std::int64_t> pass_clock;        // clock, for other threads
  std::atomic<std::int32_t> pass;              // the pass playing, from 1
  // Requests from other threads, taken at the next tick: play from the
  // start of this order (-1: none), the pass clock there if the tracker has
  // not seen the order yet (-1: unknown, the clock goes on).
  std::atomic<std::int32_t> seek_order;
  std::atomic<std::int64_t> seek_clock;
};
// The tracker of the song xmplay plays or renders.
extern PassTracker pass_tracker;

// Makes the song's ticks go through the tracker, from its start (its first
// order, or start_order), for passes passes (0: for ever). A tracker
// follows one song at a time; each tracker in use must stay alive until
// forget_tracker.
void track_song(Song* song, bool keep_rows, PassTracker& tracker = pass_tracker, std::int32_t passes = 1,
                std::int32_t start_order = 0);
void forget_tracker(PassTracker& tracker);
// Asks the tracked song to go on from the start of the order (the request
// is taken by the thread that runs its ticks).
void seek_to_order(PassTracker& tracker, std::int32_t order, std::int64_t clock_if_unknown);

// The module name from a file's first bytes (20 characters, blanks trimmed,
// control characters shown as '?').
std::string module_name(const std::string& path);
std::string module_name_of(const std::vector<std::uint8_t>& bytes);

// How far a measurement of one pass may go: the song time (in frames of
// the rate measured at), the work (ticks times channels, the sequencer's
// cost) and, when set, a flag that stops it.
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
// The limits' song time at another rate.
PassLimits limits_at_rate(PassLimits limits, std::int32_t rate);

struct PassLength {
  std::int64_t frames;  // the pass, or how far the measurement got
  bool complete;        // false: the pass is longer than frames
};

// Where and how a measurement plays the song.
struct PassPlan {
  std::int32_t rate = xmplay_rate;
  std::int32_t passes = 1;       // the passes measured, 1 or more
  std::int32_t start_order = 0;  // the order play starts from
  // When set: filled with the clock (frames) at which each of the 256
  // orders first began in the first pass, -1 for those it did not play.
  std::vector<std::int64_t>* order_clock = nullptr;
};

// The passes, found by running the sequencer without mixing, within the
// limits, on an output of its own (opened offline for the purpose). The
// song, which must not be playing, is played from its start and stopped
// again, and left as it was: its samples' finetunes (which effect E5
// changes) and its global volume slide are put back.
PassLength measure_pass(Song* song, const PassLimits& limits = quick_pass_limits, const PassPlan& plan = {});

// "1:02:03" or "2:03.4" for a length in seconds.
std::string clock_text(double seconds);

struct RenderRequest {
  std::string wav_path;     // "-": standard output
  bool raw = false;         // headerless 16-bit little-endian stereo frames
  double seconds = -1.0;    // below 0: the passes
  std::int32_t passes = 1;  // 0: for ever (then seconds, or to standard output only)
  std::int32_t start_order = 0;
  std::int32_t rate = xmplay_rate;
  std::string timeline_path;  // empty: none
};

// Renders the song offline, chunk by chunk through the calling thread's
// output (open offline, at the request's rate), to a 16-bit stereo WAV file:
// as RIFF up to 4 GB of sound and as RF64 beyond. The length is known
// before the file is begun (the passes are measured first), so that the
// header is right from the start and standard output needs no seeking;
// endless play to standard output gets a header of unknown length. A
// render that fails or is stopped through cancel leaves no file behind. On
// failure returns false with the reason in error.
bool render_wav(Song* song, const RenderRequest& request, std::string& error, std::int64_t* frames_written = nullptr,
                const std::atomic<bool>* cancel = nullptr);
