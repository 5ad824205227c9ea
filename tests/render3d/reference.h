// Plain, pixel-by-pixel versions of the renderer's fast passes, written
// straight from their rules, and a frame that the tests draw into.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "render3d/render3d.h"

// Points frame_buffer at a 320 x 200 array of its own for the life of the
// object, and builds the renderer's tables (building them again is safe).
struct TestFrame {
  std::vector<std::uint16_t> pixels;
  std::uint16_t* saved;

  TestFrame();
  ~TestFrame();
  std::uint16_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * 320 + static_cast<std::size_t>(x)]; }
  // Number of pixels that differ from `value`.
  int count_not(std::uint16_t value) const;
};

// What fill_triangle draws for the triangle (x[k], y[k]) with colour c,
// into a 320 x 200 frame: the edges walked with unbounded tables, the
// spans added one pixel pair at a time.
void reference_fill_triangle(std::vector<std::uint16_t>& frame, std::int32_t x[3], std::int32_t y[3], std::uint32_t c);

// The x values of one edge, as step_edge computes them (before clamping
// when clamp is false).
std::vector<std::int32_t> reference_edge(std::int32_t xa, std::int32_t xb, std::int32_t ya, std::int32_t yb,
                                         bool clamp);

// What draw_sprite does at (x, y), looking up sprite_colours per pixel.
void reference_draw_sprite(std::vector<std::uint16_t>& frame, int x, int y);
