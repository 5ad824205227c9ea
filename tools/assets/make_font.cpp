// Writes the caption font: font_bitmap.bin, an 8-bit sheet 1500 x 28 with
// one 24-pixel cell for each character 32..93, and font_palette.pal.
//
// The text writer draws columns 1..23 and rows 1..27 of a cell and moves its
// pen by a fixed advance: 16 pixels, 24 for W and M, 8 for I, 11 for L. Each
// glyph is shaped to its advance: a one-pixel dark outline in cell columns 1
// and A (A the advance) and rows 1 and 27, and the body, rendered from the
// bold DejaVu Sans and condensed to fit, in between (columns 2..A-1, rows
// 2..26). So a glyph never reaches into the next one's cell, and a line of
// them shows one dark pixel column between neighbouring letters.
//
// The body is shaded like polished gold lit from above: pale yellow at the
// top through orange to deep red at the foot, with a lighter upper-left and a
// darker lower-right edge. The palette is one ramp, index 1 the outline's
// near-black, 2..255 from dark red to white, so that an anti-aliased edge
// pixel is simply a lower index. Value 0 is transparent.
//
// Usage: make_font OUTPUT_DIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "asset_io.h"
#include "text_render.h"

namespace {

using asset_io::clamp01;
using asset_io::Rgb6;
using text_render::Coverage;

constexpr int sheet_w = 1500;
constexpr int sheet_h = 28;
constexpr int cell = 24;
constexpr int first_char = 32;
constexpr int last_char = 93;

constexpr int body_top = 2;      // first body row
constexpr int body_bottom = 27;  // one past the last body row
constexpr std::uint8_t outline_index = 1;

// Coverage below this is left out of the body, so that the outline closes
// round every visible body pixel.
constexpr double body_threshold = 0.18;

int advance_of(char c) {
  switch (c) {
    case 'W':
    case 'M':
      return 24;
    case 'I':
      return 8;
    case 'L':
      return 11;
    default:
      return 16;
  }
}

// Renders character c's body into a cell-sized coverage image.
Coverage body_of(char c) {
  Coverage body(cell, sheet_h);
  if (c == ' ') {
    return body;
  }
  const int advance = advance_of(c);
  // Columns 2 .. advance - 1, leaving the outline column inside the cell.
  const double box_left = 2.0, box_right = std::min(advance, cell - 1);
  const double cap = text_render::cap_height_units();
  const double rows_per_unit = (body_bottom - body_top) / cap;
  const text_render::InkBox ink = text_render::ink_box(c);
  // Rows the glyph takes at the capitals' scale, squeezed into the body's
  // rows where it reaches beyond them (parentheses, the comma's tail).
  double top = body_top + (cap - ink.top) * rows_per_unit;
  double bottom = body_top + (cap - ink.bottom) * rows_per_unit;
  if (top < body_top || bottom > body_bottom) {
    const double height = std::min(bottom - top, static_cast<double>(body_bottom - body_top));
    const double middle = std::clamp((top + bottom) / 2.0, body_top + height / 2.0, body_bottom - height / 2.0);
    top = middle - height / 2.0;
    bottom = middle + height / 2.0;
  }
  // Width at the 4:3 screen's proportions, condensed where the advance
  // leaves less room.
  const double bold = 1.0;
  const double natural = (ink.right - ink.left) * rows_per_unit / asset_io::pixel_aspect + bold;
  const double width = std::min(box_right - box_left, std::max(2.0, natural));
  const double left = box_left + (box_right - box_left - width) / 2.0;
  text_render::draw_glyph_into_box(body, c, left, top, left + width, bottom, bold);
  for (double& v : body.a) {
    if (v < body_threshold) v = 0.0;
  }
  return body;
}

// Shade of a body pixel, 2..255: the row's place in the gold gradient,
// lifted on edges that face the upper left and lowered on the others.
std::uint8_t shade_at(const Coverage& body, int x, int y) {
  const double t = clamp01((y - body_top) / static_cast<double>(body_bottom - body_top - 1));
  // A bright band at the top, then down to orange and red.
  double level = 0.95 - 0.55 * t;
  if (t < 0.12) level = 1.0;
  const double gx = body.at(x + 1, y) - body.at(x - 1, y);
  const double gy = body.at(x, y + 1) - body.at(x, y - 1);
  // Coverage rises into the body; where it rises towards the lower right
  // the pixel is on an upper-left edge.
  level += 0.16 * (gx + gy);
  const double c = body.at(x, y);
  const double shade = 2.0 + clamp01(level) * 253.0;
  // Anti-aliased edges blend towards the outline.
  return static_cast<std::uint8_t>(std::lround(outline_index + c * (shade - outline_index)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_font OUTPUT_DIR\n");
    return 2;
  }
  if (!text_render::open_font()) {
    return 1;
  }
  const std::string dir = argv[1];

  std::vector<std::uint8_t> sheet(sheet_w * sheet_h, 0);
  for (int ch = first_char; ch <= last_char; ++ch) {
    const char c = static_cast<char>(ch);
    if (c == ' ') {
      continue;
    }
    const Coverage body = body_of(c);
    const int x0 = cell * (ch - first_char);
    const int last_column = std::min(advance_of(c), cell - 1);
    for (int y = 1; y < sheet_h; ++y) {
      for (int x = 1; x <= last_column; ++x) {
        std::uint8_t value = 0;
        if (body.at(x, y) > 0.0) {
          value = shade_at(body, x, y);
        } else {
          for (int dy = -1; dy <= 1 && value == 0; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
              if (body.at(x + dx, y + dy) > 0.0) value = outline_index;
        }
        sheet[y * sheet_w + x0 + x] = value;
      }
    }
  }

  // The ramp: outline, then dark red, red, orange, gold, pale yellow, white.
  const std::vector<Rgb6> stops = {{22, 2, 2}, {44, 8, 2}, {60, 26, 4}, {63, 44, 10}, {63, 58, 30}, {63, 63, 58}};
  std::vector<Rgb6> colours(256);
  colours[0] = {0, 0, 0};
  colours[outline_index] = {3, 1, 6};
  for (int i = 2; i < 256; ++i) {
    const double t = (i - 2) / 253.0 * static_cast<double>(stops.size() - 1);
    const std::size_t k = std::min(stops.size() - 2, static_cast<std::size_t>(t));
    colours[i] = asset_io::mix(stops[k], stops[k + 1], t - static_cast<double>(k));
  }

  bool ok = asset_io::write_file(dir + "/font_bitmap.bin", sheet);
  ok = asset_io::write_file(dir + "/font_palette.pal", asset_io::palette_bytes(colours)) && ok;
  return ok ? 0 : 1;
}
