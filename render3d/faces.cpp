// Face set-up: integer depth keys, the far-to-near sort, screen rejection
// and the hand-over of each visible triangle to the fill.
//
// Faces address their vertices by byte offset (index x 12) so that one
// offset reaches the camera-space Point3 and the ScreenPoint of a vertex.
#include <cstring>

#include "render3d/kernels.h"
#include "render3d/render3d.h"

#if defined(VORNA_SSE2)
#include <emmintrin.h>
#endif
#if defined(VORNA_AVX2)
#include <immintrin.h>
#endif

namespace {

// The field at byte offset `offset` + `field` of a 12-byte vertex array,
// read as its raw 32-bit pattern.
std::uint32_t vertex_word(const void* vertices, std::uint32_t offset, std::uint32_t field) {
  std::uint32_t word;
  std::memcpy(&word, static_cast<const unsigned char*>(vertices) + offset + field, sizeof word);
  return word;
}

std::int32_t screen_x(const ScreenPoint* screen, std::uint32_t offset) {
  return static_cast<std::int32_t>(vertex_word(screen, offset, 0));
}

std::int32_t screen_y(const ScreenPoint* screen, std::uint32_t offset) {
  return static_cast<std::int32_t>(vertex_word(screen, offset, 4));
}

// Lists up to this long may be sorted by rank; the work grows with the
// square of the length.
constexpr std::uint32_t rank_limit = 128;

#if defined(VORNA_SSE2)
alignas(32) std::int32_t rank_keys[rank_limit];
std::uint32_t ranks[rank_limit];
DepthEntry ranked[rank_limit];

// Lane m of the result: the sum of the four lanes of greater_m.
__m128i add_across(__m128i greater0, __m128i greater1, __m128i greater2, __m128i greater3) {
  const __m128i low01 = _mm_unpacklo_epi32(greater0, greater1), high01 = _mm_unpackhi_epi32(greater0, greater1);
  const __m128i low23 = _mm_unpacklo_epi32(greater2, greater3), high23 = _mm_unpackhi_epi32(greater2, greater3);
  const __m128i sums01 = _mm_add_epi32(low01, high01), sums23 = _mm_add_epi32(low23, high23);
  return _mm_add_epi32(_mm_unpacklo_epi64(sums01, sums23), _mm_unpackhi_epi64(sums01, sums23));
}

// ranks[i] = the number of rank_keys[0 .. padded - 1] greater than
// rank_keys[i], for i < padded (a multiple of 8): four keys against four
// at a time.
void count_greater(std::uint32_t padded) {
  const __m128i* const keys = reinterpret_cast<const __m128i*>(rank_keys);
  for (std::uint32_t i = 0; i < padded; i += 4) {
    const __m128i four = keys[i / 4];
    const __m128i key0 = _mm_shuffle_epi32(four, _MM_SHUFFLE(0, 0, 0, 0));
    const __m128i key1 = _mm_shuffle_epi32(four, _MM_SHUFFLE(1, 1, 1, 1));
    const __m128i key2 = _mm_shuffle_epi32(four, _MM_SHUFFLE(2, 2, 2, 2));
    const __m128i key3 = _mm_shuffle_epi32(four, _MM_SHUFFLE(3, 3, 3, 3));
    __m128i greater0 = _mm_setzero_si128(), greater1 = greater0, greater2 = greater0, greater3 = greater0;
    for (std::uint32_t j = 0; j < padded / 4; ++j) {
      const __m128i other = keys[j];  // a lane that compares greater is -1
      greater0 = _mm_sub_epi32(greater0, _mm_cmpgt_epi32(other, key0));
      greater1 = _mm_sub_epi32(greater1, _mm_cmpgt_epi32(other, key1));
      greater2 = _mm_sub_epi32(greater2, _mm_cmpgt_epi32(other, key2));
      greater3 = _mm_sub_epi32(greater3, _mm_cmpgt_epi32(other, key3));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ranks + i), add_across(greater0, greater1, greater2, greater3));
  }
}

#if defined(VORNA_AVX2)
// The low and high 128-bit halves of g added lane by lane.
VORNA_TARGET_AVX2 __m128i add_halves(__m256i g) {
  return _mm_add_epi32(_mm256_castsi256_si128(g), _mm256_extracti128_si256(g, 1));
}

// count_greater eight keys a compare, for CPUs with AVX2.
VORNA_TARGET_AVX2 void count_greater_avx2(std::uint32_t padded) {
  const __m256i* const keys = reinterpret_cast<const __m256i*>(rank_keys);
  for (std::uint32_t i = 0; i < padded; i += 4) {
    const __m256i key0 = _mm256_set1_epi32(rank_keys[i]);
    const __m256i key1 = _mm256_set1_epi32(rank_keys[i + 1]);
    const __m256i key2 = _mm256_set1_epi32(rank_keys[i + 2]);
    const __m256i key3 = _mm256_set1_epi32(rank_keys[i + 3]);
    __m256i greater0 = _mm256_setzero_si256(), greater1 = greater0, greater2 = greater0, greater3 = greater0;
    for (std::uint32_t j = 0; j < padded / 8; ++j) {
      const __m256i other = _mm256_load_si256(keys + j);
      greater0 = _mm256_sub_epi32(greater0, _mm256_cmpgt_epi32(other, key0));
      greater1 = _mm256_sub_epi32(greater1, _mm256_cmpgt_epi32(other, key1));
      greater2 = _mm256_sub_epi32(greater2, _mm256_cmpgt_epi32(other, key2));
      greater3 = _mm256_sub_epi32(greater3, _mm256_cmpgt_epi32(other, key3));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ranks + i), add_across(add_halves(greater0), add_halves(greater1),
                                                                       add_halves(greater2), add_halves(greater3)));
  }
}
#endif

// When no two keys are equal there is only one descending order, and the
// quicksort leaves exactly that; it can then be had without the
// quicksort's unpredictable branches: every entry moves to the position
// given by the number of keys greater than its own. A tie shows in the
// counts themselves: n different keys make n(n - 1) / 2 greater-than
// pairs, any tie fewer. Returns false, with depth_list untouched, when two
// keys are equal (the quicksort must then give the order of its own
// steps). n is 2 .. 128. count_greater fills ranks for the padded list.
bool sort_by_rank(std::uint32_t n, void (*count_greater)(std::uint32_t padded)) {
  const std::uint32_t padded = (n + 7) & ~7u;
  for (std::uint32_t k = 0; k < n; ++k) {
    rank_keys[k] = depth_list[k].key;
  }
  for (std::uint32_t k = n; k < padded; ++k) {
    rank_keys[k] = INT32_MIN;  // greater than no key, so counted nowhere
  }
  count_greater(padded);
  std::uint32_t pairs = 0;
  for (std::uint32_t k = 0; k < n; ++k) {
    pairs += ranks[k];
  }
  if (pairs != n * (n - 1) / 2) {
    return false;
  }
  for (std::uint32_t k = 0; k < n; ++k) {
    ranked[ranks[k]] = depth_list[k];
  }
  std::memcpy(depth_list, ranked, n * sizeof(DepthEntry));
  return true;
}
#endif

}  // namespace

void convert_face_list(std::uint32_t* words, std::uint32_t count) {
  for (std::uint32_t k = 0; k < count; ++k) {
    words[k] *= static_cast<std::uint32_t>(sizeof(Point3));
  }
}

void compute_face_keys(std::uint32_t n, const Face* faces, const Point3* camera) {
  if (n > depth_list_capacity) {
    n = depth_list_capacity;
  }
  for (std::uint32_t k = 0; k < n; ++k) {
    // For positive z the IEEE-754 pattern grows with z, so the sum of the
    // three patterns orders faces by depth without a float comparison. The
    // sum wraps modulo 2^32 (hence unsigned) and is then read as signed.
    const Face& face = faces[k];
    const std::uint32_t sum = vertex_word(camera, face.vertex[0], 8) + vertex_word(camera, face.vertex[1], 8) +
                              vertex_word(camera, face.vertex[2], 8);
    depth_list[k].key = static_cast<std::int32_t>(sum);
    depth_list[k].face = &face;
  }
}

// Hoare-partition quicksort into descending key order. Equal keys end up in
// whatever order these exact steps give; the fill's pairwise additions make
// that order visible where sums overflow, so the steps must not change.
// Recursion goes into the left part only; the right part is a loop.
void sort_range(std::int32_t lo, std::int32_t hi) {
  // Only indices inside the depth list are ever looked at.
  lo = lo < 0 ? 0 : lo;
  hi = hi >= static_cast<std::int32_t>(depth_list_capacity) ? static_cast<std::int32_t>(depth_list_capacity) - 1 : hi;
  if (lo >= hi) {
    return;
  }
  for (;;) {
    std::int32_t i = lo;
    std::int32_t j = hi;
    const std::int32_t p = depth_list[(lo + hi) / 2].key;
    do {
      while (depth_list[i].key > p) {
        ++i;
      }
      while (p > depth_list[j].key) {
        --j;
      }
      if (i <= j) {
        const DepthEntry swap = depth_list[i];
        depth_list[i] = depth_list[j];
        depth_list[j] = swap;
        ++i;
        --j;
      }
    } while (i <= j);
    if (lo < j) {
      sort_range(lo, j);
    }
    if (i >= hi) {
      return;
    }
    lo = i;
  }
}

void sort_faces(std::uint32_t n) {
  if (n > depth_list_capacity) {
    n = depth_list_capacity;
  }
  if (n <= 1) {
    return;
  }
  if (n <= rank_limit && render3d_kernels.rank_faces(n)) {
    return;
  }
  sort_range(0, static_cast<std::int32_t>(n - 1));
}

bool reject_face(const Face& face, const ScreenPoint* screen) {
  const std::int32_t x0 = screen_x(screen, face.vertex[0]);
  const std::int32_t x1 = screen_x(screen, face.vertex[1]);
  const std::int32_t x2 = screen_x(screen, face.vertex[2]);
  const std::int32_t y0 = screen_y(screen, face.vertex[0]);
  const std::int32_t y1 = screen_y(screen, face.vertex[1]);
  const std::int32_t y2 = screen_y(screen, face.vertex[2]);
  if (x0 <= 0 && x1 <= 0 && x2 <= 0) {
    return true;
  }
  if (x0 >= 319 && x1 >= 319 && x2 >= 319) {
    return true;
  }
  if (y0 >= 199 && y1 >= 199 && y2 >= 199) {
    return true;
  }
  return y0 <= 0 && y1 <= 0 && y2 <= 0;
}

void draw_faces(std::uint32_t n, const Face* faces, const Point3* camera, const ScreenPoint* screen) {
  if (n > depth_list_capacity) {
    n = depth_list_capacity;
  }
  compute_face_keys(n, faces, camera);
  sort_faces(n);
  for (std::uint32_t k = 0; k < n; ++k) {
    const Face& face = *depth_list[k].face;
    if (reject_face(face, screen)) {
      continue;
    }
    // Passed straight in: reading triangle_x/triangle_y back right after
    // storing them would stall on the stores.
    fill_triangle_at(screen_x(screen, face.vertex[0]), screen_y(screen, face.vertex[0]),
                     screen_x(screen, face.vertex[1]), screen_y(screen, face.vertex[1]),
                     screen_x(screen, face.vertex[2]), screen_y(screen, face.vertex[2]));
  }
}

// --- The kernels -------------------------------------------------------------

bool rank_faces_plain(std::uint32_t) { return false; }

#if defined(VORNA_SSE2)
bool rank_faces_sse2(std::uint32_t n) { return sort_by_rank(n, count_greater); }
#endif

#if defined(VORNA_AVX2)
bool rank_faces_avx2(std::uint32_t n) { return sort_by_rank(n, count_greater_avx2); }
#endif
