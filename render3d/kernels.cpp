// render3d's kernel table and its fill (see render3d/kernels.h).
#include "render3d/kernels.h"

namespace {

constexpr Render3dKernels plain_kernels = {fill_sorted_triangle_plain, rank_faces_plain, add_sprite_plain};

}  // namespace

Render3dKernels render3d_kernels = plain_kernels;

namespace {

void fill_render3d_kernels([[maybe_unused]] VectorLevel level) {
  Render3dKernels k = plain_kernels;
#if defined(VORNA_SSE2)
  if (level >= vector_sse2) {
    k.fill_sorted_triangle = fill_sorted_triangle_sse2;
    k.rank_faces = rank_faces_sse2;
    k.add_sprite = add_sprite_sse2;
  }
#endif
#if defined(VORNA_AVX2)
  // Eight rows a step of the edge walk and sixteen pixels of the span adds;
  // eight keys a compare in the ranking. The sprite's rows are eight-pixel
  // groups already.
  if (level >= vector_avx2) {
    k.fill_sorted_triangle = fill_sorted_triangle_avx2;
    k.rank_faces = rank_faces_avx2;
  }
#endif
  render3d_kernels = k;
}

[[maybe_unused]] const bool render3d_kernels_registered = (register_kernel_table(fill_render3d_kernels), true);

}  // namespace
