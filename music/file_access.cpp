// File access through the application's five callbacks. The wrappers are
// called only after a successful music_file_open, so they do not check that
// callbacks are registered. Main thread only.
#include "music/internal.h"

void set_music_file_callbacks(MusicOpenCallback open, MusicCloseCallback close, MusicReadCallback read,
                              MusicSeekCallback seek, MusicTellCallback tell) {
  if (open != nullptr && close != nullptr && read != nullptr && seek != nullptr && tell != nullptr) {
    music_file_callbacks = {open, close, read, seek, tell};
  } else {
    music_file_callbacks = {};
  }
}

MusicFile* music_file_open(const char* name) {
  auto* file = static_cast<MusicFile*>(music_allocate(1, sizeof(MusicFile)));
  if (file == nullptr) {
    return nullptr;
  }
  file->handle = music_file_callbacks.open(name);
  if (file->handle == 0) {
    music_release(file);
    return nullptr;
  }
  return file;
}

void music_file_close(MusicFile* file) {
  if (file == nullptr) {
    return;
  }
  music_file_callbacks.close(file->handle);
  music_release(file);
}

std::int32_t music_file_read(void* destination, std::int32_t count, MusicFile* file) {
  return file == nullptr ? 0 : music_file_callbacks.read(destination, count, file->handle);
}

void music_file_seek(MusicFile* file, std::int32_t offset, std::uint8_t mode) {
  if (file != nullptr) {
    music_file_callbacks.seek(file->handle, offset, mode);
  }
}

std::int32_t music_file_tell(MusicFile* file) { return file == nullptr ? 0 : music_file_callbacks.tell(file->handle); }
