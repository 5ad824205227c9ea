#include "tools/capture/position.h"

// GAP(music): read demo_song and song_position() once the music player
// exists. Until then there is no song.
bool capture_song_loaded() { return false; }
std::uint16_t capture_song_position() { return 0; }
bool capture_song_wrapped() { return false; }
