// Renders the object in a few poses and a handful of glow sprites into
// frames and writes them as PNG files, to look at what the renderer draws.
//
// Usage: render3d_preview OUTPUT_DIR

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "fx2d/fx2d.h"
#include "music/music.h"
#include "render3d/render3d.h"
#include "shell/shell.h"
#include "tools/png/frame_png.h"

namespace {

bool write_png(const std::string& path, const std::vector<std::uint16_t>& frame) {
  return write_frame_png(path, frame.data());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: render3d_preview OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<std::uint16_t> frame(64000, 0);
  frame_buffer = frame.data();
  build_rotation_tables();
  build_sin_cos_tables();
  build_reciprocal_table();
  bool ok = true;

  // The object at rest, turned, in orbit, and pulsed.
  span_colour = 0x10CB;
  object_z = 300;
  object_angle_a = 0, object_angle_b = 0, object_angle_c = 0, object_x = 0, object_y = 0;
  draw_object(demo_object);
  ok = write_png(dir + "/object_rest.png", frame) && ok;

  std::fill(frame.begin(), frame.end(), 0);
  object_angle_a = 88, object_angle_b = 44, object_angle_c = 11, object_x = -60, object_y = 35;
  draw_object(demo_object);
  ok = write_png(dir + "/object_turned.png", frame) && ok;

  std::fill(frame.begin(), frame.end(), 0);
  for (int step = 0; step < 12; ++step) {
    object_angle_a += 8, object_angle_b += 4, object_angle_c += 1;
    lookup_sin_cos(step * 85);
    object_y = static_cast<std::int32_t>(std::nearbyint(70.0f * sin_value));
    object_x = static_cast<std::int32_t>(std::nearbyint(120.0f * cos_value));
    draw_object(demo_object);
  }
  ok = write_png(dir + "/object_orbit.png", frame) && ok;

  Song song = {};
  song.order = 5;
  song.row = 0x1D;
  demo_song = &song;
  std::fill(frame.begin(), frame.end(), 0);
  object_x = 0, object_y = 0;
  draw_object(demo_object);
  demo_song = nullptr;
  ok = write_png(dir + "/object_pulse.png", frame) && ok;

  // Sprites, with the glow artwork and its palette.
  convert_palette(sprite_palette, sprite_colours);
  build_sprite_block();
  std::fill(frame.begin(), frame.end(), 0x0808);
  for (int k = 0; k < 40; ++k) {
    draw_sprite((k * 37) % 256, (k * 53) % 158);
  }
  ok = write_png(dir + "/sprites.png", frame) && ok;
  return ok ? 0 : 1;
}
