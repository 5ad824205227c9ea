// Text rendered from the bold DejaVu font into coverage images, for the
// generators of the font and the pictures. Everything is measured in target
// pixels; glyphs are rendered supersampled and box-filtered down, so the
// edges carry fractional coverage.
#pragma once

#include <string>
#include <vector>

namespace text_render {

// A grey image of coverage values 0..1, row-major.
struct Coverage {
  int w = 0;
  int h = 0;
  std::vector<double> a;
  Coverage() = default;
  Coverage(int width, int height) : w(width), h(height), a(static_cast<std::size_t>(width) * height, 0.0) {}
  double at(int x, int y) const {
    return x < 0 || y < 0 || x >= w || y >= h ? 0.0 : a[static_cast<std::size_t>(y) * w + x];
  }
  double& ref(int x, int y) { return a[static_cast<std::size_t>(y) * w + x]; }
};

// Opens the font; false (with a message) if it cannot be read.
bool open_font();

// Ink box of a character in font units: left, bottom, right, top.
struct InkBox {
  double left, bottom, right, top;
};
InkBox ink_box(char c);
// The height of the capitals (the ink top of "H") in font units.
double cap_height_units();

// Renders character c into out so that its ink box maps onto the target
// rectangle [x0, x1) x [y0, y1) (rows grow downwards; y0 gets the box's
// top). bold_px thickens the strokes by that many target pixels in total.
void draw_glyph_into_box(Coverage& out, char c, double x0, double y0, double x1, double y1, double bold_px);

// Renders a line of text with its capitals cap_px rows tall, the baseline at
// row baseline and the first ink at column x. Horizontal sizes are the
// vertical ones times x_scale (1 / 1.2 makes the glyphs look as drawn on a
// 4:3 display); spacing_px is added after each character. Returns the ink
// width of the line in pixels; draw = false only measures it.
double draw_line(Coverage& out, const std::string& text, double x, double baseline, double cap_px, double x_scale,
                 double spacing_px, double bold_px, bool draw = true);

}  // namespace text_render
