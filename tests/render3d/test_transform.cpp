// The trigonometric tables, the rotation matrix and the projection.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "reference.h"

namespace {

struct TransformTest : ::testing::Test {
  TestFrame frame;  // builds the tables
};

TEST_F(TransformTest, TablesHoldSinesOfTheirOwnSteps) {
  // 1024 steps per turn for the position tables, 512 for the rotation ones.
  EXPECT_EQ(sin_table[0], 0.0f);
  EXPECT_EQ(cos_table[0], 1.0f);
  EXPECT_EQ(sin_table[256], 1.0f);
  EXPECT_EQ(cos_table[512], -1.0f);
  EXPECT_EQ(rot_sin_table[128], 1.0f);
  EXPECT_EQ(rot_cos_table[256], -1.0f);
  EXPECT_EQ(rot_sin_table[64], static_cast<float>(std::sqrt(0.5)));
  for (int i = 0; i < 1024; ++i) {
    EXPECT_NEAR(sin_table[i], std::sin(2.0 * std::numbers::pi * i / 1024.0), 6e-8) << i;
    EXPECT_NEAR(cos_table[i], std::cos(2.0 * std::numbers::pi * i / 1024.0), 6e-8) << i;
  }
  for (int i = 0; i < 512; ++i) {
    EXPECT_NEAR(rot_sin_table[i], std::sin(2.0 * std::numbers::pi * i / 512.0), 6e-8) << i;
    EXPECT_NEAR(rot_cos_table[i], std::cos(2.0 * std::numbers::pi * i / 512.0), 6e-8) << i;
  }
}

TEST_F(TransformTest, LookupSinCosWrapsEveryAngle) {
  lookup_sin_cos(1024);
  EXPECT_EQ(sin_value, sin_table[0]);
  EXPECT_EQ(cos_value, cos_table[0]);
  lookup_sin_cos(-1);
  EXPECT_EQ(sin_value, sin_table[1023]);
  EXPECT_EQ(cos_value, cos_table[1023]);
  EXPECT_LT(sin_value, 0.0f);
  lookup_sin_cos(std::numeric_limits<std::int32_t>::min() + 300);
  EXPECT_EQ(sin_value, sin_table[300]);
  lookup_sin_cos(256 + 1024 * 7);
  EXPECT_EQ(sin_value, 1.0f);
}

TEST_F(TransformTest, RotationAnglesWrapAt512) {
  set_rotation(0, 0, 0);
  build_matrix();
  const std::vector<float> at_zero(rotation_matrix, rotation_matrix + 9);
  set_rotation(512, -512, 0);
  build_matrix();
  EXPECT_EQ(std::vector<float>(rotation_matrix, rotation_matrix + 9), at_zero);
  set_rotation(37 + 512 * 3, -100, 7);
  build_matrix();
  const std::vector<float> turned(rotation_matrix, rotation_matrix + 9);
  set_rotation(37, 412, 7 - 512);
  build_matrix();
  EXPECT_EQ(std::vector<float>(rotation_matrix, rotation_matrix + 9), turned);
}

TEST_F(TransformTest, ZeroAnglesExchangeXAndZ) {
  set_projection(300, 160, 100);
  set_rotation(0, 0, 0);
  set_translation(0, 0, 300);
  build_matrix();
  const float expected[9] = {0, 0, 1, 0, 1, 0, 1, 0, 0};
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(rotation_matrix[k], expected[k]) << k;
  }
  const Point3 model[1] = {{10, 20, 30}};
  Point3 camera[1];
  transform_points(1, model, camera);
  EXPECT_EQ(camera[0].x, 30.0f);
  EXPECT_EQ(camera[0].y, 20.0f);
  EXPECT_EQ(camera[0].z, 310.0f);
  ScreenPoint screen[1] = {{0, 0, 12345}};
  project_points(1, camera, screen);
  EXPECT_EQ(screen[0].x, 189);
  EXPECT_EQ(screen[0].y, 119);
  EXPECT_EQ(screen[0].spare, 12345);
}

// The matrix is a rotation whatever the angles: its rows are orthonormal
// and it preserves handedness only up to the x/z exchange (determinant -1).
TEST_F(TransformTest, MatrixIsOrthonormalForAnyAngles) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::int32_t> angle(-5000, 5000);
  for (int trial = 0; trial < 200; ++trial) {
    set_rotation(angle(random), angle(random), angle(random));
    build_matrix();
    const float* m = rotation_matrix;
    for (int r = 0; r < 3; ++r) {
      for (int s = 0; s < 3; ++s) {
        const double dot = double(m[r]) * m[s] + double(m[r + 3]) * m[s + 3] + double(m[r + 6]) * m[s + 6];
        EXPECT_NEAR(dot, r == s ? 1.0 : 0.0, 1e-6);
      }
    }
    const double det = double(m[0]) * (double(m[4]) * m[8] - double(m[5]) * m[7]) -
                       double(m[1]) * (double(m[3]) * m[8] - double(m[5]) * m[6]) +
                       double(m[2]) * (double(m[3]) * m[7] - double(m[4]) * m[6]);
    EXPECT_NEAR(det, -1.0, 1e-6);
  }
}

// Applied to a row vector: output x takes m0, m3, m6.
TEST_F(TransformTest, TransformAppliesTheMatrixToARowVector) {
  set_rotation(40, 100, 300);
  set_translation(-7, 11, 500);
  build_matrix();
  const Point3 model[2] = {{1, 0, 0}, {0, 0, 1}};
  Point3 camera[2];
  transform_points(2, model, camera);
  EXPECT_EQ(camera[0].x, rotation_matrix[0] + -7.0f);
  EXPECT_EQ(camera[0].y, rotation_matrix[1] + 11.0f);
  EXPECT_EQ(camera[0].z, rotation_matrix[2] + 500.0f);
  EXPECT_EQ(camera[1].x, static_cast<float>(double(rotation_matrix[6]) - 7.0));
  EXPECT_EQ(camera[1].z, static_cast<float>(double(rotation_matrix[8]) + 500.0));
}

TEST_F(TransformTest, ProjectionOfPointsBehindTheEyeAndAtZeroDepth) {
  set_projection(300, 160, 100);
  const Point3 camera[4] = {{0, 0, 0}, {0, 0, -300}, {30, 0, -300}, {5, -5, -0.0f}};
  ScreenPoint screen[4] = {};
  project_points(4, camera, screen);
  EXPECT_EQ(screen[0].x, projection_failed);
  EXPECT_EQ(screen[0].y, projection_failed);
  EXPECT_EQ(screen[1].x, 160);
  EXPECT_EQ(screen[1].y, 100);
  EXPECT_EQ(screen[2].x, 130);
  EXPECT_EQ(screen[2].y, 100);
  EXPECT_EQ(screen[3].x, projection_failed);
  EXPECT_EQ(screen[3].y, projection_failed);
  EXPECT_EQ(projection_failed, -2147483647 - 1);
}

TEST_F(TransformTest, ProjectionRoundsHalvesToEven) {
  set_projection(1, 0, 0);
  const Point3 camera[5] = {{1, 1, 2}, {3, 5, 2}, {-1, -3, 2}, {7, -7, 2}, {2, 2, 4}};
  ScreenPoint screen[5] = {};
  project_points(5, camera, screen);
  EXPECT_EQ(screen[0].x, 0);  // 0.5
  EXPECT_EQ(screen[0].y, 0);
  EXPECT_EQ(screen[1].x, 2);   // 1.5
  EXPECT_EQ(screen[1].y, 2);   // 2.5
  EXPECT_EQ(screen[2].x, 0);   // -0.5
  EXPECT_EQ(screen[2].y, -2);  // -1.5
  EXPECT_EQ(screen[3].x, 4);   // 3.5
  EXPECT_EQ(screen[3].y, -4);  // -3.5
  EXPECT_EQ(screen[4].x, 0);   // 0.5 again, through 1 / 4
}

TEST_F(TransformTest, ProjectionOutsideInt32FailsWithoutUndefinedConversion) {
  set_projection(1, 0, 0);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const Point3 camera[6] = {
      {2147483648.0f, 0, 1},  {-2147483648.0f, 2147483520.0f, 1}, {-2147483904.0f, 1, 1}, {1, 1, nan}, {inf, 3, 1},
      {1e30f, -1e30f, 1e-30f}};
  ScreenPoint screen[6] = {};
  project_points(6, camera, screen);
  EXPECT_EQ(screen[0].x, projection_failed);
  EXPECT_EQ(screen[0].y, 0);
  EXPECT_EQ(screen[1].x, -2147483647 - 1);  // in range: the same value, not a failure
  EXPECT_EQ(screen[1].y, 2147483520);
  EXPECT_EQ(screen[2].x, projection_failed);
  EXPECT_EQ(screen[2].y, 1);
  EXPECT_EQ(screen[3].x, projection_failed);
  EXPECT_EQ(screen[3].y, projection_failed);
  EXPECT_EQ(screen[4].x, projection_failed);
  EXPECT_EQ(screen[4].y, 3);
  EXPECT_EQ(screen[5].x, projection_failed);
  EXPECT_EQ(screen[5].y, projection_failed);
}

}  // namespace
