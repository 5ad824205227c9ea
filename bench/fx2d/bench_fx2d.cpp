// Per-frame cost of each 2D pass on the full 320 x 200 frame, on the show's
// own artwork: the tunnels' and the blur's memory traffic follows the data.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "assets/assets.h"
#include "fx2d/fx2d.h"
#include "shell/shell.h"

namespace {

struct Setup {
  Setup() {
    frame_buffer = pixels.data();
    build_warp_table();
    for (std::uint32_t i = 0; i < effect_pixels; ++i) {
      pixels[i] = static_cast<std::uint16_t>(i * 2654435761u >> 16);
      second_buffer[i] = static_cast<std::uint16_t>(i * 40503u);
    }
  }
  std::vector<std::uint16_t> pixels = std::vector<std::uint16_t>(effect_pixels);
};

void set_up() { static Setup setup; }

void warp(benchmark::State& state) {
  set_up();
  for (auto _ : state) {
    draw_warp();
    benchmark::DoNotOptimize(frame_buffer[0]);
  }
}
BENCHMARK(warp);

void tunnel_plain_variant(benchmark::State& state) {
  set_up();
  for (auto _ : state) {
    warp_scroll = static_cast<std::uint16_t>(warp_scroll - 0x0505);  // as the scene's warp moves it
    draw_tunnel(tunnel_plain);
    benchmark::DoNotOptimize(second_buffer[0]);
  }
}
BENCHMARK(tunnel_plain_variant);

void tunnel_distorted_variant(benchmark::State& state) {
  set_up();
  for (auto _ : state) {
    draw_tunnel(tunnel_distorted);
    benchmark::DoNotOptimize(second_buffer[0]);
  }
}
BENCHMARK(tunnel_distorted_variant);

void blur(benchmark::State& state) {
  set_up();
  copy_picture_shifted(alternating_picture_2, 3);
  for (auto _ : state) {
    blur_frame();
    benchmark::DoNotOptimize(frame_buffer[0]);
  }
}
BENCHMARK(blur);

void fade(benchmark::State& state) {
  set_up();
  std::uint8_t level = 81;
  for (auto _ : state) {
    fade_through_mask(level);
    level = static_cast<std::uint8_t>(level == 254 ? 81 : level + 1);
    benchmark::DoNotOptimize(frame_buffer[0]);
  }
}
BENCHMARK(fade);

void blend_halved_form(benchmark::State& state) {
  set_up();
  std::uint32_t weight = 1;
  for (auto _ : state) {
    cross_blend(weight, blend_halved);
    weight = weight % 31 + 1;
    benchmark::DoNotOptimize(frame_buffer[0]);
  }
}
BENCHMARK(blend_halved_form);

void blend_full_form(benchmark::State& state) {
  set_up();
  std::uint32_t weight = 1;
  for (auto _ : state) {
    cross_blend(weight, blend_full);
    weight = weight % 31 + 1;
    benchmark::DoNotOptimize(frame_buffer[0]);
  }
}
BENCHMARK(blend_full_form);

void fill(benchmark::State& state) {
  set_up();
  std::uint32_t pattern = 0;
  for (auto _ : state) {
    fill_frame(pattern++);
    benchmark::DoNotOptimize(frame_buffer[0]);
  }
}
BENCHMARK(fill);

void copy_shifted(benchmark::State& state) {
  set_up();
  for (auto _ : state) {
    copy_picture_shifted(opening_picture, 4);
    benchmark::DoNotOptimize(frame_buffer[0]);
  }
}
BENCHMARK(copy_shifted);

void copy_keyed(benchmark::State& state) {
  set_up();
  for (auto _ : state) {
    copy_picture_keyed(end_picture);
    benchmark::DoNotOptimize(frame_buffer[0]);
  }
}
BENCHMARK(copy_keyed);

}  // namespace
