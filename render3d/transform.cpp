// The trigonometric tables and the vertex pipeline: a row-vector rotation
// matrix from three table-driven angles, a translation and a perspective
// projection onto the 320 x 200 screen.
//
// Vertices are stored in single precision; every product and sum below is
// formed in double and rounded to single only when stored, so the results
// do not depend on the compiler's choice of float or double registers.
#include <cmath>
#include <numbers>

#include "render3d/render3d.h"

namespace {

// Sines and cosines of the three rotation angles, from set_rotation.
float sa = 0.0f, ca = 1.0f;
float sb = 0.0f, cb = 1.0f;
float sc = 0.0f, cc = 1.0f;

// The nearest integer (halves to even) of a projected coordinate, or
// projection_failed when it is not a finite value inside int32.
std::int32_t to_screen(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
    return projection_failed;
  }
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

void build_rotation_tables() {
  const double step = std::numbers::pi / static_cast<double>(rotation_steps_half);
  for (int i = 0; i < rotation_steps; ++i) {
    rot_sin_table[i] = sin_rounded(step * i);
    rot_cos_table[i] = cos_rounded(step * i);
  }
}

void build_sin_cos_tables() {
  const double step = std::numbers::pi / 512.0;
  for (int i = 0; i < angle_steps; ++i) {
    sin_table[i] = sin_rounded(step * i);
    cos_table[i] = cos_rounded(step * i);
  }
}

void lookup_sin_cos(std::int32_t angle) {
  const std::uint32_t i = static_cast<std::uint32_t>(angle) & (angle_steps - 1);
  sin_value = sin_table[i];
  cos_value = cos_table[i];
}

void set_rotation(std::int32_t a, std::int32_t b, std::int32_t c) {
  const std::uint32_t mask = rotation_steps - 1;
  const std::uint32_t ia = static_cast<std::uint32_t>(a) & mask;
  const std::uint32_t ib = static_cast<std::uint32_t>(b) & mask;
  const std::uint32_t ic = static_cast<std::uint32_t>(c) & mask;
  sa = rot_sin_table[ia];
  ca = rot_cos_table[ia];
  sb = rot_sin_table[ib];
  cb = rot_cos_table[ib];
  sc = rot_sin_table[ic];
  cc = rot_cos_table[ic];
}

void set_translation(std::int32_t x, std::int32_t y, std::int32_t z) {
  translation[0] = static_cast<float>(x);
  translation[1] = static_cast<float>(y);
  translation[2] = static_cast<float>(z);
}

void set_projection(std::int32_t focal, std::int32_t cx, std::int32_t cy) {
  focal_length = focal;
  centre_x = cx;
  centre_y = cy;
}

void build_matrix() {
  const double a_s = sa, a_c = ca, b_s = sb, b_c = cb, c_s = sc, c_c = cc;
  float* m = rotation_matrix;
  m[0] = static_cast<float>(a_c * b_s * c_s - a_s * c_c);
  m[1] = static_cast<float>(b_c * c_s);
  m[2] = static_cast<float>(a_c * c_c + a_s * b_s * c_s);
  m[3] = static_cast<float>(a_s * c_s + a_c * b_s * c_c);
  m[4] = static_cast<float>(b_c * c_c);
  m[5] = static_cast<float>(a_s * b_s * c_c - a_c * c_s);
  m[6] = static_cast<float>(a_c * b_c);
  m[7] = static_cast<float>(-b_s);
  m[8] = static_cast<float>(a_s * b_c);
}

void transform_points(std::uint32_t n, const Point3* source, Point3* destination) {
  const double m0 = rotation_matrix[0], m1 = rotation_matrix[1], m2 = rotation_matrix[2];
  const double m3 = rotation_matrix[3], m4 = rotation_matrix[4], m5 = rotation_matrix[5];
  const double m6 = rotation_matrix[6], m7 = rotation_matrix[7], m8 = rotation_matrix[8];
  const double tx = translation[0], ty = translation[1], tz = translation[2];
  for (std::uint32_t k = 0; k < n; ++k) {
    const double x = source[k].x, y = source[k].y, z = source[k].z;
    destination[k].x = static_cast<float>(m0 * x + m3 * y + m6 * z + tx);
    destination[k].y = static_cast<float>(m1 * x + m4 * y + m7 * z + ty);
    destination[k].z = static_cast<float>(m2 * x + m5 * y + m8 * z + tz);
  }
}

void project_points(std::uint32_t n, const Point3* source, ScreenPoint* destination) {
  const double focal = focal_length;
  const double cx = centre_x;
  const double cy = centre_y;
  for (std::uint32_t k = 0; k < n; ++k) {
    // One division per vertex; z = 0 gives an infinite reciprocal, and the
    // coordinates built from it are caught by to_screen.
    const double r = 1.0 / static_cast<double>(source[k].z);
    destination[k].y = to_screen(static_cast<double>(source[k].y) * focal * r + cy);
    destination[k].x = to_screen(static_cast<double>(source[k].x) * focal * r + cx);
  }
}
