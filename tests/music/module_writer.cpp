#include "music/module_writer.h"

#include <algorithm>
#include <cstring>

namespace {

void put8(std::vector<std::uint8_t>& out, std::uint32_t value) { out.push_back(static_cast<std::uint8_t>(value)); }
void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put8(out, value);
  put8(out, value >> 8);
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put16(out, value);
  put16(out, value >> 16);
}
void put_text(std::vector<std::uint8_t>& out, const std::string& text, std::size_t width) {
  for (std::size_t k = 0; k < width; ++k) {
    put8(out, k < text.size() ? static_cast<std::uint8_t>(text[k]) : 0);
  }
}

void put_cell(std::vector<std::uint8_t>& out, const Cell& cell, Packing packing) {
  const std::uint8_t fields[5] = {cell.note, cell.instrument, cell.volume_column, cell.effect, cell.parameter};
  int present = 0;
  std::uint8_t mask = 0x80;
  for (int k = 0; k < 5; ++k) {
    if (fields[k] != 0) {
      mask = static_cast<std::uint8_t>(mask | 1 << k);
      ++present;
    }
  }
  const bool plain = packing == Packing::plain || (packing == Packing::mixed && present == 5 && cell.note < 0x80);
  if (plain) {
    for (std::uint8_t field : fields) {
      put8(out, field);
    }
    return;
  }
  put8(out, mask);
  for (int k = 0; k < 5; ++k) {
    if (fields[k] != 0) {
      put8(out, fields[k]);
    }
  }
}

void put_envelope(std::vector<std::uint8_t>& out, const std::vector<std::pair<std::uint16_t, std::uint16_t>>& points) {
  for (std::size_t k = 0; k < 12; ++k) {
    put16(out, k < points.size() ? points[k].first : 0);
    put16(out, k < points.size() ? points[k].second : 0);
  }
}

void put_instrument(std::vector<std::uint8_t>& out, const TestInstrument& instrument) {
  const std::uint16_t count = instrument.sample_count.value_or(static_cast<std::uint16_t>(instrument.samples.size()));
  const std::size_t start = out.size();
  const std::uint32_t header_size = instrument.header_size.value_or(count > 0 ? 263 : 29);
  put32(out, instrument.declared_header_size.value_or(header_size));
  put_text(out, "instrument", 22);
  put8(out, 0);
  put16(out, count);
  if (count > 0) {
    put32(out, 40);
    out.insert(out.end(), instrument.keymap, instrument.keymap + 96);
    put_envelope(out, instrument.volume_envelope);
    put_envelope(out, instrument.panning_envelope);
    put8(out, instrument.volume_points.value_or(static_cast<std::uint8_t>(instrument.volume_envelope.size())));
    put8(out, instrument.panning_points.value_or(static_cast<std::uint8_t>(instrument.panning_envelope.size())));
    for (std::uint8_t field : {instrument.volume_sustain, instrument.volume_loop_start, instrument.volume_loop_end,
                               instrument.panning_sustain, instrument.panning_loop_start, instrument.panning_loop_end,
                               instrument.volume_type, instrument.panning_type, instrument.vibrato_type,
                               instrument.vibrato_sweep, instrument.vibrato_depth, instrument.vibrato_rate}) {
      put8(out, field);
    }
    put16(out, instrument.fadeout);
  }
  // Pad (or cut) the header to its declared size.
  out.resize(start + header_size, 0);
  for (const TestSample& sample : instrument.samples) {
    put32(out, sample.length.value_or(static_cast<std::uint32_t>(sample.data.size())));
    put32(out, sample.loop_start);
    put32(out, sample.loop_length);
    put8(out, sample.volume);
    put8(out, static_cast<std::uint8_t>(sample.finetune));
    put8(out, static_cast<std::uint32_t>(sample.loop) | (sample.sixteen_bit ? 0x10u : 0u));
    put8(out, sample.panning);
    put8(out, static_cast<std::uint8_t>(sample.relative_note));
    put8(out, 0);
    put_text(out, "sample", 22);
  }
  for (const TestSample& sample : instrument.samples) {
    out.insert(out.end(), sample.data.begin(), sample.data.end());
  }
}

}  // namespace

std::vector<std::uint8_t> write_module(const TestModule& module) {
  std::vector<std::uint8_t> out;
  put_text(out, module.id, module.id.size());
  out.resize(17, 0);
  put_text(out, module.name, 20);
  put8(out, 0x1A);
  put_text(out, "test writer", 20);
  put16(out, 0x0104);
  put32(out, module.header_size);
  put16(out, module.song_length);
  put16(out, module.restart_position);
  put16(out, module.channels);
  put16(out, module.stored_patterns.value_or(static_cast<std::uint16_t>(module.patterns.size())));
  put16(out, module.stored_instruments.value_or(static_cast<std::uint16_t>(module.instruments.size())));
  put16(out, module.flags);
  put16(out, module.tempo);
  put16(out, module.bpm);
  for (std::size_t k = 0; k < 256; ++k) {
    put8(out, k < module.orders.size() ? module.orders[k] : 0);
  }
  out.resize(60 + module.header_size, 0);

  for (const TestPattern& pattern : module.patterns) {
    std::vector<std::uint8_t> data;
    if (pattern.raw_data) {
      data = *pattern.raw_data;
    } else {
      const std::size_t count = static_cast<std::size_t>(pattern.rows) * module.channels;
      bool any = false;
      for (std::size_t c = 0; c < count; ++c) {
        const Cell cell = c < pattern.cells.size() ? pattern.cells[c] : Cell{};
        any = any || cell.note != 0 || cell.instrument != 0 || cell.volume_column != 0 || cell.effect != 0 ||
              cell.parameter != 0;
        put_cell(data, cell, pattern.packing);
      }
      if (!any && pattern.packing == Packing::mixed) {
        data.clear();  // trackers store an empty pattern without data
      }
    }
    put32(out, 9);
    put8(out, 0);
    put16(out, static_cast<std::uint32_t>(pattern.rows));
    put16(out, pattern.packed_size.value_or(static_cast<std::uint16_t>(data.size())));
    out.insert(out.end(), data.begin(), data.end());
  }
  for (const TestInstrument& instrument : module.instruments) {
    put_instrument(out, instrument);
  }
  return out;
}

std::vector<std::uint8_t> delta_8bit(const std::vector<std::int8_t>& values) {
  std::vector<std::uint8_t> out;
  std::uint8_t previous = 0;
  for (std::int8_t value : values) {
    out.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(value) - previous));
    previous = static_cast<std::uint8_t>(value);
  }
  return out;
}

std::vector<std::uint8_t> delta_16bit(const std::vector<std::int16_t>& values) {
  std::vector<std::uint8_t> out;
  std::uint16_t previous = 0;
  for (std::int16_t value : values) {
    const auto delta = static_cast<std::uint16_t>(static_cast<std::uint16_t>(value) - previous);
    put16(out, delta);
    previous = static_cast<std::uint16_t>(value);
  }
  return out;
}

TestSample looped_sample(const std::vector<std::int8_t>& values, std::uint8_t loop, std::uint32_t loop_start,
                         std::uint32_t loop_length) {
  TestSample sample;
  sample.data = delta_8bit(values);
  sample.loop = loop;
  sample.loop_start = loop_start;
  sample.loop_length = loop_length;
  return sample;
}

TestModule one_pattern_module(std::uint16_t channels, std::int32_t rows,
                              const std::vector<std::pair<std::pair<int, int>, Cell>>& cells) {
  TestModule module;
  module.channels = channels;
  TestPattern pattern;
  pattern.rows = rows;
  pattern.cells.resize(static_cast<std::size_t>(rows) * channels);
  for (const auto& [place, cell] : cells) {
    pattern.cells[static_cast<std::size_t>(place.first) * channels + static_cast<std::size_t>(place.second)] = cell;
  }
  module.patterns.push_back(pattern);
  TestInstrument instrument;
  std::vector<std::int8_t> wave(256);
  for (std::size_t k = 0; k < wave.size(); ++k) {
    wave[k] = static_cast<std::int8_t>(k < 128 ? 100 : -100);
  }
  instrument.samples.push_back(looped_sample(wave, 1, 0, 256));
  module.instruments.push_back(instrument);
  return module;
}

namespace {

std::vector<std::uint8_t> served;
std::int64_t served_position = 0;

std::uint32_t buffer_open(const char* name) {
  if (std::strcmp(name, "missing") == 0) {
    return 0;
  }
  served_position = 0;
  return 7;
}

void buffer_close(std::uint32_t) {}

std::int32_t buffer_read(void* destination, std::int32_t count, std::uint32_t) {
  const std::int64_t left = static_cast<std::int64_t>(served.size()) - served_position;
  const std::int64_t copied = std::clamp<std::int64_t>(count, 0, std::max<std::int64_t>(left, 0));
  if (copied > 0) {
    std::memcpy(destination, served.data() + served_position, static_cast<std::size_t>(copied));
  }
  served_position += copied;
  return static_cast<std::int32_t>(copied);
}

void buffer_seek(std::uint32_t, std::int32_t offset, std::uint8_t mode) {
  const auto size = static_cast<std::int64_t>(served.size());
  const std::int64_t target = mode == 0 ? offset : mode == 1 ? served_position + offset : size - offset;
  served_position = std::clamp<std::int64_t>(target, 0, size);
}

std::int32_t buffer_tell(std::uint32_t) { return static_cast<std::int32_t>(served_position); }

}  // namespace

void use_buffer_file(std::vector<std::uint8_t> bytes) {
  served = std::move(bytes);
  served_position = 0;
  set_music_file_callbacks(buffer_open, buffer_close, buffer_read, buffer_seek, buffer_tell);
}

Song* load_bytes(const std::vector<std::uint8_t>& bytes) {
  use_buffer_file(bytes);
  return load_song("module.xm");
}
