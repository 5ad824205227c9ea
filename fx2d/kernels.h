// fx2d's kernel table: the inner loops that have vector versions, one
// entry each, filled from the run's vector level (cpu/vector_level.h) by
// fx2d/kernels.cpp. Internal to fx2d: the passes of fx2d.h call through
// the table and nothing else chooses between versions.
//
// Every kernel has a plain version; the SSE2 and AVX2 versions, where they
// exist, give its results bit for bit. Pixels are RGB565 words as in
// fx2d.h; every kernel works on whole 320 x 200 images or whole 320-pixel
// rows.
#pragma once

#include <cstdint>

#include "cpu/vector_level.h"

// What cross_blend lowers each field by: the frame's and second_buffer's
// red and blue (0..31) and green (0..63) amounts.
struct BlendAmounts {
  std::uint32_t frame_rb;
  std::uint32_t frame_g;
  std::uint32_t other_rb;
  std::uint32_t other_g;
};

struct Fx2dKernels {
  // warp.cpp. Writes the column indices (minus_ph - u) mod 256 of one warp
  // table row into out and tells whether every entry of the row has the
  // texture row v in its low byte.
  bool (*warp_row_columns)(const std::uint16_t* entries, std::uint32_t v, std::uint32_t minus_ph, std::uint16_t* out);
  // Writes the 320 tunnel offsets read from offsets (two bytes each,
  // little-endian, any alignment) plus add (mod 65536) into out; with
  // swap, each sum has its two bytes exchanged.
  void (*tunnel_row_indices)(const std::uint8_t* offsets, std::uint32_t add, bool swap, std::uint16_t* out);
  // The 256 distorted-tunnel texels of one low offset byte el:
  // texels[eh] = ((eighths[eh] + 2 el + eh) mod 256) << 8 | (column_base + eh) mod 256.
  void (*fill_distorted_run)(const std::uint8_t* eighths, std::uint32_t el, std::uint32_t column_base,
                             std::uint16_t* texels);
  // blur.cpp. Byte k of the 128000-byte frame += noise byte k >> 5, wrapping
  // within the byte.
  void (*add_noise)(std::uint8_t* frame, const std::uint8_t* noise);
  // The three-tap grey filter over pixels 321 .. 63680, in place.
  void (*blur_filter)(std::uint16_t* pixels);
  // blend.cpp: the passes of the same names in fx2d.h, on the given images.
  void (*fade_through_mask)(std::uint16_t* pixels, const std::uint8_t* mask, std::uint8_t level);
  void (*cross_blend)(std::uint16_t* pixels, const std::uint16_t* other, const BlendAmounts& amounts);
  void (*fill_frame)(std::uint16_t* pixels, std::uint32_t pattern);
  void (*copy_picture_shifted)(std::uint16_t* pixels, const std::uint8_t* picture, std::uint32_t shift);
  void (*copy_picture_keyed)(std::uint16_t* pixels, const std::uint8_t* picture);
};

// Main thread only; holds the plain kernels until the table's fill has run
// (during static initialization).
extern Fx2dKernels fx2d_kernels;

// The versions, level by level.
bool warp_row_columns_plain(const std::uint16_t* entries, std::uint32_t v, std::uint32_t minus_ph, std::uint16_t* out);
void tunnel_row_indices_plain(const std::uint8_t* offsets, std::uint32_t add, bool swap, std::uint16_t* out);
void fill_distorted_run_plain(const std::uint8_t* eighths, std::uint32_t el, std::uint32_t column_base,
                              std::uint16_t* texels);
void add_noise_plain(std::uint8_t* frame, const std::uint8_t* noise);
void blur_filter_plain(std::uint16_t* pixels);
void fade_through_mask_plain(std::uint16_t* pixels, const std::uint8_t* mask, std::uint8_t level);
void cross_blend_plain(std::uint16_t* pixels, const std::uint16_t* other, const BlendAmounts& amounts);
void fill_frame_plain(std::uint16_t* pixels, std::uint32_t pattern);
void copy_picture_shifted_plain(std::uint16_t* pixels, const std::uint8_t* picture, std::uint32_t shift);
void copy_picture_keyed_plain(std::uint16_t* pixels, const std::uint8_t* picture);

#if defined(VORNA_SSE2)
bool warp_row_columns_sse2(const std::uint16_t* entries, std::uint32_t v, std::uint32_t minus_ph, std::uint16_t* out);
void tunnel_row_indices_sse2(const std::uint8_t* offsets, std::uint32_t add, bool swap, std::uint16_t* out);
void fill_distorted_run_sse2(const std::uint8_t* eighths, std::uint32_t el, std::uint32_t column_base,
                             std::uint16_t* texels);
void add_noise_sse2(std::uint8_t* frame, const std::uint8_t* noise);
void blur_filter_sse2(std::uint16_t* pixels);
void fade_through_mask_sse2(std::uint16_t* pixels, const std::uint8_t* mask, std::uint8_t level);
void cross_blend_sse2(std::uint16_t* pixels, const std::uint16_t* other, const BlendAmounts& amounts);
void fill_frame_sse2(std::uint16_t* pixels, std::uint32_t pattern);
void copy_picture_shifted_sse2(std::uint16_t* pixels, const std::uint8_t* picture, std::uint32_t shift);
void copy_picture_keyed_sse2(std::uint16_t* pixels, const std::uint8_t* picture);
#endif

#if defined(VORNA_AVX2)
bool warp_row_columns_avx2(const std::uint16_t* entries, std::uint32_t v, std::uint32_t minus_ph, std::uint16_t* out);
void tunnel_row_indices_avx2(const std::uint8_t* offsets, std::uint32_t add, bool swap, std::uint16_t* out);
void fill_distorted_run_avx2(const std::uint8_t* eighths, std::uint32_t el, std::uint32_t column_base,
                             std::uint16_t* texels);
void fade_through_mask_avx2(std::uint16_t* pixels, const std::uint8_t* mask, std::uint8_t level);
void cross_blend_avx2(std::uint16_t* pixels, const std::uint16_t* other, const BlendAmounts& amounts);
#endif
