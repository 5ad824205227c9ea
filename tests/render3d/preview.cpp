// Renders the object in a few poses and a handful of glow sprites into
// frames and writes them as PNG files, to look at what the renderer draws.
//
// Usage: render3d_preview OUTPUT_DIR
#include <png.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "demo/assets.h"
#include "fx2d/fx2d.h"
#include "music/music.h"
#include "render3d/render3d.h"
#include "shell/shell.h"

namespace {

bool write_png(const std::string& path, const std::vector<std::uint16_t>& frame) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, 320, 200, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(320 * 3);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) {
      const std::uint16_t p = frame[static_cast<std::size_t>(y) * 320 + static_cast<std::size_t>(x)];
      row[3 * x] = static_cast<png_byte>((p >> 11) * 255 / 31);
      row[3 * x + 1] = static_cast<png_byte>(((p >> 5) & 63) * 255 / 63);
      row[3 * x + 2] = static_cast<png_byte>((p & 31) * 255 / 31);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
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
