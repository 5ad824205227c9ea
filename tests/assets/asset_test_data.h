// Helpers for the asset tests: reading committed files and little-endian
// fields of the block.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/assets.h"

namespace asset_test {

// A committed file under assets/, read whole; empty if it cannot be read.
inline std::vector<std::uint8_t> committed_file(const std::string& name) {
  const char* root = std::getenv("VORNA_SOURCE_DIR");
  std::ifstream in(std::string(root != nullptr ? root : ".") + "/assets/" + name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::uint32_t u32_at(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint16_t u16_at(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// Entry (x, y) of the tunnel mapping.
inline std::uint16_t tunnel_entry(int x, int y) { return u16_at(tunnel_offsets + 2 * (y * 320 + x)); }

}  // namespace asset_test
