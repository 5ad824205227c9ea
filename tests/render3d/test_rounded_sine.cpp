// The correctly rounded sine and cosine that the tables are built from,
// against the C library's extended-precision sinl and cosl rounded once to
// float. Where long double is no wider than double the reference is not
// precise enough to tell, and those checks are skipped.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <random>

#include "render3d/render3d.h"

namespace {

constexpr bool wide_long_double = LDBL_MANT_DIG >= 64;

float reference_sin(double x) { return static_cast<float>(sinl(static_cast<long double>(x))); }
float reference_cos(double x) { return static_cast<float>(cosl(static_cast<long double>(x))); }

TEST(RoundedSine, ExactValuesAndSigns) {
  EXPECT_EQ(sin_rounded(0.0), 0.0f);
  EXPECT_EQ(cos_rounded(0.0), 1.0f);
  EXPECT_EQ(sin_rounded(std::numbers::pi / 2), 1.0f);
  EXPECT_EQ(cos_rounded(std::numbers::pi), -1.0f);
  EXPECT_EQ(sin_rounded(-std::numbers::pi / 2), -1.0f);
  EXPECT_EQ(sin_rounded(std::numbers::pi / 4), static_cast<float>(std::sqrt(0.5)));
  EXPECT_EQ(cos_rounded(std::numbers::pi / 3), 0.5f);
  EXPECT_EQ(sin_rounded(std::numbers::pi / 6), 0.5f);
  // The double nearest pi lies a little below it: its sine is that small
  // difference, not 0.
  EXPECT_EQ(sin_rounded(std::numbers::pi), static_cast<float>(1.2246467991473532e-16));
  for (double x : {0.1, 1.0, 2.5, 3.0, 100.0, 12345.678}) {
    EXPECT_EQ(sin_rounded(-x), -sin_rounded(x)) << x;
    EXPECT_EQ(cos_rounded(-x), cos_rounded(x)) << x;
  }
}

TEST(RoundedSine, OutsideTheRangeGivesZero) {
  EXPECT_EQ(sin_rounded(0x1p21), 0.0f);
  EXPECT_EQ(cos_rounded(-0x1p30), 0.0f);
  EXPECT_EQ(sin_rounded(std::nan("")), 0.0f);
  EXPECT_EQ(cos_rounded(INFINITY), 0.0f);
  EXPECT_NE(sin_rounded(0x1p20), 0.0f);  // the last argument inside
}

TEST(RoundedSine, EveryTableArgumentRoundsCorrectly) {
  if (!wide_long_double) {
    GTEST_SKIP() << "no extended-precision reference on this system";
  }
  for (int half : {256, 512}) {
    const double step = std::numbers::pi / half;
    for (int i = 0; i < 2 * half; ++i) {
      ASSERT_EQ(sin_rounded(step * i), reference_sin(step * i)) << "sin of step " << i << " of " << 2 * half;
      ASSERT_EQ(cos_rounded(step * i), reference_cos(step * i)) << "cos of step " << i << " of " << 2 * half;
    }
  }
}

TEST(RoundedSine, RandomArgumentsRoundCorrectly) {
  if (!wide_long_double) {
    GTEST_SKIP() << "no extended-precision reference on this system";
  }
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> small(-8.0, 8.0);
  std::uniform_real_distribution<double> large(-0x1p20, 0x1p20);
  for (int n = 0; n < 200000; ++n) {
    const double x = n % 4 == 0 ? large(random) : small(random);
    ASSERT_EQ(sin_rounded(x), reference_sin(x)) << std::hexfloat << x;
    ASSERT_EQ(cos_rounded(x), reference_cos(x)) << std::hexfloat << x;
  }
}

TEST(RoundedSine, ArgumentsNearQuarterTurnsKeepTheirPrecision) {
  if (!wide_long_double) {
    GTEST_SKIP() << "no extended-precision reference on this system";
  }
  // Next to k pi / 2 the result is tiny and comes from cancelling most of x:
  // the reduction must carry pi / 2 far enough for it.
  for (int k = 1; k < 5000; k += 7) {
    const double at = k * (std::numbers::pi / 2);
    for (double x : {at, std::nextafter(at, 0.0), std::nextafter(at, 1e9)}) {
      ASSERT_EQ(sin_rounded(x), reference_sin(x)) << std::hexfloat << x;
      ASSERT_EQ(cos_rounded(x), reference_cos(x)) << std::hexfloat << x;
    }
  }
}

}  // namespace
