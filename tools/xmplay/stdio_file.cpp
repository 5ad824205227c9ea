#include "tools/xmplay/stdio_file.h"

#include <cstdio>

#include "music/music.h"

namespace {

std::FILE* open_file = nullptr;

std::uint32_t stdio_open(const char* name) {
  if (open_file != nullptr) {
    std::fclose(open_file);
  }
  open_file = std::fopen(name, "rb");
  return open_file != nullptr ? 1 : 0;
}

void stdio_close(std::uint32_t) {
  if (open_file != nullptr) {
    std::fclose(open_file);
    open_file = nullptr;
  }
}

std::int32_t stdio_read(void* destination, std::int32_t count, std::uint32_t) {
  if (open_file == nullptr || count <= 0) {
    return 0;
  }
  return static_cast<std::int32_t>(std::fread(destination, 1, static_cast<std::size_t>(count), open_file));
}

// Positions stay within the file, as the memory file keeps them.
void stdio_seek(std::uint32_t, std::int32_t offset, std::uint8_t mode) {
  if (open_file == nullptr) {
    return;
  }
  const long current = std::ftell(open_file);
  std::fseek(open_file, 0, SEEK_END);
  const long size = std::ftell(open_file);
  long target = offset;
  if (mode == 1) {
    target = current + offset;
  } else if (mode != 0) {
    target = size - offset;
  }
  target = target < 0 ? 0 : target > size ? size : target;
  std::fseek(open_file, target, SEEK_SET);
}

std::int32_t stdio_tell(std::uint32_t) {
  return open_file != nullptr ? static_cast<std::int32_t>(std::ftell(open_file)) : 0;
}

}  // namespace

void use_stdio_files() { set_music_file_callbacks(stdio_open, stdio_close, stdio_read, stdio_seek, stdio_tell); }
