// The 64-bit FNV-1a hash, with which frame logs identify frames.
#pragma once

#include <cstddef>
#include <cstdint>

inline std::uint64_t fnv1a64(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint64_t hash = 0xCBF29CE484222325ull;
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001B3ull;
  }
  return hash;
}
