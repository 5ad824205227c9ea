// The player's heap: zero-filled blocks with their size in a header, so
// that the bytes in use can be counted against the budget.
#include <cstdlib>
#include <cstring>
#include <new>

#include "music/internal.h"

namespace {

// The header keeps the block's start on a 16-byte boundary.
constexpr std::size_t header_bytes = 16;

}  // namespace

void* music_allocate(std::size_t count, std::size_t size) {
  if (size != 0 && count > (music_memory_budget - header_bytes) / size) {
    return nullptr;
  }
  const std::size_t bytes = count * size;
  std::size_t in_use = music_bytes_in_use.load(std::memory_order_relaxed);
  if (bytes + header_bytes > music_memory_budget - in_use) {
    return nullptr;
  }
  if (music_allocation_hook != nullptr && !music_allocation_hook(bytes)) {
    return nullptr;
  }
  auto* block = static_cast<unsigned char*>(std::calloc(1, bytes + header_bytes));
  if (block == nullptr) {
    return nullptr;
  }
  std::memcpy(block, &bytes, sizeof bytes);
  music_bytes_in_use.fetch_add(bytes + header_bytes, std::memory_order_relaxed);
  music_blocks_in_use.fetch_add(1, std::memory_order_relaxed);
  return block + header_bytes;
}

void music_release(void* block) {
  if (block == nullptr) {
    return;
  }
  auto* start = static_cast<unsigned char*>(block) - header_bytes;
  std::size_t bytes = 0;
  std::memcpy(&bytes, start, sizeof bytes);
  music_bytes_in_use.fetch_sub(bytes + header_bytes, std::memory_order_relaxed);
  music_blocks_in_use.fetch_sub(1, std::memory_order_relaxed);
  std::free(start);
}
