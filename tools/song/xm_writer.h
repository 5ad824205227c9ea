// Writes an XmModule as an Extended Module file (format version 0x0104):
// the module header with its order table, the packed patterns, and each
// instrument with its sample headers and delta-coded sample data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/xm/xm_layout.h"

// Packs one pattern's cells (rows x channels) as the file stores them. A
// cell with every field set is written plainly (5 bytes); any other cell as
// a presence mask followed by its non-zero fields. An all-empty pattern
// packs to nothing.
std::vector<std::uint8_t> pack_pattern(const XmPattern& pattern, std::uint16_t channels);

// The stored bytes of one sample's data: deltas of the 16-bit frames, or of
// the 8-bit values (each frame rounded to its nearest multiple of 256).
std::vector<std::uint8_t> encode_sample_data(const XmSample& sample);

// The 8-bit value a 16-bit frame is stored as: rounded, limited to -128..127.
std::int8_t narrow_frame(std::int16_t frame);

// Bytes the sample's data takes in the file.
std::uint32_t sample_data_bytes(const XmSample& sample);

// Bytes the whole file takes, computed without writing it.
std::uint64_t module_file_size(const XmModule& module);

// Checks that the module can be written as given; returns an empty string or
// the first problem found (a description for the builder's error message).
std::string check_module(const XmModule& module);

// The file image. check_module must have passed.
std::vector<std::uint8_t> write_module(const XmModule& module);
