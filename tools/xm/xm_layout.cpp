#include "tools/xm/xm_layout.h"

#include <type_traits>

void xm_put8(std::vector<std::uint8_t>& out, std::uint32_t value) { out.push_back(static_cast<std::uint8_t>(value)); }

void xm_put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  xm_put8(out, value);
  xm_put8(out, value >> 8);
}

void xm_put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  xm_put16(out, value);
  xm_put16(out, value >> 16);
}

void xm_put_text(std::vector<std::uint8_t>& out, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) xm_put8(out, i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

void xm_put_module_header(std::vector<std::uint8_t>& out, const XmHeaderFields& header) {
  const std::size_t start = out.size();
  xm_put_text(out, header.id, 17);
  xm_put_text(out, header.name, 20);
  xm_put8(out, 0x1A);
  xm_put_text(out, header.tracker_name, 20);
  xm_put16(out, 0x0104);
  xm_put32(out, header.header_size);
  for (std::uint16_t field : {header.song_length, header.restart_position, header.channels, header.pattern_count,
                              header.instrument_count, header.flags, header.tempo, header.bpm})
    xm_put16(out, field);
  for (std::size_t i = 0; i < 256; ++i) xm_put8(out, i < header.orders.size() ? header.orders[i] : 0);
  out.resize(start + 60 + header.header_size, 0);
}

void xm_put_pattern(std::vector<std::uint8_t>& out, std::uint16_t rows, std::uint16_t packed_size,
                    const std::vector<std::uint8_t>& data) {
  xm_put32(out, xm_pattern_header_size);
  xm_put8(out, 0);  // packing type
  xm_put16(out, rows);
  xm_put16(out, packed_size);
  out.insert(out.end(), data.begin(), data.end());
}

std::vector<std::uint8_t> xm_pack_cells(const XmCell* cells, std::size_t count, XmPacking packing) {
  std::vector<std::uint8_t> out;
  bool any = false;
  for (std::size_t i = 0; i < count; ++i) {
    const XmCell& cell = cells[i];
    any = any || !(cell == XmCell{});
    const std::uint8_t fields[5] = {cell.note, cell.instrument, cell.volume_column, cell.effect, cell.parameter};
    std::uint8_t mask = 0x80;
    for (int f = 0; f < 5; ++f)
      if (fields[f] != 0) mask |= static_cast<std::uint8_t>(1 << f);
    if (packing == XmPacking::plain || (packing == XmPacking::mixed && mask == 0x9F && cell.note < 0x80)) {
      for (std::uint8_t field : fields) xm_put8(out, field);
      continue;
    }
    xm_put8(out, mask);
    for (std::uint8_t field : fields)
      if (field != 0) xm_put8(out, field);
  }
  if (!any && packing == XmPacking::mixed) out.clear();
  return out;
}

namespace {

void put_envelope_points(std::vector<std::uint8_t>& out, const XmEnvelope& envelope) {
  for (std::size_t i = 0; i < 12; ++i) {
    const XmEnvelopePoint point = i < envelope.points.size() ? envelope.points[i] : XmEnvelopePoint{};
    xm_put16(out, point.x);
    xm_put16(out, point.y);
  }
}

}  // namespace

void xm_put_instrument_header(std::vector<std::uint8_t>& out, const XmInstrument& instrument,
                              const XmInstrumentFields& fields) {
  const std::size_t start = out.size();
  xm_put32(out, fields.declared_size);
  xm_put_text(out, instrument.name, 22);
  xm_put8(out, 0);  // type
  xm_put16(out, fields.sample_count);
  if (fields.sample_count > 0) {
    xm_put32(out, xm_sample_header_size);
    out.insert(out.end(), instrument.keymap.begin(), instrument.keymap.end());
    put_envelope_points(out, instrument.volume_envelope);
    put_envelope_points(out, instrument.panning_envelope);
    const XmEnvelope& volume = instrument.volume_envelope;
    const XmEnvelope& panning = instrument.panning_envelope;
    for (std::uint8_t field :
         {fields.volume_points, fields.panning_points, volume.sustain, volume.loop_start, volume.loop_end,
          panning.sustain, panning.loop_start, panning.loop_end, volume.type, panning.type, instrument.vibrato_type,
          instrument.vibrato_sweep, instrument.vibrato_depth, instrument.vibrato_rate})
      xm_put8(out, field);
    xm_put16(out, instrument.fadeout);
  }
  out.resize(start + fields.layout_size, 0);  // reserved bytes
}

void xm_put_sample_header(std::vector<std::uint8_t>& out, const XmSampleFields& sample) {
  xm_put32(out, sample.length);
  xm_put32(out, sample.loop_start);
  xm_put32(out, sample.loop_length);
  xm_put8(out, sample.volume);
  xm_put8(out, static_cast<std::uint8_t>(sample.finetune));
  xm_put8(out, sample.type);
  xm_put8(out, sample.panning);
  xm_put8(out, static_cast<std::uint8_t>(sample.relative_note));
  xm_put8(out, 0);  // reserved
  xm_put_text(out, sample.name, 22);
}

namespace {

// Each value less the one before it (the first less zero), wrapping, stored
// little-endian at the value's width.
template <typename Value>
std::vector<std::uint8_t> delta_code(const std::vector<Value>& values) {
  using Unsigned = std::make_unsigned_t<Value>;
  std::vector<std::uint8_t> out;
  Unsigned previous = 0;
  for (Value value : values) {
    const auto delta = static_cast<std::uint32_t>(static_cast<Unsigned>(static_cast<Unsigned>(value) - previous));
    for (std::size_t byte = 0; byte < sizeof(Value); ++byte) xm_put8(out, delta >> (8 * byte));
    previous = static_cast<Unsigned>(value);
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> delta_8bit(const std::vector<std::int8_t>& values) { return delta_code(values); }

std::vector<std::uint8_t> delta_16bit(const std::vector<std::int16_t>& values) { return delta_code(values); }
