// fx2d's kernel table and its fill (see fx2d/kernels.h).
#include "fx2d/kernels.h"

namespace {

constexpr Fx2dKernels plain_kernels = {
    warp_row_columns_plain,     tunnel_row_indices_plain, fill_distorted_run_plain, add_noise_plain,
    blur_filter_plain,          fade_through_mask_plain,  cross_blend_plain,        fill_frame_plain,
    copy_picture_shifted_plain, copy_picture_keyed_plain,
};

}  // namespace

Fx2dKernels fx2d_kernels = plain_kernels;

namespace {

void fill_fx2d_kernels([[maybe_unused]] VectorLevel level) {
  Fx2dKernels k = plain_kernels;
#if defined(VORNA_SSE2)
  if (level >= vector_sse2) {
    k.warp_row_columns = warp_row_columns_sse2;
    k.tunnel_row_indices = tunnel_row_indices_sse2;
    k.fill_distorted_run = fill_distorted_run_sse2;
    k.add_noise = add_noise_sse2;
    k.blur_filter = blur_filter_sse2;
    k.fade_through_mask = fade_through_mask_sse2;
    k.cross_blend = cross_blend_sse2;
    k.fill_frame = fill_frame_sse2;
    k.copy_picture_shifted = copy_picture_shifted_sse2;
    k.copy_picture_keyed = copy_picture_keyed_sse2;
  }
#endif
#if defined(VORNA_AVX2)
  // Sixteen pixels a step (the distorted run 32 entries); the blur's chain,
  // the noise, the fills and the copies gain nothing from wider steps.
  if (level >= vector_avx2) {
    k.warp_row_columns = warp_row_columns_avx2;
    k.tunnel_row_indices = tunnel_row_indices_avx2;
    k.fill_distorted_run = fill_distorted_run_avx2;
    k.fade_through_mask = fade_through_mask_avx2;
    k.cross_blend = cross_blend_avx2;
  }
#endif
  fx2d_kernels = k;
}

[[maybe_unused]] const bool fx2d_kernels_registered = (register_kernel_table(fill_fx2d_kernels), true);

}  // namespace
