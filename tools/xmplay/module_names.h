// The instrument and sample names of an Extended Module, read from its
// bytes (the player keeps no names). Only the headers are walked; every
// offset is checked against the bytes, and what lies outside them has no
// name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct InstrumentNames {
  std::string name;
  std::vector<std::string> samples;
};

// One entry per instrument header found, in order; names are trimmed of
// blanks, with control characters and bytes above 126 shown as '?'.
std::vector<InstrumentNames> instrument_names(const std::vector<std::uint8_t>& bytes);

// The text of a fixed-size name field: up to its first 0, trimmed, with
// control characters and bytes above 126 shown as '?'.
std::string name_field(const std::uint8_t* field, std::size_t size);
