// Writes the four full-screen pictures that the scenes put into the frame
// without a palette:
//
// opening_picture.bin  the title card of the first scene, shown as blue
//                      levels 0..15 (byte >> 4) and then grained and smeared
//                      by the blur: "VORNA" and "Z-PLORAN" in bold capitals
//                      with black outlines and shadows, over a striped sun on
//                      a sunburst, above a perspective grid.
// alternating_picture_1.bin, alternating_picture_2.bin
//                      the pair that strobes on the beat, blue levels 0..31
//                      (byte >> 3) then blurred: concentric rings with
//                      "Z-PLORAN" bright on a dark band, against a sunburst
//                      with "VORNA" dark on a bright band. The second one is
//                      also the blur's noise source.
// end_picture.bin      the closing logo, each byte a raw pixel word (blue =
//                      byte AND 31), 0 transparent: "VORNA Z-PLORAN" with
//                      black outlines across the top and two arcs of a ring
//                      left and right of the spinning object.
//
// The blur adds up to 7 to every blue level before it filters, and a blue
// field that passes 31 wraps to dark; so the alternating and end pictures
// keep their levels at 24 and below.
//
// Usage: make_pictures OUTPUT_DIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "asset_io.h"
#include "text_render.h"

namespace {

using asset_io::clamp01;
using asset_io::pixel_aspect;
using asset_io::smoothstep;
using text_render::Coverage;

constexpr int w = asset_io::screen_w;
constexpr int h = asset_io::screen_h;

// A picture in levels (any real value; the writer rounds and clamps).
struct Levels {
  std::vector<double> v = std::vector<double>(w * h, 0.0);
  double& at(int x, int y) { return v[y * w + x]; }
};

// Distance from the centre (cx, cy) measured on the 4:3 screen, in rows.
double screen_distance(double x, double y, double cx, double cy) { return std::hypot((x - cx) / pixel_aspect, y - cy); }

// Coverage grown by an ellipse of radius r rows (1.2 r columns), so that an
// outline looks equally thick across and down.
Coverage grown(const Coverage& c, double r) {
  Coverage out(c.w, c.h);
  const int rx = static_cast<int>(std::ceil(r * pixel_aspect)), ry = static_cast<int>(std::ceil(r));
  for (int y = 0; y < c.h; ++y) {
    for (int x = 0; x < c.w; ++x) {
      double best = 0.0;
      for (int dy = -ry; dy <= ry; ++dy) {
        for (int dx = -rx; dx <= rx; ++dx) {
          const double d = std::hypot(dx / pixel_aspect, static_cast<double>(dy));
          if (d > r + 0.5) continue;
          const double weight = clamp01(r + 0.5 - d);
          best = std::max(best, c.at(x + dx, y + dy) * weight);
        }
      }
      out.ref(x, y) = best;
    }
  }
  return out;
}

// Text over the picture: a shadow, an outline and the body, whose level
// may vary over the picture.
struct TextStyle {
  double cap_px;
  double spacing_px;
  double bold_px;
  double outline_rows;
  double outline_level;
  int shadow_dx, shadow_dy;
  std::function<double(int, int)> body_level;
};

// Draws text centred on column cx with its baseline at row baseline.
// Returns the text's coverage (body and outline together), for pictures
// that need to know where the text lies.
Coverage draw_text(Levels& picture, const std::string& text, double cx, double baseline, const TextStyle& style) {
  Coverage body(w, h);
  const double x_scale = 1.0 / pixel_aspect;
  const double width =
      text_render::draw_line(body, text, 0, baseline, style.cap_px, x_scale, style.spacing_px, style.bold_px, false);
  body = Coverage(w, h);
  text_render::draw_line(body, text, cx - width / 2.0, baseline, style.cap_px, x_scale, style.spacing_px,
                         style.bold_px);
  const Coverage outline = grown(body, style.outline_rows);
  Coverage footprint(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double shadow = outline.at(x - style.shadow_dx, y - style.shadow_dy);
      double& level = picture.at(x, y);
      level += (style.outline_level - level) * std::max(shadow, outline.at(x, y));
      level += (style.body_level(x, y) - level) * body.at(x, y);
      footprint.ref(x, y) = std::max(shadow, outline.at(x, y));
    }
  }
  return footprint;
}

// A deterministic grain in -1..1 for pixel (x, y).
double grain(int x, int y, std::uint32_t seed) {
  std::uint32_t n =
      static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u ^ seed * 83492791u;
  n ^= n >> 13;
  n *= 0x5bd1e995u;
  n ^= n >> 15;
  return (n & 0xFFFF) / 32767.5 - 1.0;
}

// Rays from (cx, cy): 1 on every other of count sectors, softened at their
// edges by `soft` of a sector.
double rays(double x, double y, double cx, double cy, int count, double turn) {
  const double a = std::atan2((y - cy) * pixel_aspect, x - cx) / (2 * M_PI) * count + turn;
  const double f = a - std::floor(a);
  return smoothstep(0.44, 0.5, f) - smoothstep(0.94, 1.0, f) + (f < 0.06 ? 1.0 - smoothstep(0.0, 0.06, f) : 0.0);
}

// ----------------------------------------------------------------------------

Levels opening() {
  Levels p;
  const double sun_x = 160, sun_y = 100, sun_r = 76;  // rows
  const double horizon = 140;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double level;
      if (y < horizon) {
        // Sky: a sunburst round the sun, brighter towards the horizon.
        const double glow = 1.0 + 2.0 * smoothstep(0, horizon, y);
        level = glow + 3.5 * rays(x, y, sun_x, sun_y, 24, 0.25);
        // The sun: a disc shaded from bright at the top to darker at the
        // horizon, cut by bands that widen downwards.
        const double d = screen_distance(x, y, sun_x, sun_y);
        if (d < sun_r + 1.0) {
          const double t = (y - (sun_y - sun_r)) / sun_r;  // 0 at its top
          const double band_phase = std::fmod(std::pow(std::max(0.0, t), 1.6) * 9.0, 1.0);
          const bool cut = t > 0.55 && band_phase < 0.12 + 0.35 * (t - 0.55);
          const double sun = 10.0 - 4.0 * clamp01(t);
          const double edge = clamp01(sun_r + 1.0 - d);
          level += ((cut ? 2.0 : sun) - level) * edge;
        }
      } else {
        // A perspective grid on a dark floor, fading into the distance.
        const double depth = 40.0 / (y - horizon + 4.0);
        const double z = depth * 24.0;
        const double gx = (x - 160.0) * depth / 6.0;
        const double line_x = 1.0 - smoothstep(0.0, 0.09 + 0.02 * depth, std::fabs(gx - std::round(gx)));
        const double line_z = 1.0 - smoothstep(0.0, 0.12 * depth, std::fabs(z / 4.0 - std::round(z / 4.0)));
        const double near = smoothstep(horizon, h, y);
        level = 1.0 + (6.0 + 6.0 * near) * std::max(line_x, line_z);
      }
      p.at(x, y) = level;
    }
  }
  // The horizon line.
  for (int x = 0; x < w; ++x) p.at(x, static_cast<int>(horizon)) = 10.0;

  auto title_gradient = [](int, int y) { return 15.0 - 3.0 * smoothstep(34, 90, y); };
  draw_text(p, "VORNA", 160, 92, {54, 4, 2.5, 2.2, 0.0, 3, 3, title_gradient});
  auto second_gradient = [](int, int y) { return 15.0 - 2.5 * smoothstep(104, 132, y); };
  draw_text(p, "Z-PLORAN", 160, 133, {28, 3, 1.5, 1.8, 0.0, 2, 2, second_gradient});
  draw_text(p, "V2.2", 272, 160, {12, 1, 0.6, 1.2, 0.0, 1, 1, [](int, int) { return 13.0; }});
  return p;
}

Levels alternating_1() {
  Levels p;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      // Rings round the centre, 18 rows apart, soft-edged.
      const double d = screen_distance(x, y, 160, 100);
      const double ring = 0.5 + 0.5 * std::cos(2 * M_PI * d / 18.0);
      p.at(x, y) = 3.0 + 19.0 * smoothstep(0.35, 0.65, ring);
    }
  }
  // A dark band across the middle carries the name.
  for (int y = 60; y < 140; ++y) {
    const double edge = std::min(smoothstep(59, 63, y), 1.0 - smoothstep(136, 140, y));
    for (int x = 0; x < w; ++x) p.at(x, y) += (0.0 - p.at(x, y)) * edge;
  }
  draw_text(p, "Z-PLORAN", 160, 120,
            {40, 3, 2.0, 1.6, 0.0, 0, 0, [](int, int y) { return 24.0 - 6.0 * smoothstep(80, 122, y); }});
  return p;
}

Levels alternating_2() {
  Levels p;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      // Twenty spokes round the centre, lighter towards the rim.
      const double d = screen_distance(x, y, 160, 100);
      const double spoke = rays(x, y, 160, 100, 20, 0.0);
      const double rim = smoothstep(20, 140, d);
      p.at(x, y) = 2.0 + (12.0 + 10.0 * rim) * spoke;
    }
  }
  // A bright band across the middle carries the name in black.
  for (int y = 60; y < 140; ++y) {
    const double edge = std::min(smoothstep(59, 63, y), 1.0 - smoothstep(136, 140, y));
    for (int x = 0; x < w; ++x) p.at(x, y) += (22.0 - p.at(x, y)) * edge;
  }
  draw_text(p, "VORNA", 160, 124, {46, 6, 2.5, 1.6, 10.0, 0, 0, [](int, int) { return 0.0; }});
  return p;
}

// The end picture, in blue levels; negative marks transparent.
Levels end_logo() {
  Levels p;
  std::fill(p.v.begin(), p.v.end(), -1.0);
  // Two arcs of a ring round the object, left and right of it, like
  // brackets; the object turns between them and its corners swing over them.
  const double ring_y = 108, ring_r = 72;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double off = std::fabs(screen_distance(x, y, 160, ring_y) - ring_r);
      const double ring = 1.0 - smoothstep(1.2, 2.2, off);
      const double edge = 1.0 - smoothstep(2.2, 3.2, off);
      const double from_horizontal = std::fabs(std::atan2(y - ring_y, std::fabs(x - 160.0) / pixel_aspect));
      if (from_horizontal > 0.9 || edge <= 0.0) continue;
      p.at(x, y) = ring > 0.5 ? 6.0 + 12.0 * ring * (1.0 - from_horizontal / 1.4) : 0.0;
    }
  }
  // The title across the top, outlined and shadowed in opaque black.
  Levels title;
  std::fill(title.v.begin(), title.v.end(), -1.0);
  const Coverage footprint =
      draw_text(title, "VORNA Z-PLORAN", 160, 36,
                {22, 1, 1.2, 1.5, 0.0, 2, 2, [](int, int y) { return 22.0 - 8.0 * smoothstep(14, 36, y); }});
  for (int i = 0; i < w * h; ++i) {
    if (footprint.a[i] > 0.3) p.v[i] = std::max(0.0, title.v[i]);
  }
  // The version under the title, at the right.
  Levels version;
  std::fill(version.v.begin(), version.v.end(), -1.0);
  const Coverage version_footprint =
      draw_text(version, "V2.2", 262, 54, {11, 1, 0.6, 1.1, 0.0, 1, 1, [](int, int) { return 14.0; }});
  for (int i = 0; i < w * h; ++i) {
    if (version_footprint.a[i] > 0.3) p.v[i] = std::max(0.0, version.v[i]);
  }
  return p;
}

// Bytes of a picture shown as byte >> shift, levels clamped to 0..top,
// optionally with a grain of +-grain_levels.
std::vector<std::uint8_t> shifted_bytes(Levels& p, int shift, double top, double grain_levels, std::uint32_t seed) {
  std::vector<std::uint8_t> out(w * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double v = p.at(x, y) + grain_levels * grain(x, y, seed);
      const int level = static_cast<int>(std::clamp(std::lround(v), 0L, static_cast<long>(top)));
      // The bits below the shift repeat the level's top bits, so that the
      // bytes read as a picture too.
      out[y * w + x] = static_cast<std::uint8_t>(level << shift | level >> (8 - 2 * shift > 0 ? 8 - 2 * shift : 0));
    }
  }
  return out;
}

// Bytes of the end picture: transparent 0 where there is nothing; opaque
// black (blue 0, green 1) for the outline and plate; blue levels elsewhere.
std::vector<std::uint8_t> raw_bytes(const Levels& p) {
  std::vector<std::uint8_t> out(w * h);
  for (int i = 0; i < w * h; ++i) {
    if (p.v[i] < 0.0) {
      out[i] = 0;
      continue;
    }
    const long level = std::clamp(std::lround(p.v[i]), 0L, 24L);
    out[i] = static_cast<std::uint8_t>(level == 0 ? 32 : level);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_pictures OUTPUT_DIR\n");
    return 2;
  }
  if (!text_render::open_font()) {
    return 1;
  }
  const std::string dir = argv[1];
  Levels title = opening();
  Levels first = alternating_1();
  Levels second = alternating_2();
  bool ok = asset_io::write_file(dir + "/opening_picture.bin", shifted_bytes(title, 4, 15, 0.0, 1));
  ok = asset_io::write_file(dir + "/alternating_picture_1.bin", shifted_bytes(first, 3, 24, 1.5, 2)) && ok;
  // The second picture is also the blur's noise (its bytes >> 5): a
  // stronger grain there turns the noise's copy of the picture into grain.
  ok = asset_io::write_file(dir + "/alternating_picture_2.bin", shifted_bytes(second, 3, 24, 3.0, 3)) && ok;
  ok = asset_io::write_file(dir + "/end_picture.bin", raw_bytes(end_logo())) && ok;
  return ok ? 0 : 1;
}
