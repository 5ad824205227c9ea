// Keys from the bytes a terminal sends: characters, and the arrow keys'
// escape sequences (ESC [ A, ESC O A and the like). A lone Escape is an
// Escape byte that nothing follows within escape_wait_ms: arrow keys send
// theirs in one go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class KeyCode : std::uint8_t { character, up, down, left, right, escape, tab, other };

struct Key {
  KeyCode code;
  char character;  // for KeyCode::character
};

inline constexpr std::int64_t escape_wait_ms = 50;

struct KeyReader {
  std::string pending;  // the start of a sequence not yet complete
  std::int64_t pending_since_ms = 0;
};

// Adds bytes read at now_ms; appends the keys they complete.
void key_reader_feed(KeyReader& reader, const char* bytes, std::size_t count, std::int64_t now_ms,
                     std::vector<Key>& keys);
// Ends a sequence that has waited escape_wait_ms: a lone Escape, or an
// unknown key.
void key_reader_poll(KeyReader& reader, std::int64_t now_ms, std::vector<Key>& keys);
