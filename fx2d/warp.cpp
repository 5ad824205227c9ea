// The lookup-table effects: the wave warp over a plane seen in perspective,
// and the tunnel in a plain and a sine-distorted variant. Each pixel costs a
// few byte operations and table reads; the texture is read through the
// 64 KiB texel window of the doubled texture, so a 16-bit texel index needs
// no masking or wrap test.
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "demo/assets.h"
#include "fx2d/fx2d.h"
#include "shell/shell.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Holds the table if the heap cannot give its block (zero-filled, like the
// heap block).
alignas(16) std::uint16_t reserve_table[warp_table_bytes / 2];

// The loops take whole blocks of four or eight pixels.
static_assert(effect_pixels % 8 == 0);

// Without SSE2 the passes take four 16-bit values at a time in one 64-bit
// word, value k in bits 16k .. 16k + 15, and work on the four lanes at once
// where no lane can carry into the next.
inline constexpr std::uint64_t lane_low_bytes = 0x00FF00FF00FF00FFu;
inline constexpr std::uint64_t lane_ones = 0x0001000100010001u;

// Four little-endian 16-bit values from bytes (the tunnel offsets).
inline std::uint64_t load_four_le(const std::uint8_t* bytes) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t x;
    std::memcpy(&x, bytes, sizeof x);
    return x;
  } else {
    std::uint64_t x = 0;
    for (int b = 7; b >= 0; --b) x = x << 8 | bytes[b];
    return x;
  }
}

// Four native 16-bit words (the warp table).
inline std::uint64_t load_four(const std::uint16_t* words) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t x;
    std::memcpy(&x, words, sizeof x);
    return x;
  } else {
    return std::uint64_t{words[0]} | std::uint64_t{words[1]} << 16 | std::uint64_t{words[2]} << 32 |
           std::uint64_t{words[3]} << 48;
  }
}

inline std::uint32_t lane(std::uint64_t x, int k) { return static_cast<std::uint32_t>(x >> (16 * k)) & 0xFFFFu; }

void draw_plain_tunnel() {
  const std::uint8_t* const window = warp_texel_window;
  const std::uint16_t* const colours = warp_colours;
  const std::uint8_t* const offsets = tunnel_offsets;
  std::uint16_t* const out = second_buffer;
#if defined(__SSE2__)
  // Eight texel indices at once (16-bit lanes wrap by themselves); the
  // eight colours are gathered into a vector and stored together.
  const __m128i scroll = _mm_set1_epi16(static_cast<short>(warp_scroll));
  for (std::uint32_t i = 0; i < effect_pixels; i += 8) {
    const __m128i k = _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(offsets + 2 * i)), scroll);
    __m128i pixels = _mm_cvtsi32_si128(colours[window[_mm_extract_epi16(k, 0)]]);
    pixels = _mm_insert_epi16(pixels, colours[window[_mm_extract_epi16(k, 1)]], 1);
    pixels = _mm_insert_epi16(pixels, colours[window[_mm_extract_epi16(k, 2)]], 2);
    pixels = _mm_insert_epi16(pixels, colours[window[_mm_extract_epi16(k, 3)]], 3);
    pixels = _mm_insert_epi16(pixels, colours[window[_mm_extract_epi16(k, 4)]], 4);
    pixels = _mm_insert_epi16(pixels, colours[window[_mm_extract_epi16(k, 5)]], 5);
    pixels = _mm_insert_epi16(pixels, colours[window[_mm_extract_epi16(k, 6)]], 6);
    pixels = _mm_insert_epi16(pixels, colours[window[_mm_extract_epi16(k, 7)]], 7);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), pixels);
  }
#else
  const std::uint64_t scroll = warp_scroll * lane_ones;
  const std::uint64_t below_top = 0x7FFF * lane_ones;
  const std::uint64_t top_bits = 0x8000 * lane_ones;
  for (std::uint32_t i = 0; i < effect_pixels; i += 4) {
    const std::uint64_t offset = load_four_le(offsets + 2 * i);
    // Four 16-bit sums mod 65536: add the low 15 bits of each lane, then put
    // the top bit in by XOR, so no carry leaves a lane.
    const std::uint64_t k = ((offset & below_top) + (scroll & below_top)) ^ ((offset ^ scroll) & top_bits);
    out[i] = colours[window[lane(k, 0)]];
    out[i + 1] = colours[window[lane(k, 1)]];
    out[i + 2] = colours[window[lane(k, 2)]];
    out[i + 3] = colours[window[lane(k, 3)]];
  }
#endif
}

void draw_distorted_tunnel() {
  const std::uint32_t ph = warp_scroll >> 8;
  const std::uint32_t pl = warp_scroll & 0xFFu;
  // What depends on the offset's low byte el alone is looked up once per
  // frame: inner[el] = sine[el + pl] + pl, the index of a less 2 eh, and
  // column[el] = sine[sine[ph] + el + pl] >> 2, B less eh. The sums wrap as
  // bytes, which is the mod 256 of every sum.
  std::uint8_t inner[256];
  std::uint8_t column[256];
  std::uint8_t sine_eighth[256];
  const std::uint32_t sine_ph = sine_table[ph];
  for (std::uint32_t el = 0; el < 256; ++el) {
    inner[el] = static_cast<std::uint8_t>(sine_table[(el + pl) & 0xFFu] + pl);
    column[el] = static_cast<std::uint8_t>(sine_table[(sine_ph + el + pl) & 0xFFu] >> 2);
    sine_eighth[el] = static_cast<std::uint8_t>(sine_table[el] >> 3);
  }
  const std::uint8_t* const window = warp_texel_window;
  const std::uint16_t* const colours = warp_colours;
  const std::uint8_t* const offsets = tunnel_offsets;
  std::uint16_t* const out = second_buffer;
  const auto pixel = [&](std::uint32_t i) {
    const std::uint8_t el = offsets[2 * i];
    const std::uint8_t eh = offsets[2 * i + 1];
    const auto a_index = static_cast<std::uint8_t>(inner[el] + 2 * eh);
    const auto row = static_cast<std::uint8_t>(sine_eighth[a_index] + 2 * el + eh);  // (a >> 3) + 2 el + eh
    const auto col = static_cast<std::uint8_t>(column[el] + eh);
    return colours[window[static_cast<std::uint32_t>(row) << 8 | col]];
  };
#if defined(__SSE2__)
  // The pass is bound by its table reads: eight colours are gathered into a
  // vector and stored together, which saves seven stores in eight.
  for (std::uint32_t i = 0; i < effect_pixels; i += 8) {
    __m128i pixels = _mm_cvtsi32_si128(pixel(i));
    pixels = _mm_insert_epi16(pixels, pixel(i + 1), 1);
    pixels = _mm_insert_epi16(pixels, pixel(i + 2), 2);
    pixels = _mm_insert_epi16(pixels, pixel(i + 3), 3);
    pixels = _mm_insert_epi16(pixels, pixel(i + 4), 4);
    pixels = _mm_insert_epi16(pixels, pixel(i + 5), 5);
    pixels = _mm_insert_epi16(pixels, pixel(i + 6), 6);
    pixels = _mm_insert_epi16(pixels, pixel(i + 7), 7);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), pixels);
  }
#else
  for (std::uint32_t i = 0; i < effect_pixels; ++i) out[i] = pixel(i);
#endif
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
  const std::uint32_t minus_ph = (0u - ph) & 0xFFu;
  const std::uint16_t* const table = warp_table;
  const std::uint16_t* const colours = warp_colours;
  const std::uint8_t* const window = warp_texel_window;
  std::uint16_t* const out = frame_buffer;
  // The texture row depends only on an entry's low byte, which is the same
  // along a row of the table: it is looked up again only when it changes.
  std::uint32_t current_v = table[0] & 0xFFu;
  std::uint64_t current_v_lanes = current_v * lane_ones;
  const std::uint8_t* texture_row = nullptr;
  const auto set_row = [&](std::uint32_t v) {
    current_v = v;
    current_v_lanes = v * lane_ones;
    texture_row = window + (((sine_table[(v + pl) & 0xFFu] - ph) & 0xFFu) << 8);
  };
  set_row(current_v);
  // Column (0 - (u + ph)) mod 256 as (256 + minus_ph - u) mod 256 in each
  // lane: 256 + minus_ph - u is at least 1, so no lane borrows.
#if defined(__SSE2__)
  const __m128i column_base = _mm_set1_epi16(static_cast<short>(0x100u + minus_ph));
  const __m128i low_bytes = _mm_set1_epi16(0xFF);
  __m128i current_v_vector = _mm_set1_epi16(static_cast<short>(current_v));
  for (std::uint32_t i = 0; i < effect_pixels; i += 8) {
    const __m128i entries = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + i));
    const __m128i same_v = _mm_cmpeq_epi16(_mm_and_si128(entries, low_bytes), current_v_vector);
    if (_mm_movemask_epi8(same_v) != 0xFFFF) {
      // The texture row changes within these eight: pixel by pixel.
      for (std::uint32_t k = 0; k < 8; ++k) {
        const std::uint32_t entry = table[i + k];
        if ((entry & 0xFFu) != current_v) {
          set_row(entry & 0xFFu);
          current_v_vector = _mm_set1_epi16(static_cast<short>(current_v));
        }
        out[i + k] = colours[texture_row[(minus_ph - (entry >> 8)) & 0xFFu]];
      }
      continue;
    }
    const __m128i columns = _mm_and_si128(_mm_sub_epi16(column_base, _mm_srli_epi16(entries, 8)), low_bytes);
    __m128i pixels = _mm_cvtsi32_si128(colours[texture_row[_mm_extract_epi16(columns, 0)]]);
    pixels = _mm_insert_epi16(pixels, colours[texture_row[_mm_extract_epi16(columns, 1)]], 1);
    pixels = _mm_insert_epi16(pixels, colours[texture_row[_mm_extract_epi16(columns, 2)]], 2);
    pixels = _mm_insert_epi16(pixels, colours[texture_row[_mm_extract_epi16(columns, 3)]], 3);
    pixels = _mm_insert_epi16(pixels, colours[texture_row[_mm_extract_epi16(columns, 4)]], 4);
    pixels = _mm_insert_epi16(pixels, colours[texture_row[_mm_extract_epi16(columns, 5)]], 5);
    pixels = _mm_insert_epi16(pixels, colours[texture_row[_mm_extract_epi16(columns, 6)]], 6);
    pixels = _mm_insert_epi16(pixels, colours[texture_row[_mm_extract_epi16(columns, 7)]], 7);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), pixels);
  }
#else
  const std::uint64_t column_base = (0x100u + minus_ph) * lane_ones;
  for (std::uint32_t i = 0; i < effect_pixels; i += 4) {
    const std::uint64_t entries = load_four(table + i);
    if ((entries & lane_low_bytes) != current_v_lanes) {
      // The texture row changes within these four: pixel by pixel.
      for (int k = 0; k < 4; ++k) {
        const std::uint32_t entry = lane(entries, k);
        if ((entry & 0xFFu) != current_v) set_row(entry & 0xFFu);
        out[i + k] = colours[texture_row[(minus_ph - (entry >> 8)) & 0xFFu]];
      }
      continue;
    }
    const std::uint64_t columns = (column_base - ((entries >> 8) & lane_low_bytes)) & lane_low_bytes;
    out[i] = colours[texture_row[lane(columns, 0)]];
    out[i + 1] = colours[texture_row[lane(columns, 1)]];
    out[i + 2] = colours[texture_row[lane(columns, 2)]];
    out[i + 3] = colours[texture_row[lane(columns, 3)]];
  }
#endif
  warp_scroll = static_cast<std::uint16_t>(warp_scroll - 0x0505);
}

void draw_tunnel(TunnelVariant variant) {
  if (variant == tunnel_distorted) {
    draw_distorted_tunnel();
  } else {
    draw_plain_tunnel();
  }
}
