#include "tools/wav/wav_header.h"

#include <algorithm>

namespace {

void put16(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* out, std::uint32_t value) {
  put16(out, value);
  put16(out + 2, value >> 16);
}

void put64(std::uint8_t* out, std::uint64_t value) {
  put32(out, static_cast<std::uint32_t>(value));
  put32(out + 4, static_cast<std::uint32_t>(value >> 32));
}

}  // namespace

std::vector<std::uint8_t> wav_header(std::int64_t frames, std::int32_t rate) {
  const bool stream = frames < 0;
  const std::uint64_t data_bytes = stream ? 0 : 4 * static_cast<std::uint64_t>(frames);
  const bool large = !stream && frames > wav_riff_frame_limit;
  std::vector<std::uint8_t> header(large ? 80 : 44, 0);
  std::uint8_t* at = header.data();
  std::copy_n(large ? "RF64" : "RIFF", 4, at);
  put32(at + 4, large || stream ? 0xFFFFFFFFu : static_cast<std::uint32_t>(36 + data_bytes));
  std::copy_n("WAVE", 4, at + 8);
  at += 12;
  if (large) {
    std::copy_n("ds64", 4, at);
    put32(at + 4, 28);
    put64(at + 8, header.size() - 8 + data_bytes);  // the RIFF size
    put64(at + 16, data_bytes);
    put64(at + 24, static_cast<std::uint64_t>(frames));  // sample frames
    put32(at + 32, 0);                                   // no table
    at += 36;
  }
  const auto hertz = static_cast<std::uint32_t>(rate);
  std::copy_n("fmt ", 4, at);
  put32(at + 4, 16);
  put16(at + 8, 1);  // PCM
  put16(at + 10, 2);
  put32(at + 12, hertz);
  put32(at + 16, hertz * 4);
  put16(at + 20, 4);
  put16(at + 22, 16);
  std::copy_n("data", 4, at + 24);
  put32(at + 28, large || stream ? 0xFFFFFFFFu : static_cast<std::uint32_t>(data_bytes));
  return header;
}
