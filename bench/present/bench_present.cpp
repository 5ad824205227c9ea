// The presentation path's own work per frame: planning a picture size (once
// per window size) and scaling a frame into the picture (every frame), at
// the picture sizes of common screens. What SDL and the X server add on top
// is measured by fps.sh beside this file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/picture_scale.h"

namespace {

std::vector<std::uint16_t> test_frame() {
  std::vector<std::uint16_t> frame(320 * 200);
  std::mt19937 random(5);
  for (auto& pixel : frame) {
    pixel = static_cast<std::uint16_t>(random());
  }
  return frame;
}

void scale_frame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  std::vector<std::uint16_t> frame = test_frame();
  PictureScale scale;
  plan_picture_scale(scale, 320, 200, width, height);
  std::vector<std::uint32_t> picture(static_cast<std::size_t>(width) * height);
  for (auto _ : state) {
    scale_picture(scale, frame.data(), 320, picture.data(), static_cast<std::size_t>(width));
    benchmark::DoNotOptimize(picture.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width * height * 4);
}
// 1920 x 1080, 1280 x 1024, the 960 x 720 window, 2560 x 1440, 3840 x 2160.
BENCHMARK(scale_frame)
    ->Args({1440, 1080})
    ->Args({1280, 960})
    ->Args({960, 720})
    ->Args({1920, 1440})
    ->Args({2880, 2160})
    ->Unit(benchmark::kMicrosecond);

void plan_scale(benchmark::State& state) {
  PictureScale scale;
  for (auto _ : state) {
    plan_picture_scale(scale, 320, 200, 1440, 1080);
    benchmark::DoNotOptimize(scale.rows.data());
  }
}
BENCHMARK(plan_scale)->Unit(benchmark::kMicrosecond);

}  // namespace
