#include "tools/capture/position.h"

#include <algorithm>
#include <cstdint>

#include "music/music.h"

bool capture_song_loaded() { return demo_song != nullptr; }

std::uint16_t capture_song_position() { return song_position(); }

// Read while the music thread waits for the next frame's time.
bool capture_song_wrapped() { return demo_song != nullptr && demo_song->wrapped.load(std::memory_order_relaxed) != 0; }

namespace {

// Rows of the pattern an order plays; pattern data is fixed once loaded.
std::int64_t order_rows(const Song& song, int order) {
  int pattern = song.order_table[order & 0xFF];
  if (song.patterns == nullptr || pattern < 0 || pattern >= song.pattern_count) {
    return 64;  // a missing pattern plays as an empty one of 64 rows
  }
  return song.patterns[pattern].rows > 0 ? song.patterns[pattern].rows : 1;
}

}  // namespace

double capture_song_fraction(std::uint16_t position) {
  if (demo_song == nullptr || demo_song->song_length <= 0) {
    return 0.0;
  }
  const Song& song = *demo_song;
  const int order = position >> 8;
  std::int64_t before = 0;
  std::int64_t total = 0;
  for (int o = 0; o < song.song_length; ++o) {
    std::int64_t rows = order_rows(song, o);
    total += rows;
    if (o < order) {
      before += rows;
    }
  }
  if (order < song.song_length) {
    before += std::min<std::int64_t>(position & 0xFF, order_rows(song, order) - 1);
  }
  double fraction = static_cast<double>(before) / static_cast<double>(total);
  return fraction < 0.0 ? 0.0 : fraction > 1.0 ? 1.0 : fraction;
}
