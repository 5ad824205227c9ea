#include "reference.h"

#include <cmath>

#include "assets/assets.h"
#include "fx2d/fx2d.h"
#include "shell/shell.h"

TestFrame::TestFrame() : pixels(64000, 0), saved(frame_buffer) {
  build_rotation_tables();
  build_sin_cos_tables();
  build_reciprocal_table();
  frame_buffer = pixels.data();
}

TestFrame::~TestFrame() { frame_buffer = saved; }

int TestFrame::count_not(std::uint16_t value) const {
  int n = 0;
  for (std::uint16_t p : pixels) {
    n += p != value ? 1 : 0;
  }
  return n;
}

std::vector<std::int32_t> reference_edge(std::int32_t xa, std::int32_t xb, std::int32_t ya, std::int32_t yb,
                                         bool clamp) {
  std::vector<std::int32_t> out;
  const std::int64_t dy = static_cast<std::int64_t>(yb) - ya;
  if (dy <= 0) {
    return out;
  }
  const double recip = 1.0 / static_cast<double>(dy);
  const double s = (static_cast<double>(xb) - static_cast<double>(xa)) * recip * 4294967295.0;
  std::int64_t slope = 0;
  if (std::fabs(s) < 9223372036854775808.0) {
    slope = std::llrint(s);
  }
  std::uint64_t a = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(xa)) << 32) + 0x80000000u;
  for (std::int64_t k = 0; k < dy; ++k) {
    std::int32_t x = static_cast<std::int32_t>(static_cast<std::uint32_t>(a >> 32));
    if (clamp) {
      x = x < 0 ? 0 : (x > 319 ? 319 : x);
    }
    out.push_back(x);
    a += static_cast<std::uint64_t>(slope);
  }
  return out;
}

void reference_fill_triangle(std::vector<std::uint16_t>& frame, std::int32_t x[3], std::int32_t y[3], std::uint32_t c) {
  auto swap_vertices = [&](int a, int b) {
    std::swap(x[a], x[b]);
    std::swap(y[a], y[b]);
  };
  if (y[0] > y[1]) swap_vertices(0, 1);
  if (y[1] > y[2]) swap_vertices(1, 2);
  if (y[0] > y[1]) swap_vertices(0, 1);
  const std::int64_t height = static_cast<std::int64_t>(y[2]) - y[0];
  if (height > 5800) {
    return;
  }
  std::vector<std::int32_t> shorts = reference_edge(x[0], x[1], y[0], y[1], true);
  const std::vector<std::int32_t> second = reference_edge(x[1], x[2], y[1], y[2], true);
  shorts.insert(shorts.end(), second.begin(), second.end());
  const std::vector<std::int32_t> longs = reference_edge(x[0], x[2], y[0], y[2], true);
  c &= 0xFFFF;
  for (std::int64_t r = 0; r < 199; ++r) {
    if (r < y[0] || r >= y[2]) {
      continue;
    }
    const std::size_t e = static_cast<std::size_t>(r - y[0]);
    const std::int32_t a = shorts[e], b = longs[e];
    const std::int32_t left = std::min(a, b), right = std::max(a, b);
    std::uint16_t* p = &frame[static_cast<std::size_t>(r) * 320 + static_cast<std::size_t>(left)];
    const std::int32_t w = right - left;
    for (std::int32_t k = 0; k + 1 < w; k += 2) {
      std::uint32_t word = p[k] | static_cast<std::uint32_t>(p[k + 1]) << 16;
      word += c * 65536u + c;
      p[k] = static_cast<std::uint16_t>(word & 0xFFFF);
      p[k + 1] = static_cast<std::uint16_t>(word >> 16);
    }
    if (w % 2 == 1) {
      p[w - 1] = static_cast<std::uint16_t>((p[w - 1] + c) & 0xFFFF);
    }
  }
}

void reference_draw_sprite(std::vector<std::uint16_t>& frame, int x, int y) {
  for (int sy = 0; sy < 42; ++sy) {
    for (int sx = 0; sx < 64; ++sx) {
      const std::uint16_t s = sprite_colours[sprite_picture[sy * 320 + sx]];
      std::uint16_t& d = frame[static_cast<std::size_t>(y + sy) * 320 + static_cast<std::size_t>(x + sx)];
      const int red = std::min(31, (d >> 11) + (s >> 11));
      const int green = std::min(63, ((d >> 5) & 63) + ((s >> 5) & 63));
      const int blue = std::min(31, (d & 31) + (s & 31));
      d = static_cast<std::uint16_t>(red << 11 | green << 5 | blue);
    }
  }
}
