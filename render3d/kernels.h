// render3d's kernel table: the loops that have vector versions, one entry
// each, filled from the run's vector level (cpu/vector_level.h) by
// render3d/kernels.cpp. Internal to render3d: the operations of render3d.h
// call through the table and nothing else chooses between versions.
//
// Every kernel has a plain version; the SSE2 and AVX2 versions, where they
// exist, give its results bit for bit.
#pragma once

#include <cstdint>

#include "cpu/vector_level.h"

struct Render3dKernels {
  // rasterizer.cpp: everything fill_triangle does after sorting the corners
  // by y and dropping triangles taller than max_triangle_height. The plain
  // version walks the edges into short_edges and long_edge as it goes; the
  // others walk them into spans of their own and leave the tables alone.
  void (*fill_sorted_triangle)(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                               std::int32_t y2);
  // faces.cpp: sorts depth_list[0 .. n - 1] (n = 2 .. 128) by ranking when
  // no two keys are equal, which gives the quicksort's order; returns false
  // with the list untouched otherwise. The plain version always returns
  // false: without vectors the quicksort is the cheaper way.
  bool (*rank_faces)(std::uint32_t n);
  // objects.cpp: adds the 64 x 42 glow sprite with its top-left pixel at
  // `pixels` (rows of 320 pixels), per field with saturation.
  void (*add_sprite)(std::uint16_t* pixels);
};

// Main thread only; holds the plain kernels until the table's fill has run
// (during static initialization).
extern Render3dKernels render3d_kernels;

// The versions, level by level.
void fill_sorted_triangle_plain(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                std::int32_t y2);
bool rank_faces_plain(std::uint32_t n);
void add_sprite_plain(std::uint16_t* pixels);

#if defined(VORNA_SSE2)
void fill_sorted_triangle_sse2(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                               std::int32_t y2);
bool rank_faces_sse2(std::uint32_t n);
void add_sprite_sse2(std::uint16_t* pixels);
#endif

#if defined(VORNA_AVX2)
void fill_sorted_triangle_avx2(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                               std::int32_t y2);
bool rank_faces_avx2(std::uint32_t n);
#endif
