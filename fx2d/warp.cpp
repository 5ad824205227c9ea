// The lookup-table effects: the wave warp over a plane seen in perspective,
// and the tunnel in a plain and a sine-distorted variant. The texture is read
// through the 64 KiB texel window of the doubled texture, so a 16-bit texel
// index needs no masking or wrap test.
//
// Every pixel of these effects ends in the same two lookups, texel then
// colour. The texture never changes after start-up, so build_warp_table
// converts it through warp_colours once (texel_colours below) and the
// effects make one lookup instead of two. Each effect then works a row at a
// time in two steps: first the row's texel indices are computed into the
// row of the output image, several at a time, then each index is replaced
// by its colour in place. The row is still in the cache for the second step.
// The index steps are kernels (fx2d/kernels.h), with SSE2 and AVX2 versions.
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "assets/assets.h"
#include "assets/little_endian.h"
#include "fx2d/fx2d.h"
#include "fx2d/kernels.h"
#include "shell/shell.h"

#if defined(VORNA_SSE2)
#include <emmintrin.h>
#endif
#if defined(VORNA_AVX2)
#include <immintrin.h>
#endif

namespace {

// Holds the table if the heap cannot give its block (zero-filled, like the
// heap block).
alignas(16) std::uint16_t reserve_table[warp_table_bytes / 2];

// The RGB565 colour of texel k (0..65535): warp_colours of texel window byte
// k. Filled by convert_warp_texture.
alignas(64) std::uint16_t texel_colours[65536];

// For the distorted tunnel, per frame: the texel index of every tunnel
// offset, at entry el << 8 | eh for the offset's low byte el and high byte
// eh (the offset with its bytes exchanged, so that each run of 256 entries
// shares one el).
alignas(64) std::uint16_t distorted_texels[65536];

// The loops take whole blocks of sixteen pixels.
static_assert(effect_width % 16 == 0);

// Replaces each of the 320 indices in row by lookup[index]. Four colours
// are written as one 64-bit word: with one store per four pixels the loads
// from the lookup table seldom wait on a pending store, which is what bounds
// a pixel-by-pixel loop here. The indices are read one by one, which costs
// a load each but no arithmetic to take them apart.
void look_up_row(std::uint16_t* row, const std::uint16_t* lookup) {
  if constexpr (std::endian::native == std::endian::little) {
    for (std::uint32_t c = 0; c < effect_width; c += 4) {
      const std::uint64_t pixels = std::uint64_t{lookup[row[c]]} | std::uint64_t{lookup[row[c + 1]]} << 16 |
                                   std::uint64_t{lookup[row[c + 2]]} << 32 | std::uint64_t{lookup[row[c + 3]]} << 48;
      std::memcpy(row + c, &pixels, sizeof pixels);
    }
  } else {
    for (std::uint32_t c = 0; c < effect_width; ++c) row[c] = lookup[row[c]];
  }
}

// The same through two tables: row[c] = second[first[row[c]]].
void look_up_row_twice(std::uint16_t* row, const std::uint16_t* first, const std::uint16_t* second) {
  if constexpr (std::endian::native == std::endian::little) {
    for (std::uint32_t c = 0; c < effect_width; c += 4) {
      const std::uint64_t pixels =
          std::uint64_t{second[first[row[c]]]} | std::uint64_t{second[first[row[c + 1]]]} << 16 |
          std::uint64_t{second[first[row[c + 2]]]} << 32 | std::uint64_t{second[first[row[c + 3]]]} << 48;
      std::memcpy(row + c, &pixels, sizeof pixels);
    }
  } else {
    for (std::uint32_t c = 0; c < effect_width; ++c) row[c] = second[first[row[c]]];
  }
}

// The texel row that table row v reads at this scroll.
inline std::uint32_t warp_texture_row(std::uint32_t v, std::uint32_t ph, std::uint32_t pl) {
  return (sine_table[(v + pl) & 0xFFu] - ph) & 0xFFu;
}

void draw_plain_tunnel() {
  for (std::uint32_t r = 0; r < effect_height; ++r) {
    std::uint16_t* const out = second_buffer + r * effect_width;
    fx2d_kernels.tunnel_row_indices(tunnel_offsets + 2 * r * effect_width, warp_scroll, false, out);
    look_up_row(out, texel_colours);
  }
}

// Fills distorted_texels for this frame's scroll. For offset bytes el (low)
// and eh (high), all sums modulo 256:
//   a = sine[el + pl] + pl + 2 eh,  row = (sine[a] >> 3) + 2 el + eh,
//   column = (sine[sine[ph] + el + pl] >> 2) + eh,  texel = row << 8 | column.
// For one el, a steps by 2 with eh, so sine[a] >> 3 runs along the even or
// the odd entries of the table from a starting point q = sine[el + pl] + pl:
// a contiguous run of the table below (even entries, then odd entries, each
// set repeated so that any run of 256 from any start stays inside), and the
// 256 entries of one el come out 16 (SSE2) or 32 (AVX2) at a time.
void fill_distorted_texels(std::uint32_t ph, std::uint32_t pl) {
  constexpr std::uint32_t run = 128 + 256;  // start 0..127, then 256 entries
  alignas(16) std::uint8_t sine_eighths[2 * run];
  for (std::uint32_t j = 0; j < run; ++j) {
    sine_eighths[j] = static_cast<std::uint8_t>(sine_table[(2 * j) & 0xFFu] >> 3);
    sine_eighths[run + j] = static_cast<std::uint8_t>(sine_table[(2 * j + 1) & 0xFFu] >> 3);
  }
  const std::uint32_t sine_ph = sine_table[ph];
  for (std::uint32_t el = 0; el < 256; ++el) {
    const std::uint32_t q = (sine_table[(el + pl) & 0xFFu] + pl) & 0xFFu;
    const std::uint8_t* const eighths = sine_eighths + (q & 1u) * run + (q >> 1);
    const std::uint32_t column_base = sine_table[(sine_ph + el + pl) & 0xFFu] >> 2;
    fx2d_kernels.fill_distorted_run(eighths, el, column_base, distorted_texels + (el << 8));
  }
}

void draw_distorted_tunnel() {
  fill_distorted_texels(warp_scroll >> 8, warp_scroll & 0xFFu);
  for (std::uint32_t r = 0; r < effect_height; ++r) {
    std::uint16_t* const out = second_buffer + r * effect_width;
    fx2d_kernels.tunnel_row_indices(tunnel_offsets + 2 * r * effect_width, 0, true, out);
    look_up_row_twice(out, distorted_texels, texel_colours);
  }
  warp_scroll = static_cast<std::uint16_t>(warp_scroll + 0x0A0A);
}

}  // namespace

void convert_warp_texture() {
  for (std::uint32_t k = 0; k < 65536; ++k) texel_colours[k] = warp_colours[warp_texel_window[k]];
}

void build_warp_table() {
  if (warp_table == nullptr) {
    warp_table = new (std::nothrow) std::uint16_t[warp_table_bytes / 2]();
    if (warp_table == nullptr) warp_table = reserve_table;
  }
  convert_palette(warp_palette, warp_colours);
  convert_warp_texture();

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
  for (std::uint32_t r = 0; r < effect_height; ++r) {
    const std::uint16_t* const entries = warp_table + r * effect_width;
    std::uint16_t* const out = frame_buffer + r * effect_width;
    const std::uint32_t v = entries[0] & 0xFFu;
    if (fx2d_kernels.warp_row_columns(entries, v, minus_ph, out)) {
      look_up_row(out, texel_colours + (warp_texture_row(v, ph, pl) << 8));
    } else {
      // A row whose entries name several texture rows: pixel by pixel.
      for (std::uint32_t c = 0; c < effect_width; ++c) {
        const std::uint32_t row = warp_texture_row(entries[c] & 0xFFu, ph, pl);
        out[c] = texel_colours[row << 8 | out[c]];
      }
    }
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

// --- The kernels -------------------------------------------------------------

bool warp_row_columns_plain(const std::uint16_t* entries, std::uint32_t v, std::uint32_t minus_ph, std::uint16_t* out) {
  std::uint32_t other_rows = 0;
  for (std::uint32_t c = 0; c < effect_width; ++c) {
    other_rows |= (entries[c] & 0xFFu) ^ v;
    out[c] = static_cast<std::uint16_t>((minus_ph - (entries[c] >> 8)) & 0xFFu);
  }
  return other_rows == 0;
}

void tunnel_row_indices_plain(const std::uint8_t* offsets, std::uint32_t add, bool swap, std::uint16_t* out) {
  for (std::uint32_t c = 0; c < effect_width; ++c) {
    const std::uint32_t k = (read_le16(offsets + 2 * c) + add) & 0xFFFFu;
    out[c] = static_cast<std::uint16_t>(swap ? (k & 0xFFu) << 8 | k >> 8 : k);
  }
}

void fill_distorted_run_plain(const std::uint8_t* eighths, std::uint32_t el, std::uint32_t column_base,
                              std::uint16_t* texels) {
  for (std::uint32_t eh = 0; eh < 256; ++eh) {
    const std::uint32_t row = (eighths[eh] + 2 * el + eh) & 0xFFu;
    texels[eh] = static_cast<std::uint16_t>(row << 8 | ((column_base + eh) & 0xFFu));
  }
}

#if defined(VORNA_SSE2)
bool warp_row_columns_sse2(const std::uint16_t* entries, std::uint32_t v, std::uint32_t minus_ph, std::uint16_t* out) {
  // (256 + minus_ph - u) is at least 1, so no 16-bit lane borrows.
  const __m128i column_base = _mm_set1_epi16(static_cast<short>(0x100u + minus_ph));
  const __m128i low_bytes = _mm_set1_epi16(0xFF);
  const __m128i row_v = _mm_set1_epi16(static_cast<short>(v));
  // The low bytes of entry XOR v gather in other_rows (the high bytes too,
  // masked off at the end).
  __m128i other_rows = _mm_setzero_si128();
  for (std::uint32_t c = 0; c < effect_width; c += 8) {
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entries + c));
    other_rows = _mm_or_si128(other_rows, _mm_xor_si128(e, row_v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c),
                     _mm_and_si128(_mm_sub_epi16(column_base, _mm_srli_epi16(e, 8)), low_bytes));
  }
  other_rows = _mm_and_si128(other_rows, low_bytes);
  return _mm_movemask_epi8(_mm_cmpeq_epi8(other_rows, _mm_setzero_si128())) == 0xFFFF;
}

void tunnel_row_indices_sse2(const std::uint8_t* offsets, std::uint32_t add, bool swap, std::uint16_t* out) {
  const __m128i to_add = _mm_set1_epi16(static_cast<short>(add));
  for (std::uint32_t c = 0; c < effect_width; c += 8) {
    __m128i k = _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(offsets + 2 * c)), to_add);
    if (swap) k = _mm_or_si128(_mm_slli_epi16(k, 8), _mm_srli_epi16(k, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), k);
  }
}

void fill_distorted_run_sse2(const std::uint8_t* eighths, std::uint32_t el, std::uint32_t column_base,
                             std::uint16_t* texels) {
  // Byte lanes wrap by themselves; the low byte (column) and the high byte
  // (row) of each entry are interleaved into 16-bit words on the store.
  const __m128i lane = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m128i sixteen = _mm_set1_epi8(16);
  __m128i row_add = _mm_add_epi8(_mm_set1_epi8(static_cast<char>(2 * el)), lane);  // 2 el + eh
  __m128i column = _mm_add_epi8(_mm_set1_epi8(static_cast<char>(column_base)), lane);
  for (std::uint32_t eh = 0; eh < 256; eh += 16) {
    const __m128i row = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(eighths + eh)), row_add);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(texels + eh), _mm_unpacklo_epi8(column, row));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(texels + eh + 8), _mm_unpackhi_epi8(column, row));
    row_add = _mm_add_epi8(row_add, sixteen);
    column = _mm_add_epi8(column, sixteen);
  }
}
#endif

#if defined(VORNA_AVX2)
// The same, 16 pixels at a time.
VORNA_TARGET_AVX2 bool warp_row_columns_avx2(const std::uint16_t* entries, std::uint32_t v, std::uint32_t minus_ph,
                                             std::uint16_t* out) {
  const __m256i column_base = _mm256_set1_epi16(static_cast<short>(0x100u + minus_ph));
  const __m256i low_bytes = _mm256_set1_epi16(0xFF);
  const __m256i row_v = _mm256_set1_epi16(static_cast<short>(v));
  __m256i other_rows = _mm256_setzero_si256();
  for (std::uint32_t c = 0; c < effect_width; c += 16) {
    const __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(entries + c));
    other_rows = _mm256_or_si256(other_rows, _mm256_xor_si256(e, row_v));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c),
                        _mm256_and_si256(_mm256_sub_epi16(column_base, _mm256_srli_epi16(e, 8)), low_bytes));
  }
  return _mm256_testz_si256(other_rows, low_bytes) != 0;
}

VORNA_TARGET_AVX2 void tunnel_row_indices_avx2(const std::uint8_t* offsets, std::uint32_t add, bool swap,
                                               std::uint16_t* out) {
  const __m256i to_add = _mm256_set1_epi16(static_cast<short>(add));
  for (std::uint32_t c = 0; c < effect_width; c += 16) {
    __m256i k = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets + 2 * c)), to_add);
    if (swap) k = _mm256_or_si256(_mm256_slli_epi16(k, 8), _mm256_srli_epi16(k, 8));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), k);
  }
}

// 32 entries at a time: bytes unpack within each 128-bit half, and the
// halves are put back in order before the store.
VORNA_TARGET_AVX2 void fill_distorted_run_avx2(const std::uint8_t* eighths, std::uint32_t el, std::uint32_t column_base,
                                               std::uint16_t* texels) {
  const __m256i lane = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                        22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
  const __m256i thirty_two = _mm256_set1_epi8(32);
  __m256i row_add = _mm256_add_epi8(_mm256_set1_epi8(static_cast<char>(2 * el)), lane);  // 2 el + eh
  __m256i column = _mm256_add_epi8(_mm256_set1_epi8(static_cast<char>(column_base)), lane);
  for (std::uint32_t eh = 0; eh < 256; eh += 32) {
    const __m256i row = _mm256_add_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(eighths + eh)), row_add);
    const __m256i low = _mm256_unpacklo_epi8(column, row);   // entries 0-7 and 16-23
    const __m256i high = _mm256_unpackhi_epi8(column, row);  // entries 8-15 and 24-31
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(texels + eh), _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(texels + eh + 16), _mm256_permute2x128_si256(low, high, 0x31));
    row_add = _mm256_add_epi8(row_add, thirty_two);
    column = _mm256_add_epi8(column, thirty_two);
  }
}
#endif
