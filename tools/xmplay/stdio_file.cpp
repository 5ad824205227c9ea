#include "tools/xmplay/stdio_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

// The bytes that use_memory_file serves, and the read position in them.
std::vector<std::uint8_t> memory_bytes;
std::int64_t memory_position = 0;

std::uint32_t memory_open(const char*) {
  memory_position = 0;
  return 1;
}

void memory_close(std::uint32_t) {}

std::int32_t memory_read(void* destination, std::int32_t count, std::uint32_t) {
  const auto size = static_cast<std::int64_t>(memory_bytes.size());
  const std::int64_t copied = std::clamp<std::int64_t>(size - memory_position, 0, std::max(count, 0));
  if (copied > 0) {
    std::memcpy(destination, memory_bytes.data() + memory_position, static_cast<std::size_t>(copied));
  }
  memory_position += copied;
  return static_cast<std::int32_t>(copied);
}

void memory_seek(std::uint32_t, std::int32_t offset, std::uint8_t mode) {
  const auto size = static_cast<std::int64_t>(memory_bytes.size());
  std::int64_t target = offset;
  if (mode == 1) {
    target = memory_position + offset;
  } else if (mode != 0) {
    target = size - offset;
  }
  memory_position = std::clamp<std::int64_t>(target, 0, size);
}

std::int32_t memory_tell(std::uint32_t) { return static_cast<std::int32_t>(memory_position); }

}  // namespace

void use_stdio_files() { set_music_file_callbacks(stdio_open, stdio_close, stdio_read, stdio_seek, stdio_tell); }

void use_memory_file(std::vector<std::uint8_t> bytes) {
  memory_bytes = std::move(bytes);
  memory_position = 0;
  set_music_file_callbacks(memory_open, memory_close, memory_read, memory_seek, memory_tell);
}

bool file_can_seek(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return false;
  }
  const bool seeks = std::fseek(file, 0, SEEK_END) == 0 && std::ftell(file) >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  std::fclose(file);
  return seeks;
}

bool read_whole_file(const std::string& path, std::size_t max_bytes, std::vector<std::uint8_t>& bytes,
                     std::string& error) {
  const bool standard_input = path == "-";
  std::FILE* file = standard_input ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open the file";
    return false;
  }
  bytes.clear();
  std::vector<std::uint8_t> piece(65536);
  // The identification first: a stream that does not start like a module
  // is not read any further.
  std::size_t wanted = 17;
  for (;;) {
    const std::size_t got = std::fread(piece.data(), 1, std::min(wanted, piece.size()), file);
    bytes.insert(bytes.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
    if (bytes.size() > max_bytes) {
      error = "the file is larger than the player can load";
      break;
    }
    if (got == 0 || (bytes.size() == 17 && std::memcmp(bytes.data(), "Extended Module: ", 17) != 0)) {
      break;
    }
    wanted = piece.size();
  }
  const bool failed = std::ferror(file) != 0;
  if (!standard_input) {
    std::fclose(file);
  }
  if (failed && error.empty()) {
    error = "cannot read the file";
  }
  return error.empty();
}
