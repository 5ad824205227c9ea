// Whole-frame passes that mix the scenes' layers: the mask fade, the
// cross-blend with second_buffer, the 32-bit fills and the picture copies.
// The fade and the blend work per field with saturation. Each pass is a
// kernel (fx2d/kernels.h).
//
// The vector versions keep red and blue in one 16-bit lane as two bytes:
// after AND 0xF81F the high byte holds red in its top five bits and the low
// byte holds blue in its low five, so byte-wise saturating arithmetic
// treats both fields at once, and a byte-wise minimum with 0xF8 / 0x1F
// clamps both sums (a red sum of 32 or more saturates its byte to 0xFF).
// Green (AND 0x07E0) uses 16-bit lanes. The AVX2 fade and blend take 16
// pixels a step in the same way.
#include <algorithm>

#include "assets/assets.h"
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

// The vector loops take whole blocks of 16 pixels.
static_assert(effect_pixels % 16 == 0);

inline std::uint32_t saturating_sub(std::uint32_t x, std::uint32_t y) { return x > y ? x - y : 0; }

#if defined(VORNA_SSE2)
inline __m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void store(void* p, __m128i x) { _mm_storeu_si128(static_cast<__m128i*>(p), x); }

// d of eight pixels as byte-wise red/blue amounts and as a green amount.
inline __m128i darken(__m128i p, __m128i d) {
  const __m128i red_blue = _mm_set1_epi16(static_cast<short>(0xF81F));
  const __m128i green = _mm_set1_epi16(0x07E0);
  const __m128i eighth = _mm_srli_epi16(d, 3);
  const __m128i red_blue_amount = _mm_or_si128(eighth, _mm_slli_epi16(eighth, 11));
  const __m128i green_amount = _mm_and_si128(_mm_slli_epi16(d, 3), green);  // (d >> 2) << 5
  const __m128i rb = _mm_subs_epu8(_mm_and_si128(p, red_blue), red_blue_amount);
  const __m128i g = _mm_subs_epu16(_mm_and_si128(p, green), green_amount);
  return _mm_or_si128(rb, g);
}
#endif

#if defined(VORNA_AVX2)
// The same for 16 pixels.
VORNA_TARGET_AVX2 inline __m256i darken_avx2(__m256i p, __m256i d) {
  const __m256i red_blue = _mm256_set1_epi16(static_cast<short>(0xF81F));
  const __m256i green = _mm256_set1_epi16(0x07E0);
  const __m256i eighth = _mm256_srli_epi16(d, 3);
  const __m256i red_blue_amount = _mm256_or_si256(eighth, _mm256_slli_epi16(eighth, 11));
  const __m256i green_amount = _mm256_and_si256(_mm256_slli_epi16(d, 3), green);  // (d >> 2) << 5
  const __m256i rb = _mm256_subs_epu8(_mm256_and_si256(p, red_blue), red_blue_amount);
  const __m256i g = _mm256_subs_epu16(_mm256_and_si256(p, green), green_amount);
  return _mm256_or_si256(rb, g);
}
#endif

}  // namespace

void fade_through_mask(std::uint8_t level) { fx2d_kernels.fade_through_mask(frame_buffer, mask_picture, level); }

void cross_blend(std::uint32_t weight, BlendForm form) {
  const std::uint32_t w = std::min<std::uint32_t>(weight, 32);
  const std::uint32_t w1 = form == blend_full ? w : w >> 1;
  const std::uint32_t w2 = form == blend_full ? 32 - w : (32 - w) >> 1;
  // Lowering a field by its maximum or more empties it, so the amounts can
  // be cut to the fields' widths (a weight of 32 lowers by 32 and 64).
  const BlendAmounts amounts = {std::min<std::uint32_t>(w1, 31), std::min<std::uint32_t>(2 * w1, 63),
                                std::min<std::uint32_t>(w2, 31), std::min<std::uint32_t>(2 * w2, 63)};
  fx2d_kernels.cross_blend(frame_buffer, second_buffer, amounts);
}

void fill_frame(std::uint32_t pattern) { fx2d_kernels.fill_frame(frame_buffer, pattern); }

void copy_picture_shifted(const std::uint8_t* picture, std::uint32_t shift) {
  fx2d_kernels.copy_picture_shifted(frame_buffer, picture, std::min<std::uint32_t>(shift, 8));
}

void copy_picture_keyed(const std::uint8_t* picture) { fx2d_kernels.copy_picture_keyed(frame_buffer, picture); }

// --- The kernels -------------------------------------------------------------

void fade_through_mask_plain(std::uint16_t* pixels, const std::uint8_t* mask, std::uint8_t level) {
  for (std::uint32_t i = 0; i < effect_pixels; ++i) {
    const std::uint32_t d = saturating_sub((256u - mask[i]) & 0xFFu, level);
    const std::uint16_t p = pixels[i];
    pixels[i] = merge_pixel(saturating_sub(pixel_red(p), d >> 3), saturating_sub(pixel_green(p), d >> 2),
                            saturating_sub(pixel_blue(p), d >> 3));
  }
}

void cross_blend_plain(std::uint16_t* pixels, const std::uint16_t* other, const BlendAmounts& amounts) {
  for (std::uint32_t i = 0; i < effect_pixels; ++i) {
    const std::uint16_t f = pixels[i];
    const std::uint16_t o = other[i];
    const std::uint32_t red =
        saturating_sub(pixel_red(f), amounts.frame_rb) + saturating_sub(pixel_red(o), amounts.other_rb);
    const std::uint32_t grn =
        saturating_sub(pixel_green(f), amounts.frame_g) + saturating_sub(pixel_green(o), amounts.other_g);
    const std::uint32_t blue =
        saturating_sub(pixel_blue(f), amounts.frame_rb) + saturating_sub(pixel_blue(o), amounts.other_rb);
    pixels[i] = merge_pixel(std::min<std::uint32_t>(red, 31), std::min<std::uint32_t>(grn, 63),
                            std::min<std::uint32_t>(blue, 31));
  }
}

void fill_frame_plain(std::uint16_t* pixels, std::uint32_t pattern) {
  const auto low = static_cast<std::uint16_t>(pattern);
  const auto high = static_cast<std::uint16_t>(pattern >> 16);
  for (std::uint32_t i = 0; i < effect_pixels; i += 2) {
    pixels[i] = low;
    pixels[i + 1] = high;
  }
}

void copy_picture_shifted_plain(std::uint16_t* pixels, const std::uint8_t* picture, std::uint32_t shift) {
  for (std::uint32_t i = 0; i < effect_pixels; ++i) pixels[i] = static_cast<std::uint16_t>(picture[i] >> shift);
}

void copy_picture_keyed_plain(std::uint16_t* pixels, const std::uint8_t* picture) {
  for (std::uint32_t i = 0; i < effect_pixels; ++i) {
    if (picture[i] != 0) pixels[i] = picture[i];
  }
}

#if defined(VORNA_SSE2)
void fade_through_mask_sse2(std::uint16_t* pixels, const std::uint8_t* mask, std::uint8_t level) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i levels = _mm_set1_epi8(static_cast<char>(level));
  for (std::uint32_t i = 0; i < effect_pixels; i += 16) {
    // (256 - m) mod 256, less the level, saturating at 0.
    const __m128i d = _mm_subs_epu8(_mm_sub_epi8(zero, load(mask + i)), levels);
    store(pixels + i, darken(load(pixels + i), _mm_unpacklo_epi8(d, zero)));
    store(pixels + i + 8, darken(load(pixels + i + 8), _mm_unpackhi_epi8(d, zero)));
  }
}

void cross_blend_sse2(std::uint16_t* pixels, const std::uint16_t* other, const BlendAmounts& amounts) {
  const __m128i red_blue = _mm_set1_epi16(static_cast<short>(0xF81F));
  const __m128i green = _mm_set1_epi16(0x07E0);
  const __m128i frame_rb_amount = _mm_set1_epi16(static_cast<short>(amounts.frame_rb << 11 | amounts.frame_rb));
  const __m128i frame_g_amount = _mm_set1_epi16(static_cast<short>(amounts.frame_g << 5));
  const __m128i other_rb_amount = _mm_set1_epi16(static_cast<short>(amounts.other_rb << 11 | amounts.other_rb));
  const __m128i other_g_amount = _mm_set1_epi16(static_cast<short>(amounts.other_g << 5));
  for (std::uint32_t i = 0; i < effect_pixels; i += 8) {
    const __m128i f = load(pixels + i);
    const __m128i o = load(other + i);
    const __m128i rb = _mm_min_epu8(_mm_adds_epu8(_mm_subs_epu8(_mm_and_si128(f, red_blue), frame_rb_amount),
                                                  _mm_subs_epu8(_mm_and_si128(o, red_blue), other_rb_amount)),
                                    red_blue);
    const __m128i g = _mm_min_epi16(_mm_add_epi16(_mm_subs_epu16(_mm_and_si128(f, green), frame_g_amount),
                                                  _mm_subs_epu16(_mm_and_si128(o, green), other_g_amount)),
                                    green);
    store(pixels + i, _mm_or_si128(rb, g));
  }
}

void fill_frame_sse2(std::uint16_t* pixels, std::uint32_t pattern) {
  const __m128i pairs = _mm_set1_epi32(static_cast<int>(pattern));
  for (std::uint32_t i = 0; i < effect_pixels; i += 8) store(pixels + i, pairs);
}

void copy_picture_shifted_sse2(std::uint16_t* pixels, const std::uint8_t* picture, std::uint32_t shift) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
  for (std::uint32_t i = 0; i < effect_pixels; i += 16) {
    const __m128i bytes = load(picture + i);
    store(pixels + i, _mm_srl_epi16(_mm_unpacklo_epi8(bytes, zero), count));
    store(pixels + i + 8, _mm_srl_epi16(_mm_unpackhi_epi8(bytes, zero), count));
  }
}

void copy_picture_keyed_sse2(std::uint16_t* pixels, const std::uint8_t* picture) {
  const __m128i zero = _mm_setzero_si128();
  const auto merge = [](__m128i old, __m128i fresh, __m128i keep_words) {
    return _mm_or_si128(_mm_and_si128(keep_words, old), _mm_andnot_si128(keep_words, fresh));
  };
  for (std::uint32_t i = 0; i < effect_pixels; i += 16) {
    const __m128i bytes = load(picture + i);
    const __m128i keep = _mm_cmpeq_epi8(bytes, zero);  // 0xFF under a 0 byte
    store(pixels + i, merge(load(pixels + i), _mm_unpacklo_epi8(bytes, zero), _mm_unpacklo_epi8(keep, keep)));
    store(pixels + i + 8, merge(load(pixels + i + 8), _mm_unpackhi_epi8(bytes, zero), _mm_unpackhi_epi8(keep, keep)));
  }
}
#endif

#if defined(VORNA_AVX2)
VORNA_TARGET_AVX2 void fade_through_mask_avx2(std::uint16_t* pixels, const std::uint8_t* mask, std::uint8_t level) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i levels = _mm_set1_epi8(static_cast<char>(level));
  for (std::uint32_t i = 0; i < effect_pixels; i += 16) {
    const __m128i d =
        _mm_subs_epu8(_mm_sub_epi8(zero, _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i))), levels);
    __m256i* at = reinterpret_cast<__m256i*>(pixels + i);
    _mm256_storeu_si256(at, darken_avx2(_mm256_loadu_si256(at), _mm256_cvtepu8_epi16(d)));
  }
}

VORNA_TARGET_AVX2 void cross_blend_avx2(std::uint16_t* pixels, const std::uint16_t* other,
                                        const BlendAmounts& amounts) {
  const __m256i red_blue = _mm256_set1_epi16(static_cast<short>(0xF81F));
  const __m256i green = _mm256_set1_epi16(0x07E0);
  const __m256i frame_rb_amount = _mm256_set1_epi16(static_cast<short>(amounts.frame_rb << 11 | amounts.frame_rb));
  const __m256i frame_g_amount = _mm256_set1_epi16(static_cast<short>(amounts.frame_g << 5));
  const __m256i other_rb_amount = _mm256_set1_epi16(static_cast<short>(amounts.other_rb << 11 | amounts.other_rb));
  const __m256i other_g_amount = _mm256_set1_epi16(static_cast<short>(amounts.other_g << 5));
  for (std::uint32_t i = 0; i < effect_pixels; i += 16) {
    __m256i* at = reinterpret_cast<__m256i*>(pixels + i);
    const __m256i f = _mm256_loadu_si256(at);
    const __m256i o = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(other + i));
    const __m256i rb =
        _mm256_min_epu8(_mm256_adds_epu8(_mm256_subs_epu8(_mm256_and_si256(f, red_blue), frame_rb_amount),
                                         _mm256_subs_epu8(_mm256_and_si256(o, red_blue), other_rb_amount)),
                        red_blue);
    const __m256i g = _mm256_min_epi16(_mm256_add_epi16(_mm256_subs_epu16(_mm256_and_si256(f, green), frame_g_amount),
                                                        _mm256_subs_epu16(_mm256_and_si256(o, green), other_g_amount)),
                                       green);
    _mm256_storeu_si256(at, _mm256_or_si256(rb, g));
  }
}
#endif
