// The 64-bit FNV-1a hash, with which frame logs identify frames.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint64_t fnv1a64_start = 0xCBF29CE484222325ull;

// The hash of what came before (fnv1a64_start for nothing) and these bytes.
inline std::uint64_t fnv1a64_more(std::uint64_t hash, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001B3ull;
  }
  return hash;
}

inline std::uint64_t fnv1a64(const void* data, std::size_t size) { return fnv1a64_more(fnv1a64_start, data, size); }
