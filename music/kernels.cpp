// The mixer's kernel table and its fill (see music/kernels.h).
#include "music/kernels.h"

namespace {

constexpr MusicKernels plain_kernels = {mix_steady_plain, nullptr, nullptr, convert_to_pcm16_plain};

}  // namespace

MusicKernels music_kernels = plain_kernels;

namespace {

void fill_music_kernels([[maybe_unused]] VectorLevel level) {
  MusicKernels k = plain_kernels;
#if defined(VORNA_AVX2)
  // Eight frames a step. The mixer has no SSE2 versions: at that level it
  // runs the plain kernels.
  if (level >= vector_avx2) {
    k.mix_steady = mix_steady_avx2;
    k.compute_ramp_chains = compute_ramp_chains_avx2;
    k.mix_ramp_gains = mix_ramp_gains_avx2;
    k.convert_to_pcm16 = convert_to_pcm16_avx2;
  }
#endif
  music_kernels = k;
}

[[maybe_unused]] const bool music_kernels_registered = (register_kernel_table(fill_music_kernels), true);

}  // namespace
