// What the two fuzz targets do with one input, also run by the tests on
// every input that ever made one of them fail (tests/fuzz/regressions).
// Both abort on a finding the sanitizers do not report themselves: a leak
// of the player's heap, or vector loops that differ from the plain ones.
#pragma once

#include <cstddef>
#include <cstdint>

// Loads the bytes as a module, as the player loads a file a user names,
// renders two seconds of it at 44100 Hz through the output's chunks with
// the plain mixer loops and again with the vector loops (where the CPU has
// them), which must give the same sound, and releases it.
void fuzz_load_and_render(const std::uint8_t* data, std::size_t size);

// Loads the bytes, plays about a second at 22050 Hz in buffers of odd
// sizes (450 frames and others), jumps to the first and the last order and
// to extreme rows, playing a little after each jump, stops the song, plays
// on, and releases everything.
void fuzz_play_in_odd_buffers(const std::uint8_t* data, std::size_t size);
