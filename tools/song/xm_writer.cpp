#include "tools/song/xm_writer.h"

#include <algorithm>

namespace {

// Little-endian appends; every multi-byte field of the format is little-endian.
void put8(std::vector<std::uint8_t>& out, std::uint32_t value) { out.push_back(static_cast<std::uint8_t>(value)); }

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put8(out, value);
  put8(out, value >> 8);
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put16(out, value);
  put16(out, value >> 16);
}

// A text field of exactly width bytes: cut, or padded with zero bytes.
void put_text(std::vector<std::uint8_t>& out, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) put8(out, i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

std::uint32_t bytes_per_frame(const XmSample& sample) { return sample.sixteen_bit ? 2 : 1; }

// The type byte: loop kind in bits 0..1, 16-bit data in bit 4.
std::uint8_t sample_type(const XmSample& sample) {
  std::uint8_t type = static_cast<std::uint8_t>(sample.loop);
  if (sample.sixteen_bit) type |= 0x10;
  return type;
}

void put_envelope_points(std::vector<std::uint8_t>& out, const XmEnvelope& envelope) {
  for (std::size_t i = 0; i < 12; ++i) {
    const XmEnvelopePoint point = i < envelope.points.size() ? envelope.points[i] : XmEnvelopePoint{};
    put16(out, point.x);
    put16(out, point.y);
  }
}

std::string check_envelope(const XmEnvelope& envelope, const std::string& what) {
  if (envelope.points.size() > 12) return what + " has more than 12 points";
  if (envelope.type == 0) return "";
  if (envelope.points.size() < 2) return what + " is on with fewer than 2 points";
  if (envelope.points[0].x != 0) return what + " does not start at tick 0";
  for (std::size_t i = 0; i < envelope.points.size(); ++i) {
    if (envelope.points[i].y > 64) return what + " has a value above 64";
    if (i > 0 && envelope.points[i].x <= envelope.points[i - 1].x) return what + " does not move forward in time";
  }
  const std::size_t n = envelope.points.size();
  if ((envelope.type & envelope_sustain) && envelope.sustain >= n) return what + " sustains past its last point";
  if ((envelope.type & envelope_loop) && (envelope.loop_start > envelope.loop_end || envelope.loop_end >= n))
    return what + " loops outside its points";
  return "";
}

}  // namespace

std::int8_t narrow_frame(std::int16_t frame) {
  const std::int32_t rounded = (static_cast<std::int32_t>(frame) + 128) >> 8;  // arithmetic: floor
  return static_cast<std::int8_t>(std::clamp(rounded, -128, 127));
}

std::vector<std::uint8_t> pack_pattern(const XmPattern& pattern, std::uint16_t channels) {
  std::vector<std::uint8_t> out;
  const std::size_t count = static_cast<std::size_t>(pattern.rows) * channels;
  bool any = false;
  for (std::size_t i = 0; i < count; ++i) any = any || !(pattern.cells[i] == XmCell{});
  if (!any) return out;
  for (std::size_t i = 0; i < count; ++i) {
    const XmCell& cell = pattern.cells[i];
    const std::uint8_t fields[5] = {cell.note, cell.instrument, cell.volume_column, cell.effect, cell.parameter};
    std::uint8_t mask = 0x80;
    for (int f = 0; f < 5; ++f)
      if (fields[f] != 0) mask |= static_cast<std::uint8_t>(1 << f);
    if (mask == 0x9F && cell.note < 0x80) {
      for (std::uint8_t field : fields) put8(out, field);
      continue;
    }
    put8(out, mask);
    for (std::uint8_t field : fields)
      if (field != 0) put8(out, field);
  }
  return out;
}

std::uint32_t sample_data_bytes(const XmSample& sample) {
  return static_cast<std::uint32_t>(sample.frames.size()) * bytes_per_frame(sample);
}

std::vector<std::uint8_t> encode_sample_data(const XmSample& sample) {
  std::vector<std::uint8_t> out;
  out.reserve(sample_data_bytes(sample));
  if (sample.sixteen_bit) {
    std::uint16_t previous = 0;
    for (std::int16_t frame : sample.frames) {
      const std::uint16_t value = static_cast<std::uint16_t>(frame);
      put16(out, static_cast<std::uint16_t>(value - previous));
      previous = value;
    }
  } else {
    std::uint8_t previous = 0;
    for (std::int16_t frame : sample.frames) {
      const std::uint8_t value = static_cast<std::uint8_t>(narrow_frame(frame));
      put8(out, static_cast<std::uint8_t>(value - previous));
      previous = value;
    }
  }
  return out;
}

std::uint64_t module_file_size(const XmModule& module) {
  std::uint64_t size = 60 + xm_header_size;
  for (const XmPattern& pattern : module.patterns)
    size += xm_pattern_header_size + pack_pattern(pattern, module.channel_count).size();
  for (const XmInstrument& instrument : module.instruments) {
    if (instrument.samples.empty()) {
      size += xm_empty_instrument_header_size;
      continue;
    }
    size += xm_instrument_header_size + xm_sample_header_size * instrument.samples.size();
    for (const XmSample& sample : instrument.samples) size += sample_data_bytes(sample);
  }
  return size;
}

std::string check_module(const XmModule& module) {
  if (module.orders.empty() || module.orders.size() > 256) return "the order list needs 1 to 256 entries";
  if (module.patterns.size() > 256) return "more than 256 patterns";
  if (module.instruments.size() > 128) return "more than 128 instruments";
  if (module.restart_position >= module.orders.size()) return "the restart position lies past the last order";
  if (module.channel_count == 0 || module.channel_count > 32) return "the channel count must be 1 to 32";
  for (std::uint8_t order : module.orders)
    if (order >= module.patterns.size()) return "an order names a pattern that is not stored";
  for (std::size_t p = 0; p < module.patterns.size(); ++p) {
    const XmPattern& pattern = module.patterns[p];
    const std::string what = "pattern " + std::to_string(p);
    if (pattern.rows == 0 || pattern.rows > 256) return what + " must have 1 to 256 rows";
    if (pattern.cells.size() != static_cast<std::size_t>(pattern.rows) * module.channel_count)
      return what + " does not hold rows x channels cells";
    if (pack_pattern(pattern, module.channel_count).size() > 0xFFFF) return what + " packs to more than 65535 bytes";
    for (const XmCell& cell : pattern.cells) {
      if (cell.note > xm_key_off) return what + " has a note above 97";
      if (cell.instrument > module.instruments.size()) return what + " names an instrument that does not exist";
    }
  }
  for (std::size_t i = 0; i < module.instruments.size(); ++i) {
    const XmInstrument& instrument = module.instruments[i];
    const std::string what = "instrument " + std::to_string(i + 1);
    if (instrument.samples.size() > 16) return what + " has more than 16 samples";
    if (instrument.samples.empty()) continue;
    for (std::uint8_t slot : instrument.keymap)
      if (slot >= instrument.samples.size()) return what + " maps a note to a sample it does not have";
    std::string problem = check_envelope(instrument.volume_envelope, what + "'s volume envelope");
    if (problem.empty()) problem = check_envelope(instrument.panning_envelope, what + "'s panning envelope");
    if (!problem.empty()) return problem;
    if (instrument.vibrato_type > 3) return what + " has an auto-vibrato type above 3";
    for (const XmSample& sample : instrument.samples) {
      const std::string s = what + "'s sample \"" + sample.name + "\"";
      if (sample.volume > 64) return s + " has a volume above 64";
      if (sample.loop != XmLoop::none) {
        if (sample.loop_length == 0) return s + " has an empty loop";
        if (std::uint64_t{sample.loop_start} + sample.loop_length > sample.frames.size())
          return s + " loops past its end";
      }
      if (std::uint64_t{sample.frames.size()} * bytes_per_frame(sample) > 0x7FFFFFFF) return s + " is too long";
    }
  }
  return "";
}

std::vector<std::uint8_t> write_module(const XmModule& module) {
  std::vector<std::uint8_t> out;
  out.reserve(module_file_size(module));

  // Module header.
  put_text(out, "Extended Module: ", 17);
  put_text(out, module.name, 20);
  put8(out, 0x1A);
  put_text(out, module.tracker_name, 20);
  put16(out, 0x0104);
  put32(out, xm_header_size);
  put16(out, static_cast<std::uint32_t>(module.orders.size()));
  put16(out, module.restart_position);
  put16(out, module.channel_count);
  put16(out, static_cast<std::uint32_t>(module.patterns.size()));
  put16(out, static_cast<std::uint32_t>(module.instruments.size()));
  put16(out, module.flags);
  put16(out, module.tempo);
  put16(out, module.bpm);
  for (std::size_t i = 0; i < 256; ++i) put8(out, i < module.orders.size() ? module.orders[i] : 0);

  for (const XmPattern& pattern : module.patterns) {
    const std::vector<std::uint8_t> packed = pack_pattern(pattern, module.channel_count);
    put32(out, xm_pattern_header_size);
    put8(out, 0);  // packing type
    put16(out, pattern.rows);
    put16(out, static_cast<std::uint32_t>(packed.size()));
    out.insert(out.end(), packed.begin(), packed.end());
  }

  for (const XmInstrument& instrument : module.instruments) {
    const std::size_t start = out.size();
    if (instrument.samples.empty()) {
      put32(out, xm_empty_instrument_header_size);
      put_text(out, instrument.name, 22);
      put8(out, 0);  // type
      put16(out, 0);
      continue;
    }
    put32(out, xm_instrument_header_size);
    put_text(out, instrument.name, 22);
    put8(out, 0);
    put16(out, static_cast<std::uint32_t>(instrument.samples.size()));
    put32(out, xm_sample_header_size);
    for (std::uint8_t slot : instrument.keymap) put8(out, slot);
    put_envelope_points(out, instrument.volume_envelope);
    put_envelope_points(out, instrument.panning_envelope);
    put8(out, static_cast<std::uint32_t>(instrument.volume_envelope.points.size()));
    put8(out, static_cast<std::uint32_t>(instrument.panning_envelope.points.size()));
    put8(out, instrument.volume_envelope.sustain);
    put8(out, instrument.volume_envelope.loop_start);
    put8(out, instrument.volume_envelope.loop_end);
    put8(out, instrument.panning_envelope.sustain);
    put8(out, instrument.panning_envelope.loop_start);
    put8(out, instrument.panning_envelope.loop_end);
    put8(out, instrument.volume_envelope.type);
    put8(out, instrument.panning_envelope.type);
    put8(out, instrument.vibrato_type);
    put8(out, instrument.vibrato_sweep);
    put8(out, instrument.vibrato_depth);
    put8(out, instrument.vibrato_rate);
    put16(out, instrument.fadeout);
    out.resize(start + xm_instrument_header_size, 0);  // reserved bytes

    for (const XmSample& sample : instrument.samples) {
      const std::uint32_t unit = bytes_per_frame(sample);
      const bool looped = sample.loop != XmLoop::none;
      put32(out, sample_data_bytes(sample));
      put32(out, looped ? sample.loop_start * unit : 0);
      put32(out, looped ? sample.loop_length * unit : 0);
      put8(out, sample.volume);
      put8(out, static_cast<std::uint8_t>(sample.finetune));
      put8(out, sample_type(sample));
      put8(out, sample.panning);
      put8(out, static_cast<std::uint8_t>(sample.relative_note));
      put8(out, 0);  // reserved
      put_text(out, sample.name, 22);
    }
    for (const XmSample& sample : instrument.samples) {
      const std::vector<std::uint8_t> data = encode_sample_data(sample);
      out.insert(out.end(), data.begin(), data.end());
    }
  }
  return out;
}
