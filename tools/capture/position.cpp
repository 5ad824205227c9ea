#include "tools/capture/position.h"

#include "music/music.h"

bool capture_song_loaded() { return demo_song != nullptr; }

std::uint16_t capture_song_position() { return song_position(); }

// Read while the music thread waits for the next frame's time.
bool capture_song_wrapped() { return demo_song != nullptr && demo_song->wrapped.load(std::memory_order_relaxed) != 0; }
