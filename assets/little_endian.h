// Reading the multi-byte numbers of the asset block. Every number in the
// block is stored little-endian, and several sit at addresses that are not
// multiples of their size (the sync tables, the object record, the caption
// rows, the tunnel offsets at odd addresses), so they are read a byte at a
// time: correct on any byte order and alignment, and compilers turn each
// reader into one load on a little-endian machine.
#pragma once

#include <cstdint>

inline std::uint16_t read_le16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8);
}

inline std::uint32_t read_le32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}
