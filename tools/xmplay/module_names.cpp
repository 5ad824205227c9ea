#include "tools/xmplay/module_names.h"

namespace {

std::uint32_t read32(const std::vector<std::uint8_t>& bytes, std::uint64_t at) {
  if (at + 4 > bytes.size()) {
    return 0;
  }
  const auto k = static_cast<std::size_t>(at);  // inside the bytes, so it fits
  return static_cast<std::uint32_t>(bytes[k]) | static_cast<std::uint32_t>(bytes[k + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[k + 2]) << 16 | static_cast<std::uint32_t>(bytes[k + 3]) << 24;
}

std::uint32_t read16(const std::vector<std::uint8_t>& bytes, std::uint64_t at) {
  if (at + 2 > bytes.size()) {
    return 0;
  }
  const auto k = static_cast<std::size_t>(at);  // inside the bytes, so it fits
  return static_cast<std::uint32_t>(bytes[k]) | static_cast<std::uint32_t>(bytes[k + 1]) << 8;
}

std::string field_at(const std::vector<std::uint8_t>& bytes, std::uint64_t at, std::size_t size) {
  if (at + size > bytes.size()) {
    return {};
  }
  return name_field(bytes.data() + at, size);
}

}  // namespace

std::string name_field(const std::uint8_t* field, std::size_t size) {
  std::string text;
  for (std::size_t k = 0; k < size && field[k] != 0; ++k) {
    text += field[k] < 0x20 || field[k] > 0x7E ? '?' : static_cast<char>(field[k]);
  }
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
  }
  return text;
}

std::vector<InstrumentNames> instrument_names(const std::vector<std::uint8_t>& bytes) {
  std::vector<InstrumentNames> found;
  if (bytes.size() < 80) {
    return found;
  }
  const std::uint32_t pattern_count = read16(bytes, 70);
  const std::uint32_t instrument_count = read16(bytes, 72);
  std::uint64_t at = 60 + static_cast<std::uint64_t>(read32(bytes, 60));
  for (std::uint32_t p = 0; p < pattern_count && at < bytes.size(); ++p) {
    const std::uint32_t header = read32(bytes, at);
    at += (header != 0 ? header : 9) + read16(bytes, at + 7);
  }
  for (std::uint32_t i = 0; i < instrument_count && at + 29 <= bytes.size(); ++i) {
    const std::uint32_t header = read32(bytes, at);
    InstrumentNames instrument;
    instrument.name = field_at(bytes, at + 4, 22);
    const std::uint32_t sample_count = read16(bytes, at + 27);
    const std::uint32_t sample_header = sample_count > 0 ? read32(bytes, at + 29) : 0;
    at += header != 0 ? header : 29;
    std::uint64_t data_bytes = 0;
    for (std::uint32_t s = 0; s < sample_count && s < 256; ++s) {
      const std::uint64_t sample = at + static_cast<std::uint64_t>(s) * (sample_header != 0 ? sample_header : 40);
      instrument.samples.push_back(field_at(bytes, sample + 18, 22));
      data_bytes += read32(bytes, sample);
    }
    at += static_cast<std::uint64_t>(sample_count) * (sample_header != 0 ? sample_header : 40) + data_bytes;
    found.push_back(std::move(instrument));
  }
  return found;
}
