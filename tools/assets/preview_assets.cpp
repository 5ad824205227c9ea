// Renders every artwork asset of the block through the transform that the
// scenes put it through, and writes each view as a PNG at the 4:3 shape of
// the display, for looking at the assets while designing them.
//
// The passes here follow the drawing rules of the effects (shifted and keyed
// copies, noise and blur, mask fade, warp, tunnels, sprites, glyphs); they
// are re-stated in this tool so that it runs on the block alone.
//
// Usage: preview_assets OUTPUT_DIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "demo/assets.h"
#include "png_out.h"

namespace {

constexpr int w = 320;
constexpr int h = 200;
constexpr int pixels = w * h;

using Frame = std::vector<std::uint16_t>;

std::uint16_t convert_entry(const std::uint8_t* e) {
  return static_cast<std::uint16_t>((e[2] >> 1) << 11 | e[1] << 5 | (e[0] >> 1));
}

std::vector<std::uint16_t> convert(const std::uint8_t* palette) {
  std::vector<std::uint16_t> out(256);
  for (int i = 0; i < 256; ++i) out[i] = convert_entry(palette + 3 * i);
  return out;
}

void shifted_copy(Frame& f, const std::uint8_t* picture, int shift) {
  for (int i = 0; i < pixels; ++i) f[i] = static_cast<std::uint16_t>(picture[i] >> shift);
}

void keyed_copy(Frame& f, const std::uint8_t* picture) {
  for (int i = 0; i < pixels; ++i)
    if (picture[i] != 0) f[i] = picture[i];
}

std::uint16_t grey(int v) { return static_cast<std::uint16_t>(v << 11 | (2 * v) << 5 | v); }

void blur(Frame& f, std::uint16_t noise_scroll) {
  auto* bytes = reinterpret_cast<std::uint8_t*>(f.data());
  const std::uint32_t s = (65052u + noise_scroll) % 65536u;
  for (int k = 0; k < 128000; ++k) bytes[k] = static_cast<std::uint8_t>(bytes[k] + (noise_window[s + k] >> 5));
  for (int i = 321; i <= 63680; ++i) {
    const int a = f[i] & 31, b = f[i + 1] & 31, d = f[i - 1] & 31;
    f[i] = grey((2 * a + b + d) >> 2);
  }
}

void fade(Frame& f, int level) {
  for (int i = 0; i < pixels; ++i) {
    int d = ((256 - mask_picture[i]) % 256) - level;
    if (d < 0) d = 0;
    int r = f[i] >> 11, g = (f[i] >> 5) & 63, b = f[i] & 31;
    g = std::max(0, g - (d >> 2));
    r = std::max(0, r - (d >> 3));
    b = std::max(0, b - (d >> 3));
    f[i] = static_cast<std::uint16_t>(r << 11 | g << 5 | b);
  }
}

std::vector<std::uint16_t> warp_table() {
  std::vector<std::uint16_t> table(pixels);
  const float t = 256.0f / 200.0f;
  for (int r = 0; r < h; ++r) {
    const float step = static_cast<float>((256.0 + 2.0 * r) / 320.0);
    const int v = static_cast<int>(std::nearbyint(static_cast<double>(r) * t));
    for (int c = 0; c < w; ++c) {
      const int u = static_cast<int>(std::nearbyint(c * static_cast<double>(step))) & 255;
      table[r * w + c] = static_cast<std::uint16_t>(u << 8 | (v & 255));
    }
  }
  return table;
}

void draw_warp(Frame& f, std::uint16_t scroll, const std::vector<std::uint16_t>& colours) {
  static const std::vector<std::uint16_t> table = warp_table();
  const int ph = scroll >> 8, pl = scroll & 255;
  for (int i = 0; i < pixels; ++i) {
    const int u = table[i] >> 8, v = table[i] & 255;
    const int row = (sine_table[(v + pl) & 255] - ph) & 255;
    const int column = (0 - (u + ph)) & 255;
    f[i] = colours[warp_texel_window[row * 256 + column]];
  }
}

std::uint16_t tunnel_at(int i) { return static_cast<std::uint16_t>(tunnel_offsets[2 * i] | tunnel_offsets[2 * i + 1] << 8); }

void draw_tunnel(Frame& f, std::uint16_t scroll, bool distorted, const std::vector<std::uint16_t>& colours) {
  const int ph = scroll >> 8, pl = scroll & 255;
  for (int i = 0; i < pixels; ++i) {
    const std::uint16_t e = tunnel_at(i);
    if (!distorted) {
      f[i] = colours[warp_texel_window[static_cast<std::uint16_t>(e + scroll)]];
      continue;
    }
    const int eh = e >> 8, el = e & 255;
    const int a = sine_table[(sine_table[(el + pl) & 255] + 2 * eh + pl) & 255];
    const int A = (a >> 3) + 2 * el;
    const int b = sine_table[(sine_table[ph] + el + pl) & 255];
    const int B = (b >> 2) + eh;
    f[i] = colours[warp_texel_window[((A + eh) & 255) * 256 + (B & 255)]];
  }
}

void draw_sprite(Frame& f, int x, int y, const std::vector<std::uint16_t>& colours) {
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

void draw_text(Frame& f, const char* text, int x, int y, const std::vector<std::uint16_t>& colours) {
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
  const std::vector<std::uint16_t> warp_colours = convert(warp_palette);
  const std::vector<std::uint16_t> font_colours = convert(font_palette);
  const std::vector<std::uint16_t> sprite_colours = convert(sprite_palette);
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
    draw_warp(f, scroll, warp_colours);
    object_stand_in(f, 220, 100, 70, 0x10CB, 3);
    save("warp_" + std::to_string(i), f);
    scroll = static_cast<std::uint16_t>(scroll - 1285 * 37);
  }
  const int levels[] = {230, 190, 150, 110, 81};
  for (int level : levels) {
    draw_warp(f, 0x4321, warp_colours);
    fade(f, level);
    save("fade_" + std::to_string(level), f);
  }
  for (int level : levels) {
    std::fill(f.begin(), f.end(), 0xFFFF);
    fade(f, level);
    save("fade_white_" + std::to_string(level), f);
  }
  draw_tunnel(f, 0x1234, false, warp_colours);
  save("tunnel_plain", f);
  draw_tunnel(f, 0x5678, true, warp_colours);
  save("tunnel_distorted", f);

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
  draw_warp(f, 0x2222, warp_colours);
  draw_text(f, "ABCDEFGHIJKLMNOPQRST", 0, 0, font_colours);
  draw_text(f, "UVWXYZ 0123456789", 0, 30, font_colours);
  draw_text(f, "%() !\"#$&'*+,-./:;<=>?@[\\]", 0, 60, font_colours);
  draw_text(f, "LAS AUTORIDADES", 0, 100, font_colours);
  draw_text(f, "SANITARIAS ADVIERTEN", 0, 130, font_colours);
  draw_text(f, "VER ESTO PRODUCE CANCER", 0, 165, font_colours);
  save("font_over_warp", f);
  return all_written ? 0 : 1;
}
