// waveOutGetPosition's answer, the same on every backend: the demo's
// device plays one buffer in an endless loop, so the position it reports is
// the place in that buffer, in bytes.
#pragma once

#include <windows.h>
// (after windows.h, which it builds on)
#include <mmsystem.h>

#include <cstdint>

// Writes bytes_played modulo buffer_bytes (all of it while buffer_bytes is
// 0: no buffer yet) into time as TIME_BYTES, and returns that value.
std::uint64_t report_loop_position(LPMMTIME time, std::uint64_t bytes_played, DWORD buffer_bytes);
