// The additive triangle fill: edges walked in 32.32 fixed point with slopes
// from a reciprocal table, spans added to frame_buffer two pixels per
// 32-bit addition.
//
// Nothing is overwritten: every covered pixel grows by span_colour, with
// carries running from field to field and, inside a pixel pair, from the
// left pixel's red field into the right pixel's blue field.
//
// The fill is a kernel (render3d/kernels.h) whose versions give the same
// pixels. The plain one walks each edge into short_edges and long_edge with
// step_edge and then adds the spans pair by pair. The SSE2 one steps the
// same accumulators (so it gets the same x values) four rows at a time
// straight into a list of spans, then adds eight pixels per step; the AVX2
// one walks eight rows and adds sixteen pixels per step.
#include <bit>
#include <cmath>
#include <cstring>

#include "assets/assets.h"
#include "assets/little_endian.h"
#include "render3d/kernels.h"
#include "render3d/render3d.h"
#include "shell/shell.h"

#if defined(VORNA_SSE2)
#include <emmintrin.h>
#endif
#if defined(VORNA_AVX2)
#include <immintrin.h>
#endif

namespace {

// S rounded to the nearest 64-bit integer, halves to even, as the two's
// complement bit pattern. Only an edge of one row can produce a slope
// beyond the 64-bit range (its slope is never added to a written value),
// so saturating there changes nothing that is drawn.
std::uint64_t slope_to_fixed(double slope) {
  if (slope >= -9223372036854775808.0 && slope < 9223372036854775808.0) {
#if defined(VORNA_SSE2) && defined(__x86_64__)
    // The conversion instruction rounds as llrint does, by the current
    // rounding mode (to nearest, halves to even), without a library call.
    return static_cast<std::uint64_t>(_mm_cvtsd_si64(_mm_set_sd(slope)));
#else
    return static_cast<std::uint64_t>(std::llrint(slope));
#endif
  }
  if (slope > 0.0) {
    return 0x7FFFFFFFFFFFFFFFu;
  }
  if (slope < 0.0) {
    return 0x8000000000000000u;
  }
  return 0;  // NaN: only from an unbuilt table
}

// The 32.32 slope of an edge of dy rows (dy >= 1). Edges longer than the
// reciprocal table take 1 / dy directly: the rule the table follows, so
// the slope is the same as from a longer table. The difference is taken
// exactly: two int32 values differ by less than 2^32, which a double holds.
std::uint64_t edge_slope(std::int32_t xa, std::int32_t xb, std::int64_t dy) {
  const double recip =
      dy <= static_cast<std::int64_t>(recip_table_size) ? recip_table[dy - 1] : 1.0 / static_cast<double>(dy);
  const double dx = static_cast<double>(xb) - static_cast<double>(xa);
  return slope_to_fixed(dx * recip * slope_scale);
}

// xa plus one half in 32.32 fixed point: the accumulator at an edge's
// first row. It wraps modulo 2^64 as it steps.
std::uint64_t edge_start(std::int32_t xa) {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(xa)) << 32 | 0x80000000u;
}

// The edge x of an accumulator: its signed high half, clamped.
std::int32_t edge_x(std::uint64_t accumulator) {
  std::int32_t x = static_cast<std::int32_t>(static_cast<std::uint32_t>(accumulator >> 32));
  x = x < clip_left ? clip_left : x;
  return x > clip_right ? clip_right : x;
}

// The rows of a triangle sorted by y that the fill draws, first .. last - 1,
// inside the clip rows; false when there are none.
bool drawn_rows(std::int32_t y0, std::int32_t y2, std::int32_t& first, std::int32_t& last) {
  if (y0 > clip_bottom || y2 < clip_top) {
    return false;
  }
  first = y0 > clip_top ? y0 : clip_top;
  last = y2 < clip_bottom ? y2 : clip_bottom;
  return last != first;
}

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

// Adds the pair word to w / 2 pixel pairs from `pixels` on, then c to the
// last pixel when w is odd.
void add_span(std::uint16_t* pixels, std::uint32_t w, std::uint32_t c, std::uint32_t pair) {
  for (std::uint32_t pairs = w / 2; pairs > 0; --pairs) {
    store_pair(pixels, load_pair(pixels) + pair);
    pixels += 2;
  }
  if ((w & 1) != 0) {
    pixels[0] = static_cast<std::uint16_t>(pixels[0] + c);
  }
}

#if defined(VORNA_SSE2)

// One edge's walk: step_edge's accumulator and slope.
struct EdgeWalk {
  std::uint64_t accumulator;
  std::uint64_t slope;
};

// The walk of the edge (xa, ya) to (xb, yb) as it stands at row `row`
// (ya <= row): k steps on is the start plus k slopes, modulo 2^64.
EdgeWalk edge_walk_at(std::int32_t xa, std::int32_t xb, std::int32_t ya, std::int32_t yb, std::int32_t row) {
  const std::int64_t dy = static_cast<std::int64_t>(yb) - ya;
  EdgeWalk walk = {edge_start(xa), 0};
  if (dy > 0) {
    walk.slope = edge_slope(xa, xb, dy);
    walk.accumulator += static_cast<std::uint64_t>(static_cast<std::int64_t>(row) - ya) * walk.slope;
  }
  return walk;
}

// What the last, partial group of a span adds, for r = 0..15 pixels left:
// the pair word in the 32-bit lanes of the r / 2 whole pairs, and the
// colour in the 16-bit lane of the lone pixel r - 1 when r is odd. The
// 8-pixel groups use the first 8 lanes of entries 0..7, the 16-pixel
// groups all of them. Made for one colour and kept until the colour
// changes.
struct TailAddends {
  alignas(32) std::uint16_t pairs[16][16];
  alignas(32) std::uint16_t lone[16][16];
};

TailAddends tail_addends;
std::uint32_t tail_colour = 0x10000;  // no colour yet

void prepare_tail_addends(std::uint32_t c) {
  if (c == tail_colour) {
    return;
  }
  for (int r = 0; r < 16; ++r) {
    for (int i = 0; i < 16; ++i) {
      tail_addends.pairs[r][i] = i < (r & ~1) ? static_cast<std::uint16_t>(c) : 0;
      tail_addends.lone[r][i] = (r & 1) != 0 && i == r - 1 ? static_cast<std::uint16_t>(c) : 0;
    }
  }
  tail_colour = c;
}

// The spans of one triangle's drawn rows (at most clip_bottom -
// clip_top), each packed as left | width << 16, with room for the last
// four- or eight-row step.
constexpr std::int32_t max_drawn_rows = clip_bottom - clip_top;
alignas(32) std::uint32_t row_spans[max_drawn_rows + 8];

// Puts the spans of `count` rows between the two walks at `spans` and
// steps both walks past them. Four rows per step: the four accumulators
// of each edge in two registers, their high halves (the x values)
// gathered, saturated to 16 bits and clamped (the same as clamping the
// 32-bit values, since both steps keep the order and clip_left ..
// clip_right lies inside 16 bits), then the left ends and widths.
// The bits of an unsigned 64-bit edge position as the signed lane value the
// intrinsics take (positions wrap modulo 2^64 on purpose).
inline long long lane_bits(std::uint64_t value) { return static_cast<long long>(value); }

void walk_spans(std::uint32_t* spans, std::int32_t count, EdgeWalk& short_walk, EdgeWalk& long_walk) {
  const __m128i left_clip = _mm_set1_epi16(static_cast<short>(clip_left));
  const __m128i right_clip = _mm_set1_epi16(static_cast<short>(clip_right));
  const std::uint64_t s = short_walk.slope, l = long_walk.slope;
  std::uint64_t short_x = short_walk.accumulator, long_x = long_walk.accumulator;
  __m128i short01 = _mm_set_epi64x(lane_bits(short_x + s), lane_bits(short_x));
  __m128i short23 = _mm_add_epi64(short01, _mm_set1_epi64x(lane_bits(2 * s)));
  __m128i long01 = _mm_set_epi64x(lane_bits(long_x + l), lane_bits(long_x));
  __m128i long23 = _mm_add_epi64(long01, _mm_set1_epi64x(lane_bits(2 * l)));
  const __m128i short_step = _mm_set1_epi64x(lane_bits(4 * s));
  const __m128i long_step = _mm_set1_epi64x(lane_bits(4 * l));
  for (std::int32_t k = 0; k < count; k += 4) {
    const __m128i a =
        _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(short01), _mm_castsi128_ps(short23), _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128i b =
        _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(long01), _mm_castsi128_ps(long23), _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128i ab = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(a, b), left_clip), right_clip);
    const __m128i ba = _mm_shuffle_epi32(ab, _MM_SHUFFLE(1, 0, 3, 2));
    const __m128i left = _mm_min_epi16(ab, ba);
    const __m128i width = _mm_sub_epi16(_mm_max_epi16(ab, ba), left);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(spans + k), _mm_unpacklo_epi16(left, width));
    short01 = _mm_add_epi64(short01, short_step);
    short23 = _mm_add_epi64(short23, short_step);
    long01 = _mm_add_epi64(long01, long_step);
    long23 = _mm_add_epi64(long23, long_step);
  }
  short_walk.accumulator = short_x + static_cast<std::uint64_t>(count) * s;
  long_walk.accumulator = long_x + static_cast<std::uint64_t>(count) * l;
}

#if defined(VORNA_AVX2)
// walk_spans eight rows per step, for CPUs with AVX2: the same
// accumulators, so the same spans. Within each 128-bit half the steps
// work as in walk_spans, on rows 0, 1, 4, 5 in the low half and 2, 3, 6,
// 7 in the high half; one 64-bit permute puts the rows in order.
VORNA_TARGET_AVX2 void walk_spans_avx2(std::uint32_t* spans, std::int32_t count, EdgeWalk& short_walk,
                                       EdgeWalk& long_walk) {
  const __m256i left_clip = _mm256_set1_epi16(static_cast<short>(clip_left));
  const __m256i right_clip = _mm256_set1_epi16(static_cast<short>(clip_right));
  const std::uint64_t s = short_walk.slope, l = long_walk.slope;
  const std::uint64_t short_x = short_walk.accumulator, long_x = long_walk.accumulator;
  __m256i short0123 = _mm256_set_epi64x(lane_bits(short_x + 3 * s), lane_bits(short_x + 2 * s), lane_bits(short_x + s),
                                        lane_bits(short_x));
  __m256i short4567 = _mm256_add_epi64(short0123, _mm256_set1_epi64x(lane_bits(4 * s)));
  __m256i long0123 =
      _mm256_set_epi64x(lane_bits(long_x + 3 * l), lane_bits(long_x + 2 * l), lane_bits(long_x + l), lane_bits(long_x));
  __m256i long4567 = _mm256_add_epi64(long0123, _mm256_set1_epi64x(lane_bits(4 * l)));
  const __m256i short_step = _mm256_set1_epi64x(lane_bits(8 * s));
  const __m256i long_step = _mm256_set1_epi64x(lane_bits(8 * l));
  for (std::int32_t k = 0; k < count; k += 8) {
    const __m256i a = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(short0123), _mm256_castsi256_ps(short4567), _MM_SHUFFLE(3, 1, 3, 1)));
    const __m256i b = _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(long0123), _mm256_castsi256_ps(long4567), _MM_SHUFFLE(3, 1, 3, 1)));
    const __m256i ab = _mm256_min_epi16(_mm256_max_epi16(_mm256_packs_epi32(a, b), left_clip), right_clip);
    const __m256i ba = _mm256_shuffle_epi32(ab, _MM_SHUFFLE(1, 0, 3, 2));
    const __m256i left = _mm256_min_epi16(ab, ba);
    const __m256i width = _mm256_sub_epi16(_mm256_max_epi16(ab, ba), left);
    const __m256i rows = _mm256_permute4x64_epi64(_mm256_unpacklo_epi16(left, width), _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(spans + k), rows);
    short0123 = _mm256_add_epi64(short0123, short_step);
    short4567 = _mm256_add_epi64(short4567, short_step);
    long0123 = _mm256_add_epi64(long0123, long_step);
    long4567 = _mm256_add_epi64(long4567, long_step);
  }
  short_walk.accumulator = short_x + static_cast<std::uint64_t>(count) * s;
  long_walk.accumulator = long_x + static_cast<std::uint64_t>(count) * l;
}
#endif

// Adds the pair word along `count` spans, one per row from `row` on.
// Eight pixels per step: the 32-bit lanes of a little-endian load are
// exactly the pairs, counted from the span's left end. The last group of
// every span (0 to 7 pixels, also for an empty span) is added under the
// tail addends: whole pairs in 32-bit lanes, the lone pixel in a 16-bit
// lane so that its carry is lost, zero elsewhere. That group may read up
// to 7 pixels past the span and writes them back unchanged; spans end at
// column 318 of row 198 at the latest, so those pixels are still inside
// the 320 x 200 frame.
void add_spans(std::uint16_t* row, const std::uint32_t* spans, std::int32_t count, std::uint32_t pair) {
  const __m128i pair8 = _mm_set1_epi32(static_cast<int>(pair));
  for (std::int32_t k = 0; k < count; ++k, row += screen_width) {
    const std::uint32_t w = spans[k] >> 16;
    std::uint16_t* pixels = row + (spans[k] & 0xFFFFu);
    // The last group first, so that its address does not wait for the
    // loop; it shares no pixel with the whole groups.
    std::uint16_t* const last = pixels + (w & ~7u);
    const std::uint32_t rest = w % 8;
    __m128i* at = reinterpret_cast<__m128i*>(last);
    const __m128i pairs = _mm_load_si128(reinterpret_cast<const __m128i*>(tail_addends.pairs[rest]));
    const __m128i lone = _mm_load_si128(reinterpret_cast<const __m128i*>(tail_addends.lone[rest]));
    _mm_storeu_si128(at, _mm_add_epi16(_mm_add_epi32(_mm_loadu_si128(at), pairs), lone));
    for (; pixels != last; pixels += 8) {
      __m128i* group = reinterpret_cast<__m128i*>(pixels);
      _mm_storeu_si128(group, _mm_add_epi32(_mm_loadu_si128(group), pair8));
    }
  }
}

#if defined(VORNA_AVX2)
// add_spans sixteen pixels per step, for CPUs with AVX2: half the loads
// and stores of a wide span, and no loop step at all for the many spans
// under 16 pixels. The 32-bit lanes are the pairs as before, and the
// last group (0 to 15 pixels) takes the whole tail addends. It may read
// up to 15 pixels past the span and writes them back unchanged; a span
// ends at column 318 of row 198 at the latest, and 15 pixels on is still
// row 199 of the frame.
VORNA_TARGET_AVX2 void add_spans_avx2(std::uint16_t* row, const std::uint32_t* spans, std::int32_t count,
                                      std::uint32_t pair) {
  const __m256i pair16 = _mm256_set1_epi32(static_cast<int>(pair));
  for (std::int32_t k = 0; k < count; ++k, row += screen_width) {
    const std::uint32_t w = spans[k] >> 16;
    std::uint16_t* pixels = row + (spans[k] & 0xFFFFu);
    // The last group first, as in add_spans.
    std::uint16_t* const last = pixels + (w & ~15u);
    const std::uint32_t rest = w % 16;
    __m256i* at = reinterpret_cast<__m256i*>(last);
    const __m256i pairs = _mm256_load_si256(reinterpret_cast<const __m256i*>(tail_addends.pairs[rest]));
    const __m256i lone = _mm256_load_si256(reinterpret_cast<const __m256i*>(tail_addends.lone[rest]));
    _mm256_storeu_si256(at, _mm256_add_epi16(_mm256_add_epi32(_mm256_loadu_si256(at), pairs), lone));
    for (; pixels != last; pixels += 16) {
      __m256i* group = reinterpret_cast<__m256i*>(pixels);
      _mm256_storeu_si256(group, _mm256_add_epi32(_mm256_loadu_si256(group), pair16));
    }
  }
}
#endif

// The span fill of a triangle sorted by y, with the given edge walk and
// span adds (the SSE2 or the AVX2 pair).
template <void (*walk)(std::uint32_t*, std::int32_t, EdgeWalk&, EdgeWalk&),
          void (*add)(std::uint16_t*, const std::uint32_t*, std::int32_t, std::uint32_t)>
void fill_with_spans(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                     std::int32_t y2) {
  std::int32_t first = 0, last = 0;
  if (!drawn_rows(y0, y2, first, last)) {
    return;
  }
  const std::uint32_t c = span_colour & 0xFFFFu;
  const std::uint32_t pair = c << 16 | c;
  std::uint16_t* const row = frame_buffer + static_cast<std::uint32_t>(first) * screen_width;
  // Rows first .. split - 1 lie along the edge from vertex 0 to vertex 1,
  // rows split .. last - 1 along the edge from vertex 1 to vertex 2.
  prepare_tail_addends(c);
  const std::int32_t split = y1 < first ? first : (y1 > last ? last : y1);
  EdgeWalk long_walk = edge_walk_at(x0, x2, y0, y2, first);
  // Both short edges are set up even if one has no drawn rows: the three
  // slope computations then overlap instead of waiting on branches.
  EdgeWalk upper = edge_walk_at(x0, x1, y0, y1, first);
  EdgeWalk lower = edge_walk_at(x1, x2, y1, y2, split);
  if (split > first) {
    walk(row_spans, split - first, upper, long_walk);
  }
  if (last > split) {
    walk(row_spans + (split - first), last - split, lower, long_walk);
  }
  add(row, row_spans, last - first, pair);
}

#endif

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
  const std::uint64_t slope = edge_slope(xa, xb, dy);
  std::uint64_t accumulator = edge_start(xa);
  for (std::int64_t k = 0; k < dy; ++k) {
    *position++ = edge_x(accumulator);
    accumulator += slope;
  }
  return position;
}

void fill_triangle() {
  fill_triangle_at(triangle_x[0], triangle_y[0], triangle_x[1], triangle_y[1], triangle_x[2], triangle_y[2]);
}

void fill_triangle_at(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                      std::int32_t y2) {
  // Sorted by y through three compare-exchanges, each exchanging only when
  // the first y is greater (so equal ys keep their order). Written as
  // selects rather than branches: which corner is highest is anyone's guess.
  auto order = [](std::int32_t& xa, std::int32_t& ya, std::int32_t& xb, std::int32_t& yb) {
    const bool exchange = ya > yb;
    const std::int32_t x_high = exchange ? xb : xa, y_high = exchange ? yb : ya;
    const std::int32_t x_low = exchange ? xa : xb, y_low = exchange ? ya : yb;
    xa = x_high;
    ya = y_high;
    xb = x_low;
    yb = y_low;
  };
  order(x0, y0, x1, y1);
  order(x1, y1, x2, y2);
  order(x0, y0, x1, y1);  // a no-op unless the second step exchanged
  triangle_x[0] = x0;
  triangle_x[1] = x1;
  triangle_x[2] = x2;
  triangle_y[0] = y0;
  triangle_y[1] = y1;
  triangle_y[2] = y2;

  // Sorted, so the unsigned difference is the true height; it also keeps
  // every later row count inside the edge tables.
  if (static_cast<std::uint32_t>(y2) - static_cast<std::uint32_t>(y0) >
      static_cast<std::uint32_t>(max_triangle_height)) {
    return;
  }
  render3d_kernels.fill_sorted_triangle(x0, y0, x1, y1, x2, y2);
}

// --- The kernels -------------------------------------------------------------

void fill_sorted_triangle_plain(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                std::int32_t y2) {
  std::int32_t* const short_end = step_edge(x0, x1, y0, y1, short_edges);
  step_edge(x1, x2, y1, y2, short_end);
  step_edge(x0, x2, y0, y2, long_edge);
  std::int32_t first = 0, last = 0;
  if (!drawn_rows(y0, y2, first, last)) {
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

#if defined(VORNA_SSE2)
void fill_sorted_triangle_sse2(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                               std::int32_t y2) {
  fill_with_spans<walk_spans, add_spans>(x0, y0, x1, y1, x2, y2);
}
#endif

#if defined(VORNA_AVX2)
void fill_sorted_triangle_avx2(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                               std::int32_t y2) {
  fill_with_spans<walk_spans_avx2, add_spans_avx2>(x0, y0, x1, y1, x2, y2);
}
#endif
