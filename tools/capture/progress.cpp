#include "tools/capture/progress.h"

#include <cmath>
#include <cstdio>

std::string progress_line(const ProgressFigures& figures) {
  char text[160];
  double fraction = figures.fraction < 0.0 ? 0.0 : figures.fraction > 1.0 ? 1.0 : figures.fraction;
  int length =
      std::snprintf(text, sizeof(text), "frame %u  song %02X:%02X  %3d%%", figures.frames,
                    static_cast<unsigned>(figures.position >> 8), static_cast<unsigned>(figures.position & 0xFF),
                    static_cast<int>(std::floor(fraction * 100.0)));
  std::string line(text, static_cast<std::size_t>(length));
  // Under a tenth of a second on the clock, the speed is mostly noise.
  if (figures.elapsed_seconds >= 0.1 && figures.show_seconds > 0.0) {
    std::snprintf(text, sizeof(text), "  %.1fx real time", figures.show_seconds / figures.elapsed_seconds);
    line += text;
    if (fraction > 0.0 && fraction < 1.0) {
      double left = figures.elapsed_seconds * (1.0 - fraction) / fraction;
      long seconds = std::lround(left > 359999.0 ? 359999.0 : left);
      std::snprintf(text, sizeof(text), "  %ld:%02ld left", seconds / 60, seconds % 60);
      line += text;
    }
  }
  return line;
}
