// The player's five file callbacks, for programs that play any file a user
// names: over an ordinary file, or over bytes in memory for a file that
// cannot seek (a pipe, or standard input). One file is open at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Registers callbacks that read files by their names.
void use_stdio_files();

// Registers callbacks that serve these bytes, whatever name is opened.
void use_memory_file(std::vector<std::uint8_t> bytes);

// Whether the file opens and can seek, as the loader needs.
bool file_can_seek(const std::string& path);

// Reads a whole file, or standard input for "-", into bytes: at most
// max_bytes, and nothing beyond the first 17 bytes when they are not the
// module's identification (the loader then says what is wrong). False with
// the reason in error when it cannot be read or is larger.
bool read_whole_file(const std::string& path, std::size_t max_bytes, std::vector<std::uint8_t>& bytes,
                     std::string& error);
