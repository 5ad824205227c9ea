// Helpers for the asset tests: reading committed files and the tunnel
// mapping of the block.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "assets/little_endian.h"

namespace asset_test {

// A committed file under assets/, read whole; empty if it cannot be read.
inline std::vector<std::uint8_t> committed_file(const std::string& name) {
  const char* root = std::getenv("VORNA_SOURCE_DIR");
  std::ifstream in(std::string(root != nullptr ? root : ".") + "/assets/" + name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Entry (x, y) of the tunnel mapping.
inline std::uint16_t tunnel_entry(int x, int y) { return read_le16(tunnel_offsets + 2 * (y * 320 + x)); }

}  // namespace asset_test
