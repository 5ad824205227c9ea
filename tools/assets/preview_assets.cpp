// Renders every artwork asset of the block through the transform that the
// scenes put it through, and writes each view as a PNG at the 4:3 shape of
// the display, for looking at the assets while designing them.
//
// The picture copies, the noise and blur, the mask fade, the warp, the
// tunnels and the cross-blend are the demo's own passes, run on the real
// frame buffer. The glyph writer and the sprite stamp follow the drawing
// rules of the captions and of the sprites; the 3D object is stood in for by
// a disc of its additive colour.
//
// Usage: preview_assets OUTPUT_DIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "fx2d/fx2d.h"
#include "shell/shell.h"
#include "tools/png/frame_png.h"

namespace {

constexpr int w = 320;
constexpr int h = 200;
constexpr int pixels = w * h;

using Frame = std::vector<std::uint16_t>;

// The frame buffer as the passes leave it.
Frame grab() { return Frame(frame_buffer, frame_buffer + pixels); }

void shifted_copy(Frame& f, const std::uint8_t* picture, int shift) {
  copy_picture_shifted(picture, static_cast<std::uint32_t>(shift));
  f = grab();
}

void keyed_copy(Frame& f, const std::uint8_t* picture) {
  std::copy(f.begin(), f.end(), frame_buffer);
  copy_picture_keyed(picture);
  f = grab();
}

void blur(Frame& f, std::uint16_t scroll) {
  std::copy(f.begin(), f.end(), frame_buffer);
  noise_scroll = scroll;
  blur_frame();
  f = grab();
}

void fade(Frame& f, int level) {
  std::copy(f.begin(), f.end(), frame_buffer);
  fade_through_mask(static_cast<std::uint8_t>(level));
  f = grab();
}

void draw_warp_at(Frame& f, std::uint16_t scroll) {
  warp_scroll = scroll;
  draw_warp();
  f = grab();
}

void draw_tunnel_at(Frame& f, std::uint16_t scroll, bool distorted) {
  warp_scroll = scroll;
  draw_tunnel(distorted ? tunnel_distorted : tunnel_plain);
  f = Frame(second_buffer, second_buffer + pixels);
}

void draw_sprite(Frame& f, int x, int y, const std::uint16_t* colours) {
  for (int sy = 0; sy < 42; ++sy) {
    for (int sx = 0; sx < 64; ++sx) {
      const std::uint16_t s = colours[sprite_picture[sy * 320 + sx]];
      std::uint16_t& d = f[(y + sy) * w + x + sx];
      const int r = std::min(31, (d >> 11) + (s >> 11));
      const int g = std::min(63, ((d >> 5) & 63) + ((s >> 5) & 63));
      const int b = std::min(31, (d & 31) + (s & 31));
      d = static_cast<std::uint16_t>(r << 11 | g << 5 | b);
    }
  }
}

void draw_text(Frame& f, const char* text, int x, int y, const std::uint16_t* colours) {
  int pen = y * w + x;
  for (const char* c = text; *c != 0; ++c) {
    if (*c != ' ') {
      const std::uint8_t* src = font_bitmap + 24 * ((*c - 32) & 255) + 1500 + 1;
      for (int row = 0; row < 27; ++row) {
        for (int col = 0; col < 23; ++col) {
          const std::uint8_t v = src[row * 1500 + col];
          const int at = pen + row * w + col;
          if (v != 0 && at < pixels) f[at] = colours[v];
        }
      }
    }
    pen += 16 + (*c == 'W' || *c == 'M' ? 8 : 0) - (*c == 'I' ? 8 : 0) - (*c == 'L' ? 5 : 0);
  }
}

// A stand-in for the object: a filled disc of the additive colour, as many
// layers deep as faces overlap at its middle.
void object_stand_in(Frame& f, int cx, int cy, int radius, std::uint16_t colour, int layers) {
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy <= radius * radius) {
        const int depth = 1 + (layers - 1) * (radius * radius - dx * dx - dy * dy) / (radius * radius);
        f[y * w + x] = static_cast<std::uint16_t>(f[y * w + x] + colour * depth);
      }
    }
  }
}

std::string out_dir;
bool all_written = true;

void save(const std::string& name, const Frame& f) {
  const std::string path = out_dir + "/" + name + ".png";
  if (!write_screen_png(path, f.data())) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    all_written = false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: preview_assets OUTPUT_DIR\n");
    return 2;
  }
  out_dir = argv[1];
  alloc_frame_buffer(320, 200, 16);
  convert_font_and_sprite_palettes();
  build_warp_table();
  Frame f(pixels);

  // Scene 1: the title card, grained and smeared, with captions over it.
  shifted_copy(f, opening_picture, 4);
  save("opening_raw", f);
  blur(f, 0);
  save("opening_blurred", f);
  shifted_copy(f, opening_picture, 4);
  blur(f, 768 * 40);
  draw_text(f, "LAME", 20, 10, font_colours);
  draw_text(f, " SCHOOL", 80, 10, font_colours);
  draw_text(f, " FLA", 190, 10, font_colours);
  draw_text(f, "VOUR", 250, 10, font_colours);
  draw_text(f, "100", 125, 170, font_colours);
  draw_text(f, "%", 175, 170, font_colours);
  draw_text(f, " BLEN", 195, 170, font_colours);
  draw_text(f, "DED", 270, 170, font_colours);
  save("opening_captions", f);

  // Scene 7: the two strobing pictures.
  for (int which = 1; which <= 2; ++which) {
    shifted_copy(f, which == 1 ? alternating_picture_1 : alternating_picture_2, 3);
    save("alternating_" + std::to_string(which) + "_raw", f);
    blur(f, static_cast<std::uint16_t>(768 * (which * 37)));
    draw_text(f, which == 1 ? "GLOWBYTE" : "ZIGURA", 0, 0, font_colours);
    draw_text(f, which == 1 ? "PIXELON" : "SPECIAL THANKS", which == 1 ? 0 : 100, 145, font_colours);
    draw_text(f, which == 1 ? "HYPNOCUBE" : "ECHO RIFT", 0, 170, font_colours);
    save("alternating_" + std::to_string(which) + "_blurred", f);
  }

  // Scene 8: black, the dim object, the keyed logo, the blur, the credit.
  std::fill(f.begin(), f.end(), 0);
  object_stand_in(f, 160, 100, 80, 1, 8);
  keyed_copy(f, end_picture);
  save("end_raw", f);
  blur(f, 768 * 11);
  draw_text(f, "VORNA PRODUCTIONS 99", 0, 170, font_colours);
  save("end_blurred", f);

  // Scenes 2 to 5: the warp, the fade through the mask, the tunnels.
  std::uint16_t scroll = 0;
  for (int i = 0; i < 3; ++i) {
    draw_warp_at(f, scroll);
    object_stand_in(f, 220, 100, 70, 0x10CB, 3);
    save("warp_" + std::to_string(i), f);
    scroll = static_cast<std::uint16_t>(scroll - 1285 * 37);
  }
  const int levels[] = {230, 190, 150, 110, 81};
  for (int level : levels) {
    draw_warp_at(f, 0x4321);
    fade(f, level);
    save("fade_" + std::to_string(level), f);
  }
  for (int level : levels) {
    std::fill(f.begin(), f.end(), 0xFFFF);
    fade(f, level);
    save("fade_white_" + std::to_string(level), f);
  }
  draw_tunnel_at(f, 0x1234, false);
  save("tunnel_plain", f);
  draw_tunnel_at(f, 0x5678, true);
  save("tunnel_distorted", f);

  // Scenes 4 and 5: the tunnels blended over the warp.
  warp_scroll = 0x3000;
  draw_warp();
  draw_tunnel(tunnel_plain);
  cross_blend(15, blend_halved);
  save("blend_plain_15", grab());
  warp_scroll = 0x6000;
  draw_warp();
  draw_tunnel(tunnel_distorted);
  cross_blend(24, blend_full);
  save("blend_distorted_24", grab());

  // Scenes 5 and 6: glow sprites on black and over the position-coloured fill.
  std::fill(f.begin(), f.end(), 0);
  draw_sprite(f, 20, 20, sprite_colours);
  for (int i = 0; i < 40; ++i) draw_sprite(f, 100 + (i * 37) % 150, 60 + (i * 53) % 90, sprite_colours);
  save("sprites_black", f);
  for (int i = 0; i < pixels; ++i) f[i] = (i & 1) == 0 ? 0x0C05 : 0;
  for (int i = 0; i < 150; ++i) draw_sprite(f, (i * 97) % 250, (i * 61) % 150, sprite_colours);
  draw_text(f, "2DAYS 512KBYTES", 10, 10, font_colours);
  draw_text(f, "NO DIRECT 3D", 0, 50, font_colours);
  draw_text(f, "UNFINISHED VERSION", 30, 80, font_colours);
  save("sprites_cloud", f);

  // The whole font over the warp.
  draw_warp_at(f, 0x2222);
  draw_text(f, "ABCDEFGHIJKLMNOPQRST", 0, 0, font_colours);
  draw_text(f, "UVWXYZ 0123456789", 0, 30, font_colours);
  draw_text(f, "%() !\"#$&'*+,-./:;<=>?@[\\]", 0, 60, font_colours);
  draw_text(f, "LAS AUTORIDADES", 0, 100, font_colours);
  draw_text(f, "SANITARIAS ADVIERTEN", 0, 130, font_colours);
  draw_text(f, "VER ESTO PRODUCE CANCER", 0, 165, font_colours);
  save("font_over_warp", f);
  return all_written ? 0 : 1;
}
