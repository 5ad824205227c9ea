// The noise-and-blur pass: asset bytes added to the frame as noise, then an
// in-place three-tap horizontal filter that turns the blue field into grey.
//
// The filter is a serial chain: each pixel's left neighbour is the value the
// filter has just written. With c_i = 2 a_i + b_i (a the pixel's blue, b its
// right neighbour's, before filtering) each result is
//   v_i = (c_i + v_(i-1)) >> 2,
// and nested floors fold, floor((x + floor(y / 4)) / 4) = floor((4x + y) / 16),
// so four steps from a known v_0 are
//   v_j = (64 c_j + 16 c_(j-1) + 4 c_(j-2) + c_(j-3) [terms of this group only]
//          + 4^(4-j) v_0) >> 8,          j = 1 .. 4 within a group of four.
// The sums need no more than 7936, so a group fits 16-bit lanes; only the
// last value of each group is carried from group to group. The noise and
// the filter are kernels (fx2d/kernels.h).
#include "assets/assets.h"
#include "fx2d/fx2d.h"
#include "fx2d/kernels.h"
#include "shell/shell.h"

#if defined(VORNA_SSE2)
#include <emmintrin.h>
#endif

namespace {

inline constexpr std::uint32_t frame_bytes_total = 2 * effect_pixels;  // 128000
inline constexpr std::uint32_t noise_window_start = 65052;             // the module's first byte in the window
inline constexpr std::uint32_t noise_scroll_step = 768;
inline constexpr std::uint32_t first_filtered = 321;   // row 1, column 1
inline constexpr std::uint32_t last_filtered = 63680;  // row 199, column 0
// The vector loops take whole blocks: 16 bytes of noise, 8 filtered pixels.
static_assert(frame_bytes_total % 16 == 0 && (last_filtered + 1 - first_filtered) % 8 == 0);

}  // namespace

void blur_frame() {
  const std::uint32_t start = (noise_window_start + noise_scroll) & 0xFFFFu;
  fx2d_kernels.add_noise(reinterpret_cast<std::uint8_t*>(frame_buffer), noise_window + start);
  noise_scroll = static_cast<std::uint16_t>(noise_scroll + noise_scroll_step);
  fx2d_kernels.blur_filter(frame_buffer);
}

// --- The kernels -------------------------------------------------------------

void add_noise_plain(std::uint8_t* frame, const std::uint8_t* noise) {
  for (std::uint32_t k = 0; k < frame_bytes_total; ++k)
    frame[k] = static_cast<std::uint8_t>(frame[k] + (noise[k] >> 5));
}

void blur_filter_plain(std::uint16_t* pixels) {
  std::uint32_t v = pixels[first_filtered - 1] & 31u;  // pixel 320 as the noise left it
  for (std::uint32_t i = first_filtered; i <= last_filtered; ++i) {
    const std::uint32_t a = pixels[i] & 31u;
    const std::uint32_t b = pixels[i + 1] & 31u;
    v = (2 * a + b + v) >> 2;
    pixels[i] = grey_pixel(v);
  }
}

#if defined(VORNA_SSE2)
void add_noise_sse2(std::uint8_t* frame, const std::uint8_t* noise) {
  const __m128i low_three = _mm_set1_epi8(7);
  for (std::uint32_t k = 0; k < frame_bytes_total; k += 16) {
    const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(noise + k));
    // Bytes shifted in 16-bit lanes: the mask drops the bits that crossed over.
    const __m128i add = _mm_and_si128(_mm_srli_epi16(n, 5), low_three);
    __m128i* out = reinterpret_cast<__m128i*>(frame + k);
    _mm_storeu_si128(out, _mm_add_epi8(_mm_loadu_si128(out), add));
  }
}

void blur_filter_sse2(std::uint16_t* pixels) {
  std::uint32_t v = pixels[first_filtered - 1] & 31u;  // pixel 320 as the noise left it
  const __m128i blue_mask = _mm_set1_epi16(31);
  const __m128i carried_weights = _mm_setr_epi16(64, 16, 4, 1, 64, 16, 4, 1);
  const __m128i grey = _mm_set1_epi16(0x0841);  // v << 11 | 2v << 5 | v for v <= 31
  // Eight pixels, two groups of four, a round; the count 63360 is a
  // multiple of 8. Pixels i .. i + 8 are still unfiltered when read.
  for (std::uint32_t i = first_filtered; i + 8 <= last_filtered + 1; i += 8) {
    const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i)), blue_mask);
    const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + i + 1)), blue_mask);
    const __m128i c = _mm_add_epi16(_mm_add_epi16(a, a), b);
    // A 64-bit lane shift moves each 16-bit lane up by one within its group
    // of four and lets zeros in at the group's start.
    __m128i y = _mm_slli_epi64(c, 16);
    y = _mm_add_epi16(y, _mm_slli_epi16(c, 2));
    y = _mm_slli_epi64(y, 16);
    y = _mm_add_epi16(y, _mm_slli_epi16(c, 4));
    y = _mm_slli_epi64(y, 16);
    y = _mm_add_epi16(y, _mm_slli_epi16(c, 6));
    // The chain: the last value of each group from the one before.
    const std::uint32_t v_first = v;
    const std::uint32_t v_second = (static_cast<std::uint32_t>(_mm_extract_epi16(y, 3)) + v_first) >> 8;
    v = (static_cast<std::uint32_t>(_mm_extract_epi16(y, 7)) + v_second) >> 8;
    __m128i carried = _mm_cvtsi32_si128(static_cast<int>(v_first | v_second << 16));
    carried = _mm_unpacklo_epi16(carried, carried);
    carried = _mm_unpacklo_epi32(carried, carried);
    const __m128i sums = _mm_add_epi16(y, _mm_mullo_epi16(carried, carried_weights));
    const __m128i level = _mm_srli_epi16(sums, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + i), _mm_mullo_epi16(level, grey));
  }
}
#endif
