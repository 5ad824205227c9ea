#include "plain_passes.h"

#include <cmath>

#include "assets/assets.h"

namespace plain {
namespace {

struct Fields {
  std::int32_t red, green, blue;
};

Fields split(std::uint16_t p) { return {p >> 11, (p >> 5) & 63, p & 31}; }
std::uint16_t merge(Fields f) { return static_cast<std::uint16_t>(f.red << 11 | f.green << 5 | f.blue); }
std::int32_t floor_at_zero(std::int32_t x) { return x < 0 ? 0 : x; }
std::int32_t cap(std::int32_t x, std::int32_t top) { return x > top ? top : x; }

std::uint8_t sine(std::uint32_t i) { return asset_block[257084 + (i % 256)]; }
std::uint32_t tunnel_entry(std::uint32_t i) {
  return asset_block[688475 + 2 * i] + 256u * asset_block[688475 + 2 * i + 1];
}

}  // namespace

void convert_palette(const std::uint8_t* source, std::uint16_t* destination) {
  for (int i = 0; i < 256; ++i) {
    const std::uint32_t e0 = source[3 * i], e1 = source[3 * i + 1], e2 = source[3 * i + 2];
    destination[i] = static_cast<std::uint16_t>((((e2 * 4) % 256) & 0xF8) * 256 | (e1 * 32) | ((e0 >> 1) & 0x1F));
  }
}

void build_warp_table(std::uint16_t* table) {
  const float t = 256.0f / 200.0f;
  for (int r = 0; r < 200; ++r) {
    const float s = static_cast<float>(256 + 2 * r) / 320.0f;
    const long v = std::lrint(static_cast<double>(r) * static_cast<double>(t));
    for (int c = 0; c < 320; ++c) {
      const long u = std::lrint(static_cast<double>(c) * static_cast<double>(s));
      table[r * 320 + c] = static_cast<std::uint16_t>((u % 256) * 256 + v);
    }
  }
}

std::uint8_t texel(std::uint32_t index) { return asset_block[1044256 + index]; }

void draw_warp(const std::uint16_t* table, const std::uint16_t* colours, std::uint16_t scroll, std::uint16_t* out) {
  const std::uint32_t ph = scroll / 256, pl = scroll % 256;
  for (std::uint32_t i = 0; i < pixels; ++i) {
    const std::uint32_t u = table[i] / 256, v = table[i] % 256;
    const std::uint32_t row = (sine((v + pl) % 256) + 256 - ph) % 256;
    const std::uint32_t column = (512 - (u + ph)) % 256;
    out[i] = colours[texel(row * 256 + column)];
  }
}

void draw_tunnel(bool distorted, const std::uint16_t* colours, std::uint16_t scroll, std::uint16_t* out) {
  const std::uint32_t ph = scroll / 256, pl = scroll % 256;
  for (std::uint32_t i = 0; i < pixels; ++i) {
    const std::uint32_t e = tunnel_entry(i);
    if (!distorted) {
      out[i] = colours[texel((e + scroll) % 65536)];
      continue;
    }
    const std::uint32_t eh = e / 256, el = e % 256;
    const std::uint32_t a = sine((sine((el + pl) % 256) + 2 * eh + pl) % 256);
    const std::uint32_t big_a = ((a >> 3) + 2 * el) % 256;
    const std::uint32_t b = sine((sine(ph) + el + pl) % 256);
    const std::uint32_t big_b = ((b >> 2) + eh) % 256;
    out[i] = colours[texel(((big_a + eh) % 256) * 256 + big_b)];
  }
}

void add_noise(std::uint16_t* frame, std::uint16_t noise_scroll) {
  const std::uint32_t s = (65052u + noise_scroll) % 65536;
  for (std::uint32_t k = 0; k < 2 * pixels; ++k) {
    const std::uint32_t noise = asset_block[192288 + s + k] >> 5;
    std::uint16_t& p = frame[k / 2];
    if (k % 2 == 0) {
      p = static_cast<std::uint16_t>((p & 0xFF00) | (((p & 0xFF) + noise) % 256));
    } else {
      p = static_cast<std::uint16_t>((p & 0x00FF) | ((((p >> 8) + noise) % 256) << 8));
    }
  }
}

void filter(std::uint16_t* frame) {
  for (std::uint32_t i = 321; i <= 63680; ++i) {
    const std::int32_t a = frame[i] & 31, b = frame[i + 1] & 31, d = frame[i - 1] & 31;
    const std::int32_t v = (2 * a + b + d) >> 2;
    frame[i] = merge({v, 2 * v, v});
  }
}

void fade_through_mask(std::uint16_t* frame, std::uint8_t level) {
  for (std::uint32_t i = 0; i < pixels; ++i) {
    const std::int32_t m = asset_block[923243 + i];
    const std::int32_t d = floor_at_zero((256 - m) % 256 - level);
    Fields f = split(frame[i]);
    f.green = floor_at_zero(f.green - (d >> 2));
    f.red = floor_at_zero(f.red - (d >> 3));
    f.blue = floor_at_zero(f.blue - (d >> 3));
    frame[i] = merge(f);
  }
}

void cross_blend(std::uint16_t* frame, const std::uint16_t* other, std::uint32_t weight, bool full) {
  const std::int32_t w = static_cast<std::int32_t>(weight);
  const std::int32_t w1 = full ? w : w >> 1;
  const std::int32_t w2 = full ? 32 - w : (32 - w) >> 1;
  for (std::uint32_t i = 0; i < pixels; ++i) {
    const Fields f = split(frame[i]), o = split(other[i]);
    Fields r;
    r.blue = cap(floor_at_zero(f.blue - w1) + floor_at_zero(o.blue - w2), 31);
    r.green = cap(floor_at_zero(f.green - 2 * w1) + floor_at_zero(o.green - 2 * w2), 63);
    r.red = cap(floor_at_zero(f.red - w1) + floor_at_zero(o.red - w2), 31);
    frame[i] = merge(r);
  }
}

void fill(std::uint16_t* frame, std::uint32_t pattern) {
  for (std::uint32_t k = 0; k < pixels / 2; ++k) {
    frame[2 * k] = static_cast<std::uint16_t>(pattern & 0xFFFF);
    frame[2 * k + 1] = static_cast<std::uint16_t>(pattern >> 16);
  }
}

void copy_shifted(std::uint16_t* frame, const std::uint8_t* picture, std::uint32_t shift) {
  for (std::uint32_t i = 0; i < pixels; ++i)
    frame[i] = static_cast<std::uint16_t>(shift >= 8 ? 0 : picture[i] >> shift);
}

void copy_keyed(std::uint16_t* frame, const std::uint8_t* picture) {
  for (std::uint32_t i = 0; i < pixels; ++i) {
    if (picture[i] != 0) frame[i] = picture[i];
  }
}

}  // namespace plain
