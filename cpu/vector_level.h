// The vector levels that the fast paths are written for, and the one level
// this run uses. Every subsystem with fast kernels keeps one table of
// function pointers (fx2d/kernels.h, render3d/kernels.h, music/kernels.h),
// filled from the
// level chosen here: nothing else in the program asks the CPU what it has
// or decides between kernels.
//
// Each kernel exists at the plain level, written for clarity, and may have
// SSE2 and AVX2 versions; every version gives the plain one's results bit
// for bit. Which levels exist depends on two things:
// - the build: the plain kernels are always compiled; the SSE2 ones where
//   the compiler targets SSE2 (every x86-64 compiler); the AVX2 ones, built
//   as single functions for AVX2, where the compiler can do that. The CMake
//   option VORNA_NO_SIMD compiles the plain kernels only.
// - the CPU, checked once at start-up (an AVX2 kernel runs only where the
//   processor has AVX2).
// The environment variable VORNA_VECTOR_LEVEL (plain, sse2 or avx2) caps
// the level for a whole run, which is how the tests run every subsystem at
// every level; use_vector_level does the same inside a running test.
#pragma once

#include <cstdint>

#if !defined(VORNA_NO_SIMD) && defined(__SSE2__)
#define VORNA_SSE2 1  // SSE2 kernels are compiled (<emmintrin.h>)
#endif
#if defined(VORNA_SSE2) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VORNA_AVX2 1  // AVX2 kernels are compiled (<immintrin.h>), each marked VORNA_TARGET_AVX2
#define VORNA_TARGET_AVX2 __attribute__((target("avx2")))
#endif

// Ordered: a level includes the instructions of the levels below it.
enum VectorLevel : std::uint8_t {
  vector_plain,
  vector_sse2,
  vector_avx2,
};
inline constexpr int vector_level_count = 3;

// The highest level whose kernels this build compiled.
inline constexpr VectorLevel built_vector_level =
#if defined(VORNA_AVX2)
    vector_avx2;
#elif defined(VORNA_SSE2)
    vector_sse2;
#else
    vector_plain;
#endif

// "plain", "sse2" or "avx2".
const char* vector_level_name(VectorLevel level);
// The level named by text (as vector_level_name gives it); false if none is.
bool parse_vector_level(const char* text, VectorLevel& level);

// The highest level both this build and this CPU have. The CPU is asked
// once, on the first call.
VectorLevel available_vector_level();

// The level the kernel tables use: available_vector_level, capped by
// VORNA_VECTOR_LEVEL where that is set (an unknown name is reported on
// stderr once and ignored), or by the last use_vector_level.
VectorLevel vector_level();

// A subsystem's kernel table registers its fill function once, from a
// static initializer; the fill runs at once with vector_level() and again
// on every use_vector_level. At most eight tables.
using KernelTableFill = void (*)(VectorLevel level);
void register_kernel_table(KernelTableFill fill);

// For tests and benchmarks: every kernel table takes the kernels of this
// level (capped at available_vector_level), which is returned. Only while
// no other thread runs a kernel (no output thread plays).
VectorLevel use_vector_level(VectorLevel level);
