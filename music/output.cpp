// Sound output and player control: the wave device, the ring of chunks,
// the output thread, and the song controls and position queries.
#include "music/music.h"

std::int32_t song_order(const Song* song) {
  return song == nullptr ? 0 : song->order.load(std::memory_order_relaxed);
}

std::int32_t song_row(const Song* song) {
  return song == nullptr ? 0 : song->row.load(std::memory_order_relaxed);
}

// (order & 0xFF) << 8 | (row & 0xFF); each call reads afresh.
std::uint16_t song_position() {
  const std::uint32_t order = static_cast<std::uint32_t>(song_order(demo_song)) & 0xFFu;
  const std::uint32_t row = static_cast<std::uint32_t>(song_row(demo_song)) & 0xFFu;
  return static_cast<std::uint16_t>(order << 8 | row);
}
