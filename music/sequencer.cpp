// The sequencer: the song's tick handler, which the output thread calls
// every samples_per_tick output frames, and the tick length. Output thread
// only, except set_song_bpm, which play_song and open_output also call
// while the thread is kept out.
#include <algorithm>

#include "music/music.h"

namespace {

// The Cell of a channel on the current row. Nothing of the row is read
// yet: this steps the position only.
void process_row(Song* song) {
  song->next_row = -1;
  song->next_order = -1;
}

void process_tick(Song*) {}

const Pattern& current_pattern(const Song* song) {
  return song->patterns[song->order_table[song->order.load(std::memory_order_relaxed)]];
}

}  // namespace

void song_tick(Song* song) {
  if (song->tick != 0) {
    process_tick(song);
  } else {
    if (song->next_order >= 0) {
      song->order.store(song->next_order, std::memory_order_relaxed);
    }
    if (song->next_row >= 0) {
      song->row.store(song->next_row, std::memory_order_relaxed);
    }
    process_row(song);
    if (song->next_row == -1) {
      song->next_row = song->row.load(std::memory_order_relaxed) + 1;
      if (song->next_row >= current_pattern(song).rows) {
        song->next_order = song->order.load(std::memory_order_relaxed) + 1;
        song->next_row = 0;
        if (song->next_order >= song->song_length) {
          // A restart position outside the song starts again from the top.
          const bool inside = song->restart_position >= 0 && song->restart_position < song->song_length;
          song->next_order = inside ? song->restart_position : 0;
          song->wrapped.store(1, std::memory_order_relaxed);
        }
      }
    }
  }
  ++song->tick;
  if (song->tick >= song->tempo + song->pattern_delay_ticks) {
    song->tick = 0;
    song->pattern_delay_ticks = 0;
  }
}

// A tick lasts 2.5 / bpm seconds, cut down to whole frames; 0.4 and 0.001
// are single-precision constants, the rest is computed in double. A BPM
// below 1 cannot be turned into a tick length and plays as 125, the usual
// default; a tick lasts at least one frame.
void set_song_bpm(Song* song, std::int32_t bpm) {
  if (bpm < 1) {
    bpm = 125;
  }
  song->bpm = bpm;
  const double frames = 1000.0 / (static_cast<double>(bpm) * static_cast<double>(0.4f)) *
                        static_cast<double>(output_rate) * static_cast<double>(0.001f);
  const auto whole = static_cast<std::int64_t>(frames);
  song->samples_per_tick = whole < 1 ? 1 : static_cast<std::int32_t>(std::min<std::int64_t>(whole, INT32_MAX));
}
