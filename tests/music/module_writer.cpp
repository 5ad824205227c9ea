#include "music/module_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

XmEnvelope envelope_of(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& points, std::uint8_t type,
                       std::uint8_t sustain, std::uint8_t loop_start, std::uint8_t loop_end) {
  XmEnvelope envelope{{}, sustain, loop_start, loop_end, type};
  for (const auto& [x, y] : points) envelope.points.push_back({x, y});
  return envelope;
}

void put_instrument(std::vector<std::uint8_t>& out, const TestInstrument& instrument) {
  const std::uint16_t count = instrument.sample_count.value_or(static_cast<std::uint16_t>(instrument.samples.size()));
  const std::uint32_t header_size = instrument.header_size.value_or(count > 0 ? 263 : 29);
  XmInstrument fields;
  fields.name = "instrument";
  fields.keymap = std::to_array(instrument.keymap);
  fields.vibrato_type = instrument.vibrato_type;
  fields.vibrato_sweep = instrument.vibrato_sweep;
  fields.vibrato_depth = instrument.vibrato_depth;
  fields.vibrato_rate = instrument.vibrato_rate;
  fields.fadeout = instrument.fadeout;
  fields.volume_envelope = envelope_of(instrument.volume_envelope, instrument.volume_type, instrument.volume_sustain,
                                       instrument.volume_loop_start, instrument.volume_loop_end);
  fields.panning_envelope =
      envelope_of(instrument.panning_envelope, instrument.panning_type, instrument.panning_sustain,
                  instrument.panning_loop_start, instrument.panning_loop_end);
  xm_put_instrument_header(
      out, fields,
      {instrument.declared_header_size.value_or(header_size), header_size, count,
       instrument.volume_points.value_or(static_cast<std::uint8_t>(instrument.volume_envelope.size())),
       instrument.panning_points.value_or(static_cast<std::uint8_t>(instrument.panning_envelope.size()))});
  for (const TestSample& sample : instrument.samples)
    xm_put_sample_header(out, {"sample", sample.length.value_or(static_cast<std::uint32_t>(sample.data.size())),
                               sample.loop_start, sample.loop_length, sample.volume, sample.finetune,
                               static_cast<std::uint8_t>(sample.loop | (sample.sixteen_bit ? 0x10 : 0)), sample.panning,
                               sample.relative_note});
  for (const TestSample& sample : instrument.samples) out.insert(out.end(), sample.data.begin(), sample.data.end());
}

}  // namespace

std::vector<std::uint8_t> write_module(const TestModule& module) {
  std::vector<std::uint8_t> out;
  XmHeaderFields header = module;
  header.pattern_count = module.stored_patterns.value_or(static_cast<std::uint16_t>(module.patterns.size()));
  header.instrument_count = module.stored_instruments.value_or(static_cast<std::uint16_t>(module.instruments.size()));
  xm_put_module_header(out, header);
  for (const TestPattern& pattern : module.patterns) {
    std::vector<XmCell> cells(pattern.raw_data ? 0 : static_cast<std::size_t>(pattern.rows) * module.channels);
    for (std::size_t c = 0; c < cells.size() && c < pattern.cells.size(); ++c) {
      const Cell& cell = pattern.cells[c];
      cells[c] = {cell.note, cell.instrument, cell.volume_column, cell.effect, cell.parameter};
    }
    const std::vector<std::uint8_t> data =
        pattern.raw_data ? *pattern.raw_data : xm_pack_cells(cells.data(), cells.size(), pattern.packing);
    xm_put_pattern(out, static_cast<std::uint16_t>(pattern.rows),
                   pattern.packed_size.value_or(static_cast<std::uint16_t>(data.size())), data);
  }
  for (const TestInstrument& instrument : module.instruments) put_instrument(out, instrument);
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

std::vector<std::int8_t> wave_8bit(std::size_t length, int harmonics, std::uint32_t seed) {
  std::vector<std::int8_t> values(length);
  std::uint32_t noise = seed;
  for (std::size_t k = 0; k < length; ++k) {
    double v = 0.0;
    for (int h = 1; h <= harmonics; ++h) {
      v += std::sin(6.283185307179586 * static_cast<double>(h * k) / static_cast<double>(length)) / h;
    }
    if (harmonics == 0) {
      noise = noise * 1664525u + 1013904223u;
      v = static_cast<double>(static_cast<std::int32_t>(noise >> 24) - 128) / 128.0 *
          (1.0 - static_cast<double>(k) / static_cast<double>(length));
    }
    values[k] = static_cast<std::int8_t>(std::lrint(std::clamp(v * 90.0, -127.0, 127.0)));
  }
  return values;
}

std::vector<std::int16_t> wave_16bit(std::size_t length, int harmonics) {
  std::vector<std::int16_t> values(length);
  for (std::size_t k = 0; k < length; ++k) {
    double v = 0.0;
    for (int h = 1; h <= harmonics; h += 2) {
      v += std::sin(6.283185307179586 * static_cast<double>(h * k) / static_cast<double>(length)) / h;
    }
    values[k] = static_cast<std::int16_t>(std::lrint(std::clamp(v * 20000.0, -32767.0, 32767.0)));
  }
  return values;
}

}  // namespace

TestModule every_effect_song() {
  TestModule module;
  module.name = "every effect";
  module.channels = 12;
  module.tempo = 6;
  module.bpm = 125;
  module.song_length = 16;
  module.orders = {0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7};
  module.restart_position = 0;

  TestInstrument lead;  // 8-bit forward loop, volume envelope with sustain and loop
  lead.samples.push_back(looped_sample(wave_8bit(512, 5, 1), 1, 0, 512));
  lead.volume_envelope = {{0, 0}, {4, 64}, {12, 40}, {20, 48}, {40, 0}};
  lead.volume_type = 7;
  lead.volume_sustain = 2;
  lead.volume_loop_start = 2;
  lead.volume_loop_end = 3;
  lead.fadeout = 800;
  TestInstrument pad;  // 16-bit ping-pong loop, panning envelope, sine auto-vibrato
  TestSample pad_sample;
  pad_sample.sixteen_bit = true;
  pad_sample.data = delta_16bit(wave_16bit(2000, 9));
  pad_sample.loop = 2;
  pad_sample.loop_start = 400;
  pad_sample.loop_length = 3000;
  pad_sample.relative_note = -12;
  pad.samples.push_back(pad_sample);
  pad.panning_envelope = {{0, 0}, {30, 64}, {60, 0}};
  pad.panning_type = 5;
  pad.panning_loop_start = 0;
  pad.panning_loop_end = 2;
  pad.vibrato_type = 0;
  pad.vibrato_depth = 6;
  pad.vibrato_rate = 12;
  pad.vibrato_sweep = 10;
  pad.fadeout = 300;
  TestInstrument drum;  // 8-bit, no loop
  drum.samples.push_back(looped_sample(wave_8bit(6000, 0, 7), 0, 0, 0));
  drum.samples[0].relative_note = 12;
  TestInstrument bass;  // two 16-bit forward loops split by the keymap, square auto-vibrato
  for (int s = 0; s < 2; ++s) {
    TestSample part;
    part.sixteen_bit = true;
    part.data = delta_16bit(wave_16bit(256 + 256 * s, 3 + 4 * s));
    part.loop = 1;
    part.loop_length = static_cast<std::uint32_t>(part.data.size());
    part.finetune = static_cast<std::int8_t>(s == 0 ? -20 : 30);
    bass.samples.push_back(part);
  }
  for (int k = 48; k < 96; ++k) {
    bass.keymap[k] = 1;
  }
  bass.vibrato_type = 1;
  bass.vibrato_depth = 3;
  bass.vibrato_rate = 30;
  module.instruments = {lead, pad, drum, bass};

  struct Command {
    std::uint8_t effect, parameter;
  };
  const Command effects[] = {{0x00, 0x37}, {0x01, 0x04}, {0x02, 0x04}, {0x03, 0x08}, {0x04, 0x46}, {0x05, 0x02},
                             {0x06, 0x20}, {0x07, 0x11}, {0x08, 0x40}, {0x09, 0x02}, {0x0A, 0x04}, {0x0C, 0x30},
                             {0x0E, 0x12}, {0x0E, 0x22}, {0x0E, 0x41}, {0x0E, 0x58}, {0x0E, 0x88}, {0x0E, 0x93},
                             {0x0E, 0xA2}, {0x0E, 0xB2}, {0x0E, 0xC3}, {0x0E, 0xD2}, {0x10, 0x38}, {0x11, 0x01},
                             {0x14, 0x00}, {0x15, 0x08}, {0x19, 0x21}, {0x1B, 0x32}, {0x1D, 0x21}, {0x21, 0x12},
                             {0x21, 0x23}, {0x0E, 0x30}, {0x0E, 0x70}, {0x0E, 0xF0}, {0x12, 0x00}};
  const std::uint8_t volumes[] = {0x00, 0x20, 0x40, 0x50, 0x62, 0x73, 0x84, 0x95,
                                  0xA6, 0xB3, 0xC8, 0xD4, 0xE4, 0xF3, 0x55, 0x08};
  std::uint32_t random = 12345;
  const auto next = [&random](std::uint32_t range) {
    random = random * 1103515245u + 12345u;
    return (random >> 16) % range;
  };
  for (int p = 0; p < 8; ++p) {
    TestPattern pattern;
    pattern.rows = 64;
    pattern.cells.resize(64 * 12);
    for (int row = 0; row < 64; ++row) {
      for (int c = 0; c < 12; ++c) {
        Cell& cell = pattern.cells[static_cast<std::size_t>(row) * 12 + static_cast<std::size_t>(c)];
        if ((row + c) % 3 == 0 || next(5) == 0) {
          cell.note = static_cast<std::uint8_t>(25 + next(48));
          cell.instrument = static_cast<std::uint8_t>(1 + (c + row / 16) % 4);
        } else if (next(16) == 0) {
          cell.note = key_off_note;
        }
        const Command& command = effects[next(sizeof effects / sizeof effects[0])];
        cell.effect = command.effect;
        cell.parameter = command.parameter;
        cell.volume_column = volumes[next(sizeof volumes / sizeof volumes[0])];
      }
    }
    // A pattern loop, a pattern delay, a speed and BPM change, a break.
    pattern.cells[8 * 12 + 11] = {0, 0, 0, 0x0E, 0x60};
    pattern.cells[12 * 12 + 11] = {0, 0, 0, 0x0E, 0x61};
    pattern.cells[20 * 12 + 10] = {0, 0, 0, 0x0E, 0xE1};
    pattern.cells[30 * 12 + 10] = {0, 0, 0, 0x0F, static_cast<std::uint8_t>(p % 2 == 0 ? 5 : 6)};
    pattern.cells[40 * 12 + 10] = {0, 0, 0, 0x0F, static_cast<std::uint8_t>(p % 2 == 0 ? 130 : 125)};
    if (p == 3) {
      pattern.cells[60 * 12 + 9] = {0, 0, 0, 0x0D, 0x00};
    }
    if (p == 7) {
      pattern.cells[63 * 12 + 9] = {0, 0, 0, 0x0B, 0x00};
    }
    module.patterns.push_back(pattern);
  }
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
