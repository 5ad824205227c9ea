// The live view of a playing song: a few lines of text drawn in place on
// a terminal with ANSI sequences. Building the lines is separate from the
// terminal, so that the tests read them as they are.
#pragma once

#include <string>
#include <vector>

struct ChannelFacts {
  int note = 0;        // 1..96, 97 key off, 0 none yet
  int instrument = 0;  // 1..128, 0 none
  int level = 0;       // 0..255
  bool muted = false;
};

struct ViewFacts {
  std::string title;  // the module's name, or its file's
  std::string file;
  int file_index = 1;  // from 1
  int file_count = 1;
  int order = 0;  // from 0, shown from 0 as trackers do
  int order_count = 1;
  int pattern = 0;
  int row = 0;
  int rows = 64;
  double seconds = 0.0;        // into the pass
  double length_seconds = -1;  // one pass; below 0 while unknown
  bool length_complete = true;
  int pass = 1;
  int passes = 1;  // 0: for ever
  int tempo = 6;
  int bpm = 125;
  double gain_db = 0.0;
  int stereo_percent = 100;
  bool paused = false;
  int bank = 0;  // the digit keys mute channels bank * 10 + 1 .. + 10
  bool help = false;
  std::vector<ChannelFacts> channels;
};

// "C-4", "C#4", "===" for a key off, "..." for none.
std::string note_name(int note);

// The view's lines for a terminal of the given size: no line wider than
// columns, and fewer lines than rows (channels that do not fit are
// counted in the last line).
std::vector<std::string> view_lines(const ViewFacts& facts, int columns, int rows);

// The text that draws lines where the previous_count lines drawn last
// stand (0: below the cursor), each line cleared to its end.
std::string draw_in_place(const std::vector<std::string>& lines, int previous_count);
// The text that clears the previous_count lines drawn last and leaves the
// cursor where the first of them began.
std::string erase_in_place(int previous_count);
