// The application's memory file over embedded_module (see demo/memfile.h).
// The position always stays within 0..memfile_size: a read copies only
// bytes of the image, whatever offsets and counts it is given.
#include <cstring>

#include "demo/memfile.h"

#include "assets/assets.h"

std::int32_t memfile_position = 0;
std::int32_t memfile_size = 0;

namespace {

std::int32_t clamped_position(std::int64_t position) {
  if (position < 0) {
    return 0;
  }
  return position > memfile_size ? memfile_size : static_cast<std::int32_t>(position);
}

}  // namespace

std::uint32_t memfile_open(const char*) {
  memfile_position = 0;
  memfile_size = static_cast<std::int32_t>(embedded_module_size);
  return 1;
}

void memfile_close(std::uint32_t) {}

std::int32_t memfile_read(void* destination, std::int32_t count, std::uint32_t) {
  if (count <= 0) {
    return 0;
  }
  if (static_cast<std::int64_t>(memfile_position) + count > memfile_size) {
    count = memfile_size - memfile_position;
  }
  if (count <= 0) {
    return 0;
  }
  std::memcpy(destination, embedded_module + memfile_position, static_cast<std::size_t>(count));
  memfile_position += count;
  return count;
}

// Mode 0 from the start, 1 from the current position, anything else back
// from the end; only the low 8 bits of the mode count.
void memfile_seek(std::uint32_t, std::int32_t offset, std::uint8_t mode) {
  switch (mode) {
    case 0:
      memfile_position = clamped_position(offset);
      break;
    case 1:
      memfile_position = clamped_position(static_cast<std::int64_t>(memfile_position) + offset);
      break;
    default:
      memfile_position = clamped_position(static_cast<std::int64_t>(memfile_size) - offset);
      break;
  }
}

std::int32_t memfile_tell(std::uint32_t) { return memfile_position; }
