// Small helpers shared by the asset generators: little-endian output,
// palettes in the demo's stored component order, and writing files.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace asset_io {

inline constexpr int screen_w = 320;
inline constexpr int screen_h = 200;
inline constexpr int picture_bytes = screen_w * screen_h;

// On a 4:3 display the 320 x 200 pixels are 1.2 times taller than wide; a
// shape meant to look round is 1.2 times wider in pixels than tall.
inline constexpr double pixel_aspect = 1.2;

inline void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

inline void put_float(std::vector<std::uint8_t>& out, float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, 4);
  put32(out, bits);
}

// A colour in 6-bit components (0..63).
struct Rgb6 {
  int r, g, b;
};

inline int clamp6(double v) {
  const long n = std::lround(v);
  return n < 0 ? 0 : (n > 63 ? 63 : static_cast<int>(n));
}

inline Rgb6 rgb6(double r, double g, double b) { return {clamp6(r), clamp6(g), clamp6(b)}; }

inline Rgb6 mix(const Rgb6& a, const Rgb6& b, double t) {
  return rgb6(a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t);
}

// The stored palette puts each entry's first byte into the blue field and
// its third into the red field, so entries are written blue, green, red.
inline std::vector<std::uint8_t> palette_bytes(const std::vector<Rgb6>& colours) {
  std::vector<std::uint8_t> out(768, 0);
  for (std::size_t i = 0; i < colours.size() && i < 256; ++i) {
    out[3 * i] = static_cast<std::uint8_t>(colours[i].b);
    out[3 * i + 1] = static_cast<std::uint8_t>(colours[i].g);
    out[3 * i + 2] = static_cast<std::uint8_t>(colours[i].r);
  }
  return out;
}

inline double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

inline double smoothstep(double e0, double e1, double x) {
  const double t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3.0 - 2.0 * t);
}

inline bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
  }
  return ok;
}

}  // namespace asset_io
