#include "tools/song/score_text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace {

const char* const note_names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Two hex digits, or -1.
int hex_byte(const std::string& text) {
  if (text.size() != 2) return -1;
  const int high = hex_digit(text[0]);
  const int low = hex_digit(text[1]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

bool is_dots(const std::string& text) { return !text.empty() && text.find_first_not_of('.') == std::string::npos; }

std::string parse_note(const std::string& text, std::uint8_t& note) {
  if (is_dots(text)) {
    note = 0;
    return "";
  }
  if (text == "===") {
    note = xm_key_off;
    return "";
  }
  if (text.size() == 3 && text[2] >= '0' && text[2] <= '7') {
    for (int n = 0; n < 12; ++n) {
      if (text.compare(0, 2, note_names[n]) == 0) {
        note = static_cast<std::uint8_t>(1 + (text[2] - '0') * 12 + n);
        return "";
      }
    }
  }
  return "bad note \"" + text + "\"";
}

// The volume-column letters and the high nibble each stands for.
struct VolumeCommand {
  char letter;
  std::uint8_t base;
};
const VolumeCommand volume_commands[] = {{'-', 0x60}, {'+', 0x70}, {'d', 0x80}, {'u', 0x90}, {'s', 0xA0},
                                         {'v', 0xB0}, {'p', 0xC0}, {'l', 0xD0}, {'r', 0xE0}, {'m', 0xF0}};

std::string parse_volume(const std::string& text, std::uint8_t& volume) {
  if (is_dots(text)) {
    volume = 0;
    return "";
  }
  if (text.size() == 2 && text[0] >= '0' && text[0] <= '4') {
    const int value = hex_byte(text);
    if (value >= 0 && value <= 0x40) {
      volume = static_cast<std::uint8_t>(0x10 + value);
      return "";
    }
  }
  if (text.size() == 2) {
    const int y = hex_digit(text[1]);
    for (const VolumeCommand& command : volume_commands) {
      if (text[0] == command.letter && y >= 0) {
        volume = static_cast<std::uint8_t>(command.base + y);
        return "";
      }
    }
  }
  return "bad volume column \"" + text + "\"";
}

std::string parse_effect(const std::string& text, std::uint8_t& effect, std::uint8_t& parameter) {
  if (is_dots(text)) {
    effect = parameter = 0;
    return "";
  }
  if (text.size() == 3) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    int number = -1;
    if (c >= '0' && c <= '9') number = c - '0';
    if (c >= 'A' && c <= 'Z') number = c - 'A' + 10;
    const int value = hex_byte(text.substr(1));
    if (number >= 0 && value >= 0) {
      effect = static_cast<std::uint8_t>(number);
      parameter = static_cast<std::uint8_t>(value);
      return "";
    }
  }
  return "bad effect \"" + text + "\"";
}

std::string hex2(unsigned value) {
  const char* digits = "0123456789ABCDEF";
  return {digits[(value >> 4) & 15], digits[value & 15]};
}

std::string format_volume(std::uint8_t volume) {
  if (volume == 0) return "..";
  if (volume >= 0x10 && volume <= 0x50) return hex2(volume - 0x10);
  for (const VolumeCommand& command : volume_commands)
    if ((volume & 0xF0) == command.base) return std::string(1, command.letter) + hex2(volume).substr(1);
  return "..";  // 01..0F and 51..5F do nothing and have no notation
}

std::string format_effect(std::uint8_t effect, std::uint8_t parameter) {
  if (effect == 0 && parameter == 0) return "...";
  const char letter = effect < 10 ? static_cast<char>('0' + effect) : static_cast<char>('A' + effect - 10);
  return std::string(1, letter) + hex2(parameter);
}

std::vector<std::string> split_words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

}  // namespace

std::string parse_cell(const std::string& text, XmCell& cell) {
  const std::vector<std::string> fields = split_words(text);
  if (fields.size() != 4) return "a column needs note, instrument, volume and effect: \"" + text + "\"";
  cell = XmCell{};
  std::string problem = parse_note(fields[0], cell.note);
  if (!problem.empty()) return problem;
  if (!is_dots(fields[1])) {
    const int instrument = hex_byte(fields[1]);
    if (instrument <= 0 || instrument > 128) return "bad instrument \"" + fields[1] + "\"";
    cell.instrument = static_cast<std::uint8_t>(instrument);
  }
  problem = parse_volume(fields[2], cell.volume_column);
  if (!problem.empty()) return problem;
  problem = parse_effect(fields[3], cell.effect, cell.parameter);
  if (!problem.empty()) return problem;
  if (cell.effect > 35) return "bad effect \"" + fields[3] + "\"";
  return "";
}

std::string parse_pattern_text(const std::string& text, std::uint16_t channels, XmPattern& pattern) {
  std::istringstream in(text);
  std::vector<XmCell> cells;
  int line_number = 0;
  int expected_row = 0;
  for (std::string line; std::getline(in, line);) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line[first] == '#') continue;
    const std::string where = "line " + std::to_string(line_number) + ": ";
    const std::size_t bar = line.find('|');
    if (bar == std::string::npos) return where + "a row needs its row number and '|' columns";
    const std::vector<std::string> number = split_words(line.substr(0, bar));
    if (number.size() != 1 || hex_byte(number[0]) != expected_row)
      return where + "expected row " + hex2(static_cast<unsigned>(expected_row));
    std::size_t start = bar + 1;
    for (std::uint16_t channel = 0; channel < channels; ++channel) {
      std::size_t end = line.find('|', start);
      if (end == std::string::npos) end = line.size();
      if (start > line.size()) return where + "expected " + std::to_string(channels) + " columns";
      XmCell cell;
      const std::string problem = parse_cell(line.substr(start, end - start), cell);
      if (!problem.empty()) return where + "channel " + std::to_string(channel) + ": " + problem;
      cells.push_back(cell);
      start = end + 1;
    }
    if (start <= line.size() && !split_words(line.substr(start)).empty())
      return where + "more than " + std::to_string(channels) + " columns";
    ++expected_row;
    if (expected_row > 256) return where + "more than 256 rows";
  }
  if (expected_row == 0) return "the pattern has no rows";
  pattern.rows = static_cast<std::uint16_t>(expected_row);
  pattern.cells = std::move(cells);
  return "";
}

std::string parse_song_text(const std::string& text, ScoreSong& song) {
  std::istringstream in(text);
  int line_number = 0;
  song = ScoreSong{};
  bool have_orders = false;
  for (std::string line; std::getline(in, line);) {
    ++line_number;
    const std::vector<std::string> words = split_words(line);
    if (words.empty() || words[0][0] == '#') continue;
    const std::string where = "line " + std::to_string(line_number) + ": ";
    const std::string& key = words[0];
    if (key == "name") {
      song.name = line.substr(line.find("name") + 4);
      song.name = song.name.substr(std::min(song.name.find_first_not_of(' '), song.name.size()));
      continue;
    }
    std::vector<long> values;
    for (std::size_t i = 1; i < words.size(); ++i) {
      char* end = nullptr;
      const long value = std::strtol(words[i].c_str(), &end, 10);
      if (*end != '\0' || value < 0 || value > 65535) return where + "bad number \"" + words[i] + "\"";
      values.push_back(value);
    }
    if (key == "orders") {
      if (values.empty() || values.size() > 256) return where + "1 to 256 orders are needed";
      song.orders.clear();
      for (long value : values) {
        if (value > 255) return where + "a pattern number above 255";
        song.orders.push_back(static_cast<std::uint8_t>(value));
      }
      have_orders = true;
      continue;
    }
    if (values.size() != 1) return where + key + " takes one number";
    const std::uint16_t value = static_cast<std::uint16_t>(values[0]);
    if (key == "tempo") song.tempo = value;
    else if (key == "bpm") song.bpm = value;
    else if (key == "restart") song.restart_position = value;
    else if (key == "channels") song.channel_count = value;
    else return where + "unknown key \"" + key + "\"";
  }
  if (!have_orders) return "the song has no orders line";
  return "";
}

std::string format_note(std::uint8_t note) {
  if (note == 0) return "...";
  if (note == xm_key_off) return "===";
  if (note > 96) return "...";
  return note_names[(note - 1) % 12] + std::to_string((note - 1) / 12);
}

std::string format_cell(const XmCell& cell) {
  return format_note(cell.note) + " " + (cell.instrument ? hex2(cell.instrument) : std::string("..")) + " " +
         format_volume(cell.volume_column) + " " + format_effect(cell.effect, cell.parameter);
}

std::string format_row(const XmPattern& pattern, std::uint16_t channels, std::uint16_t row) {
  std::string line = hex2(row) + " ";
  for (std::uint16_t channel = 0; channel < channels; ++channel)
    line += "|" + format_cell(pattern.cells[static_cast<std::size_t>(row) * channels + channel]);
  return line;
}
