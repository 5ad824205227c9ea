// vorna-scene-bench: how long each scene's frame steps take, over the
// scene's own frames of a whole headless show at 60 frames per second (the
// last scene, which runs until Escape, over a stretch of them).
//
// The show runs as the entry point runs it: the same start-up, the scenes in
// order with their thresholds, the white flashes, the cloud and the
// pictures. Only the frame steps are timed: not the keyboard poll, the
// presentation or the sound, which the headless backend renders while the
// frame is presented. The same program runs natively and, built for the
// web, in a browser page (check/bench.html), so the two can be set side by
// side.
//
//   vorna-scene-bench [--last-frames N]   (default 600)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "demo/demo.h"
#include "demo/memfile.h"
#include "fx2d/fx2d.h"
#include "headless/headless.h"
#include "music/music.h"
#include "render3d/render3d.h"
#include "shell/shell.h"

namespace {

struct Scene {
  void (*frame_steps)();
  std::uint32_t threshold;  // 0x10000: none, the last scene
  void (*set_up)();         // before the scene, or null
  bool flash_after;
};

void no_set_up() {}

const Scene scenes[] = {
    {scene_1_frame, 0x0500, no_set_up, true},        {scene_2_frame, 0x0700, no_set_up, false},
    {scene_3_frame, 0x0800, no_set_up, false},       {scene_4_frame, 0x0900, no_set_up, false},
    {scene_5_frame, 0x0B00, no_set_up, true},        {scene_6_frame, 0x0E00, generate_cloud, false},
    {scene_7_frame, 0x1200, set_up_pictures, false}, {scene_8_frame, 0x10000, no_set_up, false},
};

double milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Frames of one scene until its threshold (or, in the last scene, until
// last_frames frames), each frame's steps timed in milliseconds.
std::vector<double> run_scene(const Scene& scene, std::uint32_t last_frames) {
  std::vector<double> times;
  for (;;) {
    poll_keyboard();
    const auto start = std::chrono::steady_clock::now();
    scene.frame_steps();
    times.push_back(milliseconds_since(start));
    present_frame();
    if (scene.threshold > 0xFFFF ? times.size() >= last_frames : song_position() >= scene.threshold) {
      return times;
    }
  }
}

void white_flash() {
  for (int frame = 0; frame < 3; ++frame) {
    fill_frame(white_fill_pattern);
    present_frame();
  }
}

double percentile(std::vector<double> times, double share) {
  std::sort(times.begin(), times.end());
  const std::size_t at = static_cast<std::size_t>(share * static_cast<double>(times.size() - 1) + 0.5);
  return times[at];
}

}  // namespace

int main(int argc, char** argv) {
  std::uint32_t last_frames = 600;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--last-frames") == 0 && i + 1 < argc) {
      last_frames = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      std::fprintf(stderr, "usage: vorna-scene-bench [--last-frames N]\n");
      return 2;
    }
  }
  if (last_frames == 0) {
    last_frames = 1;
  }

  HeadlessScript script;
  script.frames_per_second = 60;
  headless_configure(std::move(script));

  // The entry point's start-up.
  static HINSTANCE__ instance = {};
  app_instance = &instance;
  show_command = SW_SHOWDEFAULT;
  set_music_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
  set_output_buffer_length(100);
  open_output(44100);
  demo_song = load_song("tolvanes.xm");
  build_rotation_tables();
  build_sin_cos_tables();
  build_reciprocal_table();
  resolve_caption_table();
  init_captions_and_palettes();
  create_app_window();
  open_input(main_window);
  open_display();
  set_display_mode(screen_width, screen_height, 16);
  alloc_frame_buffer(screen_width, screen_height, 16);
  build_warp_table();
  play_song(demo_song);

  std::printf("scene  frames  mean ms  median ms  95%% ms  max ms\n");
  double worst_mean = 0.0;
  for (std::size_t k = 0; k < std::size(scenes); ++k) {
    scenes[k].set_up();
    const std::vector<double> times = run_scene(scenes[k], last_frames);
    double sum = 0.0;
    for (double t : times) {
      sum += t;
    }
    const double mean = sum / static_cast<double>(times.size());
    worst_mean = std::max(worst_mean, mean);
    std::printf("%5zu  %6zu  %7.3f  %9.3f  %6.3f  %6.3f\n", k + 1, times.size(), mean, percentile(times, 0.5),
                percentile(times, 0.95), *std::max_element(times.begin(), times.end()));
    std::fflush(stdout);
    if (scenes[k].flash_after) {
      white_flash();
    }
  }
  std::printf("slowest scene: %.3f ms a frame on average\n", worst_mean);

  free_frame_buffer();
  close_display();
  free_song(demo_song);
  close_output();
  return 0;
}
