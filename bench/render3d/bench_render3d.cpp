// Speed of the 3D renderer's per-frame passes on one core: the object in
// orbit, the glow sprite, and the triangle fill's pixel rate.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "assets/assets.h"
#include "fx2d/fx2d.h"
#include "render3d/render3d.h"
#include "shell/shell.h"

namespace {

std::vector<std::uint16_t> pixels(64000);

void set_up() {
  build_rotation_tables();
  build_sin_cos_tables();
  build_reciprocal_table();
  frame_buffer = pixels.data();
}

// The object as scenes 2 to 5 draw it: one orbit step, then the draw.
void BM_draw_object_orbit(benchmark::State& state) {
  set_up();
  span_colour = 0x10CB;
  std::int32_t orbit = 0;
  for (auto _ : state) {
    object_angle_a += 8;
    object_angle_b += 4;
    object_angle_c += 1;
    lookup_sin_cos(orbit);
    object_y = static_cast<std::int32_t>(std::nearbyint(70.0f * sin_value));
    object_x = static_cast<std::int32_t>(std::nearbyint(120.0f * cos_value));
    object_z = 300;
    orbit += 10;
    draw_object(demo_object);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_draw_object_orbit);

// The glow artwork with its converted palette.
void set_up_glow() {
  convert_palette(sprite_palette, sprite_colours);
  build_sprite_block();
}

std::vector<std::pair<std::int32_t, std::int32_t>> sprite_points() {
  std::mt19937 random(6);
  std::vector<std::pair<std::int32_t, std::int32_t>> points(999);
  for (auto& p : points) {
    p = {static_cast<std::int32_t>(random() % 256), static_cast<std::int32_t>(random() % 158)};
  }
  return points;
}

// Scene 6's sprite pass: 999 sprites per iteration.
void BM_draw_sprite_999(benchmark::State& state) {
  set_up();
  set_up_glow();
  const auto points = sprite_points();
  for (auto _ : state) {
    for (auto [x, y] : points) {
      draw_sprite(x, y);
    }
    benchmark::ClobberMemory();
  }
  state.counters["us_per_sprite"] = benchmark::Counter(999.0 * static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_draw_sprite_999)->Unit(benchmark::kMicrosecond);

// The plain per-pixel pass, for comparison.
void BM_draw_sprite_999_plain(benchmark::State& state) {
  set_up();
  set_up_glow();
  const auto points = sprite_points();
  for (auto _ : state) {
    for (auto [x, y] : points) {
      for (int sy = 0; sy < sprite_height; ++sy) {
        std::uint16_t* row = frame_buffer + (y + sy) * 320 + x;
        for (int sx = 0; sx < sprite_width; ++sx) {
          const std::uint32_t s = sprite_colours[sprite_picture[sy * 320 + sx]];
          const std::uint32_t d = row[sx];
          const std::uint32_t r = std::min<std::uint32_t>(31, (d >> 11) + (s >> 11));
          const std::uint32_t g = std::min<std::uint32_t>(63, ((d >> 5) & 63) + ((s >> 5) & 63));
          const std::uint32_t b = std::min<std::uint32_t>(31, (d & 31) + (s & 31));
          row[sx] = static_cast<std::uint16_t>(r << 11 | g << 5 | b);
        }
      }
      benchmark::DoNotOptimize(frame_buffer);
    }
    benchmark::ClobberMemory();
  }
  state.counters["us_per_sprite"] = benchmark::Counter(999.0 * static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_draw_sprite_999_plain)->Unit(benchmark::kMicrosecond);

// Random triangles of the given largest size on screen; items are pixels.
void BM_fill_triangle(benchmark::State& state) {
  set_up();
  const std::int32_t size = static_cast<std::int32_t>(state.range(0));
  std::mt19937 random(3);
  struct Triangle {
    std::int32_t x[3], y[3];
  };
  std::vector<Triangle> triangles(256);
  std::int64_t covered = 0;
  span_colour = 1;
  for (Triangle& t : triangles) {
    const std::int32_t cx = static_cast<std::int32_t>(random() % 320), cy = static_cast<std::int32_t>(random() % 200);
    for (int v = 0; v < 3; ++v) {
      t.x[v] = cx + static_cast<std::int32_t>(random() % (2 * size + 1)) - size;
      t.y[v] = cy + static_cast<std::int32_t>(random() % (2 * size + 1)) - size;
    }
    std::fill(pixels.begin(), pixels.end(), 0);
    std::memcpy(triangle_x, t.x, sizeof t.x);
    std::memcpy(triangle_y, t.y, sizeof t.y);
    fill_triangle();
    for (std::uint16_t p : pixels) covered += p != 0 ? 1 : 0;
  }
  span_colour = 0x10CB;
  std::size_t k = 0;
  for (auto _ : state) {
    const Triangle& t = triangles[k++ & 255];
    std::memcpy(triangle_x, t.x, sizeof t.x);
    std::memcpy(triangle_y, t.y, sizeof t.y);
    fill_triangle();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * covered / 256);
}
BENCHMARK(BM_fill_triangle)->Arg(10)->Arg(40)->Arg(120);

}  // namespace
