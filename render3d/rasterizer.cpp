// The additive triangle fill: edges walked in 32.32 fixed point with slopes
// from a reciprocal table, spans added to frame_buffer two pixels per
// 32-bit addition.
//
// Nothing is overwritten: every covered pixel grows by span_colour, with
// carries running from field to field and, inside a pixel pair, from the
// left pixel's red field into the right pixel's blue field.
#include <bit>
#include <cmath>
#include <cstring>

#include "demo/assets.h"
#include "render3d/render3d.h"
#include "shell/shell.h"

#if defined(VORNA_RENDER3D_SSE2)
#include <emmintrin.h>
#endif

namespace {

// S rounded to the nearest 64-bit integer, halves to even, as the two's
// complement bit pattern. Only an edge of one row can produce a slope
// beyond the 64-bit range (its slope is never added to a written value),
// so saturating there changes nothing that is drawn.
std::uint64_t slope_to_fixed(double slope) {
  if (slope >= -9223372036854775808.0 && slope < 9223372036854775808.0) {
    return static_cast<std::uint64_t>(std::llrint(slope));
  }
  if (slope > 0.0) {
    return 0x7FFFFFFFFFFFFFFFu;
  }
  if (slope < 0.0) {
    return 0x8000000000000000u;
  }
  return 0;  // NaN: only from an unbuilt table
}

#if !defined(VORNA_RENDER3D_SSE2)
// One pixel pair as a 32-bit word, the left pixel in the low half.
std::uint32_t load_pair(const std::uint16_t* pixels) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t word;
    std::memcpy(&word, pixels, sizeof word);
    return word;
  } else {
    return static_cast<std::uint32_t>(pixels[0]) | static_cast<std::uint32_t>(pixels[1]) << 16;
  }
}

void store_pair(std::uint16_t* pixels, std::uint32_t word) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(pixels, &word, sizeof word);
  } else {
    pixels[0] = static_cast<std::uint16_t>(word);
    pixels[1] = static_cast<std::uint16_t>(word >> 16);
  }
}
#endif

#if defined(VORNA_RENDER3D_SSE2)
// For the last r pixels of a span (r = 0..7) within one 8-pixel group:
// span_pair_lanes selects the r / 2 whole pairs, span_lone_lane the lone
// pixel r - 1 when r is odd.
struct SpanMasks {
  alignas(16) std::uint16_t pair_lanes[8][8];
  alignas(16) std::uint16_t lone_lane[8][8];
};

constexpr SpanMasks make_span_masks() {
  SpanMasks masks{};
  for (int r = 0; r < 8; ++r) {
    for (int i = 0; i < 8; ++i) {
      masks.pair_lanes[r][i] = i < (r & ~1) ? 0xFFFF : 0;
      masks.lone_lane[r][i] = (r & 1) != 0 && i == r - 1 ? 0xFFFF : 0;
    }
  }
  return masks;
}

constexpr SpanMasks span_masks = make_span_masks();
#endif

// Adds the pair word to w / 2 pixel pairs from `pixels` on, then c to the
// last pixel when w is odd.
void add_span(std::uint16_t* pixels, std::uint32_t w, std::uint32_t c, std::uint32_t pair) {
#if defined(VORNA_RENDER3D_SSE2)
  // Eight pixels per step: the 32-bit lanes of a little-endian load are
  // exactly the pairs, counted from the span's left end. The last, partial
  // group is added under a mask: whole pairs in 32-bit lanes, the lone
  // pixel in a 16-bit lane so that its carry is lost. That group may read
  // up to 7 pixels past the span and write them back unchanged; spans end
  // at column 318 of row 198 at the latest, so those pixels are still
  // inside the 320 x 200 frame.
  const __m128i pair8 = _mm_set1_epi32(static_cast<int>(pair));
  for (std::uint32_t groups = w / 8; groups > 0; --groups) {
    __m128i* at = reinterpret_cast<__m128i*>(pixels);
    _mm_storeu_si128(at, _mm_add_epi32(_mm_loadu_si128(at), pair8));
    pixels += 8;
  }
  const std::uint32_t rest = w % 8;
  if (rest != 0) {
    const __m128i pairs = _mm_and_si128(pair8, _mm_load_si128(reinterpret_cast<const __m128i*>(span_masks.pair_lanes[rest])));
    const __m128i lone = _mm_and_si128(_mm_set1_epi16(static_cast<short>(c)),
                                       _mm_load_si128(reinterpret_cast<const __m128i*>(span_masks.lone_lane[rest])));
    __m128i* at = reinterpret_cast<__m128i*>(pixels);
    _mm_storeu_si128(at, _mm_add_epi16(_mm_add_epi32(_mm_loadu_si128(at), pairs), lone));
  }
#else
  for (std::uint32_t pairs = w / 2; pairs > 0; --pairs) {
    store_pair(pixels, load_pair(pixels) + pair);
    pixels += 2;
  }
  if ((w & 1) != 0) {
    pixels[0] = static_cast<std::uint16_t>(pixels[0] + c);
  }
#endif
}

std::uint32_t read_le32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Resolves demo_object from the stored record, whose two 32-bit fields
// are the block offsets of the vertex and face lists, and turns the stored
// vertex indices into byte offsets. Done once per process: a second pass
// would multiply the offsets again and send the faces outside the vertex
// arrays. A record that points outside the block leaves demo_object null,
// and draw_object then draws nothing.
void prepare_demo_object() {
  if (demo_object.faces != nullptr) {
    return;
  }
  const std::uint32_t vertices_at = read_le32(stored_demo_object);
  const std::uint32_t faces_at = read_le32(stored_demo_object + 4);
  const std::uint32_t vertex_bytes = object_vertex_count * sizeof(Point3);
  const std::uint32_t face_bytes = object_face_count * sizeof(Face);
  if (vertices_at > asset_block_size - vertex_bytes || faces_at > asset_block_size - face_bytes) {
    return;
  }
  std::uint8_t* vertices = asset_block + vertices_at;
  std::uint8_t* faces = asset_block + faces_at;
  if (reinterpret_cast<std::uintptr_t>(vertices) % alignof(Point3) != 0 ||
      reinterpret_cast<std::uintptr_t>(faces) % alignof(Face) != 0) {
    return;
  }
  demo_object.vertices = reinterpret_cast<Point3*>(vertices);
  demo_object.faces = reinterpret_cast<Face*>(faces);
  convert_face_list(demo_object.faces[0].vertex, object_face_count * 3);
}

}  // namespace

void build_reciprocal_table() {
  slope_scale = 4294967295.0;
  for (std::uint32_t n = 1; n <= recip_table_size; ++n) {
    recip_table[n - 1] = 1.0 / static_cast<double>(n);
  }
  prepare_demo_object();
}

std::int32_t* step_edge(std::int32_t xa, std::int32_t xb, std::int32_t ya, std::int32_t yb, std::int32_t* position) {
  const std::int64_t dy = static_cast<std::int64_t>(yb) - ya;
  if (dy <= 0) {
    return position;
  }
  // Edges longer than the table take 1 / n directly: the rule the table
  // follows, so the slope is the same as from a longer table.
  const double recip =
      dy <= static_cast<std::int64_t>(recip_table_size) ? recip_table[dy - 1] : 1.0 / static_cast<double>(dy);
  // The difference is taken exactly: two int32 values always differ by
  // less than 2^32, which a double holds.
  const double dx = static_cast<double>(xb) - static_cast<double>(xa);
  const std::uint64_t slope = slope_to_fixed(dx * recip * slope_scale);
  // xa plus one half in 32.32 fixed point; it wraps modulo 2^64 as it steps.
  std::uint64_t accumulator = static_cast<std::uint64_t>(static_cast<std::uint32_t>(xa)) << 32 | 0x80000000u;
  std::int64_t k = 0;
#if defined(VORNA_RENDER3D_SSE2)
  // Four rows per step: two 64-bit accumulators per register, their high
  // halves gathered into four x values and clamped with compares (SSE2
  // has no 32-bit min and max).
  if (dy >= 4) {
    __m128i rows01 = _mm_set_epi64x(static_cast<long long>(accumulator + slope), static_cast<long long>(accumulator));
    __m128i rows23 = _mm_add_epi64(rows01, _mm_set1_epi64x(static_cast<long long>(2 * slope)));
    const __m128i step4 = _mm_set1_epi64x(static_cast<long long>(4 * slope));
    const __m128i right = _mm_set1_epi32(clip_right);
    const __m128i left = _mm_set1_epi32(clip_left);
    for (; k + 4 <= dy; k += 4) {
      __m128i x = _mm_castps_si128(
          _mm_shuffle_ps(_mm_castsi128_ps(rows01), _mm_castsi128_ps(rows23), _MM_SHUFFLE(3, 1, 3, 1)));
      const __m128i below = _mm_cmplt_epi32(x, left);
      x = _mm_or_si128(_mm_and_si128(below, left), _mm_andnot_si128(below, x));
      const __m128i above = _mm_cmpgt_epi32(x, right);
      x = _mm_or_si128(_mm_and_si128(above, right), _mm_andnot_si128(above, x));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(position), x);
      position += 4;
      rows01 = _mm_add_epi64(rows01, step4);
      rows23 = _mm_add_epi64(rows23, step4);
    }
    accumulator += static_cast<std::uint64_t>(k) * slope;
  }
#endif
  for (; k < dy; ++k) {
    std::int32_t x = static_cast<std::int32_t>(static_cast<std::uint32_t>(accumulator >> 32));
    x = x < clip_left ? clip_left : x;
    x = x > clip_right ? clip_right : x;
    *position++ = x;
    accumulator += slope;
  }
  return position;
}

void fill_triangle() {
  std::int32_t* const tx = triangle_x;
  std::int32_t* const ty = triangle_y;
  auto exchange = [&](int a, int b) {
    const std::int32_t x = tx[a], y = ty[a];
    tx[a] = tx[b];
    ty[a] = ty[b];
    tx[b] = x;
    ty[b] = y;
  };
  if (ty[0] > ty[1]) {
    exchange(0, 1);
  }
  if (ty[1] > ty[2]) {
    exchange(1, 2);
    if (ty[0] > ty[1]) {
      exchange(0, 1);
    }
  }
  const std::int32_t x0 = tx[0], x1 = tx[1], x2 = tx[2];
  const std::int32_t y0 = ty[0], y1 = ty[1], y2 = ty[2];

  // Sorted, so the unsigned difference is the true height; it also keeps
  // every later row count inside the edge tables.
  if (static_cast<std::uint32_t>(y2) - static_cast<std::uint32_t>(y0) > static_cast<std::uint32_t>(max_triangle_height)) {
    return;
  }
  std::int32_t* const short_end = step_edge(x0, x1, y0, y1, short_edges);
  step_edge(x1, x2, y1, y2, short_end);
  step_edge(x0, x2, y0, y2, long_edge);

  if (y0 > clip_bottom || y2 < clip_top) {
    return;
  }
  const std::int32_t first = y0 > clip_top ? y0 : clip_top;
  const std::int32_t last = y2 < clip_bottom ? y2 : clip_bottom;
  if (last == first) {
    return;
  }
  const std::uint32_t c = span_colour & 0xFFFFu;
  const std::uint32_t pair = c << 16 | c;
  std::uint16_t* row = frame_buffer + static_cast<std::uint32_t>(first) * screen_width;
  for (std::int32_t r = first; r < last; ++r, row += screen_width) {
    const std::int32_t e = r - y0;
    const std::int32_t a = short_edges[e];
    const std::int32_t b = long_edge[e];
    if (a == b) {
      continue;
    }
    const std::int32_t left = a < b ? a : b;
    const std::int32_t right = a < b ? b : a;
    add_span(row + left, static_cast<std::uint32_t>(right - left), c, pair);
  }
}
