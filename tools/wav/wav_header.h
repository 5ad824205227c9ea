// The header of a 16-bit stereo PCM WAV file, for every tool that writes
// sound: xmplay's renders and the capture's recordings.
#pragma once

#include <cstdint>
#include <vector>

// The most frames whose data (4 bytes a frame) a plain RIFF file can hold:
// its RIFF size, 36 + data bytes, must fit 32 bits.
inline constexpr std::int64_t wav_riff_frame_limit = (std::int64_t{0xFFFFFFFF} - 36) / 4;

// The header for frames stereo frames at rate Hz: plain RIFF (44 bytes) up
// to wav_riff_frame_limit frames, else RF64 (80 bytes), whose ds64 chunk
// holds the 64-bit sizes and whose 32-bit sizes are all ones. frames below
// 0: a stream of unknown length, a 44-byte RIFF header whose two sizes are
// all ones, which readers of pipes take as "up to the end".
std::vector<std::uint8_t> wav_header(std::int64_t frames, std::int32_t rate);
