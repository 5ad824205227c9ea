// The score as text, in the usual tracker notation.
//
// A pattern file has one line per row: the row number in hex, then one
// column per channel, each column opened by '|':
//
//   00 |C-2 10 .. ...|... .. .. ...|...
//
// A column is four fields separated by blanks: note, instrument, volume
// column and effect, with dots for an empty field.
// - note: C-4, C#4 ... (octaves 0..7, C-0 is note 1, B-7 note 96); === is key off
// - instrument: two hex digits, 01..80
// - volume column: 00..40 set volume (hex); -y and +y slide down and up;
//   dy and uy fine slide down and up; sy vibrato speed; vy vibrato depth;
//   py set panning; ly and ry panning slide left and right; my tone
//   portamento (y one hex digit)
// - effect: the effect's digit or letter (0..9, A..Z, so K is 0x14 and X is
//   0x21) and two hex digits of parameter
// Lines that start with '#' and blank lines are comments.
//
// The song file holds "key value" lines: name, tempo, bpm, restart,
// channels and orders (the pattern numbers, in decimal, in playing order).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/xm/xm_module.h"

struct ScoreSong {
  std::string name;
  std::uint16_t tempo = 6;
  std::uint16_t bpm = 125;
  std::uint16_t restart_position = 0;
  std::uint16_t channel_count = 12;
  std::vector<std::uint8_t> orders;
};

// Each parser returns an empty string on success, else what is wrong
// (without a file or line name; the caller adds them).
std::string parse_cell(const std::string& text, XmCell& cell);
std::string parse_pattern_text(const std::string& text, std::uint16_t channels, XmPattern& pattern);
std::string parse_song_text(const std::string& text, ScoreSong& song);

std::string format_note(std::uint8_t note);
std::string format_cell(const XmCell& cell);
// One row line, without its line end.
std::string format_row(const XmPattern& pattern, std::uint16_t channels, std::uint16_t row);
