#include "tools/song/xm_writer.h"

#include <algorithm>

namespace {

std::uint32_t bytes_per_frame(const XmSample& sample) { return sample.sixteen_bit ? 2 : 1; }

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
  return xm_pack_cells(pattern.cells.data(), static_cast<std::size_t>(pattern.rows) * channels, XmPacking::mixed);
}

std::uint32_t sample_data_bytes(const XmSample& sample) {
  return static_cast<std::uint32_t>(sample.frames.size()) * bytes_per_frame(sample);
}

std::vector<std::uint8_t> encode_sample_data(const XmSample& sample) {
  if (sample.sixteen_bit) return delta_16bit(sample.frames);
  std::vector<std::int8_t> values(sample.frames.size());
  std::transform(sample.frames.begin(), sample.frames.end(), values.begin(), narrow_frame);
  return delta_8bit(values);
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
  xm_put_module_header(
      out, {"Extended Module: ", module.name, module.tracker_name, xm_header_size,
            static_cast<std::uint16_t>(module.orders.size()), module.restart_position, module.channel_count,
            static_cast<std::uint16_t>(module.patterns.size()), static_cast<std::uint16_t>(module.instruments.size()),
            module.flags, module.tempo, module.bpm, module.orders});
  for (const XmPattern& pattern : module.patterns) {
    const std::vector<std::uint8_t> packed = pack_pattern(pattern, module.channel_count);
    xm_put_pattern(out, pattern.rows, static_cast<std::uint16_t>(packed.size()), packed);
  }
  for (const XmInstrument& instrument : module.instruments) {
    const auto count = static_cast<std::uint16_t>(instrument.samples.size());
    const std::uint32_t size = count > 0 ? xm_instrument_header_size : xm_empty_instrument_header_size;
    xm_put_instrument_header(out, instrument,
                             {size, size, count, static_cast<std::uint8_t>(instrument.volume_envelope.points.size()),
                              static_cast<std::uint8_t>(instrument.panning_envelope.points.size())});
    for (const XmSample& sample : instrument.samples) {
      const std::uint32_t unit = bytes_per_frame(sample);
      const bool looped = sample.loop != XmLoop::none;
      xm_put_sample_header(
          out, {sample.name, sample_data_bytes(sample), looped ? sample.loop_start * unit : 0,
                looped ? sample.loop_length * unit : 0, sample.volume, sample.finetune,
                static_cast<std::uint8_t>(static_cast<std::uint8_t>(sample.loop) | (sample.sixteen_bit ? 0x10 : 0)),
                sample.panning, sample.relative_note});
    }
    for (const XmSample& sample : instrument.samples) {
      const std::vector<std::uint8_t> data = encode_sample_data(sample);
      out.insert(out.end(), data.begin(), data.end());
    }
  }
  return out;
}
