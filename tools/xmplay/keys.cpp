#include "tools/xmplay/keys.h"

namespace {

constexpr char escape_byte = 0x1B;
// Longer control sequences than this are no keys; they are dropped.
constexpr std::size_t longest_sequence = 32;

KeyCode arrow(char final_byte) {
  switch (final_byte) {
    case 'A':
      return KeyCode::up;
    case 'B':
      return KeyCode::down;
    case 'C':
      return KeyCode::right;
    case 'D':
      return KeyCode::left;
    default:
      return KeyCode::other;
  }
}

// The length of the sequence that starts the text at an Escape byte, or 0
// when it is not complete yet; code is what it means.
std::size_t sequence_length(const std::string& text, KeyCode& code) {
  if (text.size() < 2) {
    return 0;
  }
  const char second = text[1];
  if (second == '[') {
    // CSI: parameter bytes 0x30..0x3F, intermediate bytes 0x20..0x2F, then
    // a final byte 0x40..0x7E.
    std::size_t k = 2;
    while (k < text.size() && text[k] >= 0x20 && text[k] <= 0x3F) {
      ++k;
    }
    if (k == text.size()) {
      return 0;
    }
    code = text[k] >= 0x40 && text[k] <= 0x7E ? arrow(text[k]) : KeyCode::other;
    return k + 1;
  }
  if (second == 'O') {
    if (text.size() < 3) {
      return 0;
    }
    code = arrow(text[2]);
    return 3;
  }
  if (second == escape_byte) {
    // Escape pressed twice, or Escape before a sequence: the first is one.
    code = KeyCode::escape;
    return 1;
  }
  code = KeyCode::other;  // Alt with a key
  return 2;
}

}  // namespace

void key_reader_feed(KeyReader& reader, const char* bytes, std::size_t count, std::int64_t now_ms,
                     std::vector<Key>& keys) {
  if (reader.pending.empty()) {
    reader.pending_since_ms = now_ms;
  }
  reader.pending.append(bytes, count);
  std::size_t at = 0;
  while (at < reader.pending.size()) {
    const char byte = reader.pending[at];
    if (byte != escape_byte) {
      keys.push_back(byte == '\t' ? Key{KeyCode::tab, 0} : Key{KeyCode::character, byte});
      ++at;
      continue;
    }
    KeyCode code = KeyCode::other;
    const std::size_t length = sequence_length(reader.pending.substr(at, longest_sequence + 1), code);
    if (length == 0) {
      if (reader.pending.size() - at > longest_sequence) {
        at = reader.pending.size();  // no key: dropped
      }
      break;
    }
    keys.push_back({code, 0});
    at += length;
  }
  if (at > 0) {
    reader.pending.erase(0, at);
    reader.pending_since_ms = now_ms;
  }
}

void key_reader_poll(KeyReader& reader, std::int64_t now_ms, std::vector<Key>& keys) {
  if (reader.pending.empty() || now_ms - reader.pending_since_ms < escape_wait_ms) {
    return;
  }
  keys.push_back({reader.pending == "\x1b" ? KeyCode::escape : KeyCode::other, 0});
  reader.pending.clear();
}
