// The byte layout of an Extended Module file (format version 0x0104), field
// by field: the module header, pattern headers and packed cells, instrument
// and sample headers, and delta-coded sample data. The song tool's strict
// writer and the tests' writer (which also writes broken files) both lay
// out their files with these; each decides the values the fields hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/xm/xm_module.h"

// Byte sizes of the fixed parts, as a well-formed file has them.
inline constexpr std::uint32_t xm_header_size = 276;  // counted from offset 60
inline constexpr std::uint32_t xm_pattern_header_size = 9;
inline constexpr std::uint32_t xm_instrument_header_size = 263;
inline constexpr std::uint32_t xm_empty_instrument_header_size = 29;
inline constexpr std::uint32_t xm_sample_header_size = 40;

// Little-endian appends; every multi-byte field of the format is little-endian.
void xm_put8(std::vector<std::uint8_t>& out, std::uint32_t value);
void xm_put16(std::vector<std::uint8_t>& out, std::uint32_t value);
void xm_put32(std::vector<std::uint8_t>& out, std::uint32_t value);
// A text field of exactly width bytes: cut, or padded with zero bytes.
void xm_put_text(std::vector<std::uint8_t>& out, const std::string& text, std::size_t width);

// The module header's fields as stored (counts need not match what follows).
struct XmHeaderFields {
  std::string id = "Extended Module: ";  // 17 bytes are stored
  std::string name;
  std::string tracker_name;
  std::uint32_t header_size = xm_header_size;
  std::uint16_t song_length = 1;
  std::uint16_t restart_position = 0;
  std::uint16_t channels = 12;
  std::uint16_t pattern_count = 0;
  std::uint16_t instrument_count = 0;
  std::uint16_t flags = 1;  // bit 0: linear frequency table
  std::uint16_t tempo = 6;
  std::uint16_t bpm = 125;
  std::vector<std::uint8_t> orders = {0};  // the first 256 are stored
};

// The module header: 60 + header_size bytes (the order table cut, or zeros
// added, to fill it).
void xm_put_module_header(std::vector<std::uint8_t>& out, const XmHeaderFields& header);

// A pattern header (9 bytes) with the packed size stated, then the data.
void xm_put_pattern(std::vector<std::uint8_t>& out, std::uint16_t rows, std::uint16_t packed_size,
                    const std::vector<std::uint8_t>& data);

// How a pattern's cells are stored.
enum class XmPacking {
  masked,  // every cell as a presence mask and the fields present
  plain,   // every cell as note and four bytes (bit 7 of the note clear)
  mixed,   // the shorter of the two for each cell, as trackers save; an
           // all-empty pattern packs to nothing
};

// Packs count cells (rows x channels) as the file stores them.
std::vector<std::uint8_t> xm_pack_cells(const XmCell* cells, std::size_t count, XmPacking packing);

// An instrument header of layout_size bytes (the fields cut, or zeros added,
// to fill it) whose size field holds declared_size. Without samples only
// the size, name, type and sample count are written.
struct XmInstrumentFields {
  std::uint32_t declared_size = 0;
  std::uint32_t layout_size = 0;
  std::uint16_t sample_count = 0;
  std::uint8_t volume_points = 0;  // stored point counts
  std::uint8_t panning_points = 0;
};
void xm_put_instrument_header(std::vector<std::uint8_t>& out, const XmInstrument& instrument,
                              const XmInstrumentFields& fields);

// A sample header (40 bytes); lengths and loop in bytes as stored.
struct XmSampleFields {
  std::string name;
  std::uint32_t length = 0;
  std::uint32_t loop_start = 0;
  std::uint32_t loop_length = 0;
  std::uint8_t volume = 64;
  std::int8_t finetune = 0;
  std::uint8_t type = 0;  // loop kind in bits 0..1, 16-bit data in bit 4
  std::uint8_t panning = 128;
  std::int8_t relative_note = 0;
};
void xm_put_sample_header(std::vector<std::uint8_t>& out, const XmSampleFields& sample);

// Delta coding of sample values as the file stores them.
std::vector<std::uint8_t> delta_8bit(const std::vector<std::int8_t>& values);
std::vector<std::uint8_t> delta_16bit(const std::vector<std::int16_t>& values);
