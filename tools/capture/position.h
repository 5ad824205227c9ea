// What the capture reads of the song that the demo plays.
#pragma once

#include <cstdint>

// True when the demo's start-up loaded its song.
bool capture_song_loaded();
// The song's position, as the demo's scenes see it: (order << 8) | row.
std::uint16_t capture_song_position();
// True once the song has played past its last order.
bool capture_song_wrapped();
// How far one pass of the song has come at a position, from 0 to 1,
// counted in rows (patterns may differ in length); 0 without a song.
double capture_song_fraction(std::uint16_t position);
