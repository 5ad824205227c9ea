// The lookup-table effects: the wave warp over a plane seen in perspective,
// and the tunnel in a plain and a sine-distorted variant. Each pixel costs a
// few byte operations and table reads; the texture is read through the
// 64 KiB texel window of the doubled texture, so a 16-bit texel index needs
// no masking or wrap test.
#include <cmath>
#include <new>

#include "demo/assets.h"
#include "fx2d/fx2d.h"
#include "shell/shell.h"

namespace {

// Holds the table if the heap cannot give its block (zero-filled, like the
// heap block).
alignas(16) std::uint16_t reserve_table[warp_table_bytes / 2];

// Texture byte at a 16-bit texel index.
inline std::uint32_t texel(std::uint32_t index) { return warp_texel_window[index]; }

// Stored tunnel offset of pixel i, little-endian 16-bit.
inline std::uint32_t tunnel_offset(std::uint32_t i) {
  return static_cast<std::uint32_t>(tunnel_offsets[2 * i]) | static_cast<std::uint32_t>(tunnel_offsets[2 * i + 1]) << 8;
}

void draw_plain_tunnel() {
  const std::uint32_t scroll = warp_scroll;
  for (std::uint32_t i = 0; i < effect_pixels; ++i) {
    second_buffer[i] = warp_colours[texel((tunnel_offset(i) + scroll) & 0xFFFFu)];
  }
}

void draw_distorted_tunnel() {
  const std::uint32_t ph = warp_scroll >> 8;
  const std::uint32_t pl = warp_scroll & 0xFFu;
  // Everything that depends on the offset's low byte el alone is looked up
  // once per frame: bits 0-7 the inner sine index (sine[el + pl] + pl),
  // bits 8-15 the column part sine[sine[ph] + el + pl] >> 2, bits 16-23 the
  // row part 2 el, each mod 256.
  std::uint32_t per_low_byte[256];
  std::uint8_t sine_eighth[256];
  const std::uint32_t sine_ph = sine_table[ph];
  for (std::uint32_t el = 0; el < 256; ++el) {
    const std::uint32_t inner = (sine_table[(el + pl) & 0xFFu] + pl) & 0xFFu;
    const std::uint32_t column = sine_table[(sine_ph + el + pl) & 0xFFu] >> 2;
    per_low_byte[el] = inner | column << 8 | ((2 * el) & 0xFFu) << 16;
    sine_eighth[el] = static_cast<std::uint8_t>(sine_table[el] >> 3);
  }
  for (std::uint32_t i = 0; i < effect_pixels; ++i) {
    const std::uint32_t offset = tunnel_offset(i);
    const std::uint32_t el = offset & 0xFFu;
    const std::uint32_t eh = offset >> 8;
    const std::uint32_t q = per_low_byte[el];
    const std::uint32_t a_eighth = sine_eighth[((q & 0xFFu) + 2 * eh) & 0xFFu];
    const std::uint32_t row = (a_eighth + (q >> 16) + eh) & 0xFFu;
    const std::uint32_t column = (((q >> 8) & 0xFFu) + eh) & 0xFFu;
    second_buffer[i] = warp_colours[texel(row << 8 | column)];
  }
  warp_scroll = static_cast<std::uint16_t>(warp_scroll + 0x0A0A);
}

}  // namespace

void build_warp_table() {
  if (warp_table == nullptr) {
    warp_table = new (std::nothrow) std::uint16_t[warp_table_bytes / 2]();
    if (warp_table == nullptr) warp_table = reserve_table;
  }
  convert_palette(warp_palette, warp_colours);

  // Texture rows: t = 256 / 200 in single precision; row r reads texture
  // row nearest(r t), 0 at the top to 255 at the bottom.
  const float row_step = static_cast<float>(256.0 / 200.0);
  for (std::uint32_t r = 0; r < effect_height; ++r) {
    const auto v = static_cast<std::uint32_t>(std::nearbyint(static_cast<double>(r) * row_step)) & 0xFFu;
    // Texture columns: each row spreads 320 columns over (256 + 2r) / 320
    // texels a column (single precision), from 256 texels across at the top
    // to about 652 at the bottom. The accumulator is double, where every sum
    // c x step is exact.
    const float column_step = static_cast<float>((256.0 + 2.0 * r) / 320.0);
    double accumulator = 0.0;
    std::uint16_t* row = warp_table + r * effect_width;
    for (std::uint32_t c = 0; c < effect_width; ++c) {
      const auto u = static_cast<std::uint32_t>(std::nearbyint(accumulator)) & 0xFFu;
      row[c] = static_cast<std::uint16_t>(u << 8 | v);
      accumulator += column_step;
    }
  }
}

void draw_warp() {
  if (warp_table == nullptr) build_warp_table();
  const std::uint32_t ph = warp_scroll >> 8;
  const std::uint32_t pl = warp_scroll & 0xFFu;
  const std::uint32_t minus_ph = 0u - ph;
  std::uint16_t* out = frame_buffer;
  // The texture row depends only on an entry's low byte, which is the same
  // along a row of the table: it is looked up again only when it changes.
  std::uint32_t current_v = 0x100;  // matches no low byte
  const std::uint8_t* texture_row = warp_texel_window;
  for (std::uint32_t i = 0; i < effect_pixels; ++i) {
    const std::uint32_t entry = warp_table[i];
    const std::uint32_t v = entry & 0xFFu;
    if (v != current_v) {
      current_v = v;
      texture_row = warp_texel_window + (((sine_table[(v + pl) & 0xFFu] - ph) & 0xFFu) << 8);
    }
    out[i] = warp_colours[texture_row[(minus_ph - (entry >> 8)) & 0xFFu]];
  }
  warp_scroll = static_cast<std::uint16_t>(warp_scroll - 0x0505);
}

void draw_tunnel(TunnelVariant variant) {
  if (variant == tunnel_distorted) {
    draw_distorted_tunnel();
  } else {
    draw_plain_tunnel();
  }
}
