// The application's memory file over embedded_module, the song image in
// the asset block: the five callbacks that start-up hands to the player
// (set_music_file_callbacks). One read position for the whole program, so
// one file at a time; the handle arguments are ignored. Main thread only.
#pragma once

#include <cstdint>

extern std::int32_t memfile_position;  // 0 .. memfile_size
extern std::int32_t memfile_size;      // bytes of the image once opened

// Ignores the name, rewinds and returns the handle 1.
std::uint32_t memfile_open(const char* name);
void memfile_close(std::uint32_t handle);
// Copies up to count bytes from the position on; returns the bytes copied.
std::int32_t memfile_read(void* destination, std::int32_t count, std::uint32_t handle);
// mode 0 from the start, 1 from the position, anything else back from the end.
void memfile_seek(std::uint32_t handle, std::int32_t offset, std::uint8_t mode);
std::int32_t memfile_tell(std::uint32_t handle);
