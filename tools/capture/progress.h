// The capture's progress line: what a person waiting for the video wants
// to know, on one line that is rewritten in place.
#pragma once

#include <cstdint>
#include <string>

struct ProgressFigures {
  std::uint32_t frames = 0;      // captured so far
  std::uint16_t position = 0;    // the song's, (order << 8) | row
  double fraction = 0.0;         // of the whole capture done, 0 .. 1
  double show_seconds = 0.0;     // of the show captured so far
  double elapsed_seconds = 0.0;  // on the wall clock since the capture began
};

// For example "frame 1234  song 05:20  37%  3.1x real time  1:05 left".
// The speed and the time left appear once there is enough to go by.
std::string progress_line(const ProgressFigures& figures);
