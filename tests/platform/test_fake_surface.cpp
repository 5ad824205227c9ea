// The surface checks and the wave position that every stand-in backend
// shares: BltFast copies exactly the rectangle asked for and refuses,
// touching nothing, whatever lies outside the mode or is locked; Lock and
// Unlock pair up; the position is the place in the looping buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/fake_surface.h"
#include "common/wave_position.h"

namespace {

constexpr std::uint32_t width = 8;
constexpr std::uint32_t height = 5;
constexpr std::uint32_t bytes_per_pixel = 2;

struct TwoSurfaces : ::testing::Test {
  std::vector<std::uint8_t> to_bytes = std::vector<std::uint8_t>(width * height * bytes_per_pixel, 0xEE);
  std::vector<std::uint8_t> from_bytes = std::vector<std::uint8_t>(width * height * bytes_per_pixel);
  FakeSurfaceMemory to = {to_bytes.data(), width, height, width* bytes_per_pixel, false};
  FakeSurfaceMemory from = {from_bytes.data(), width, height, width* bytes_per_pixel, false};
  TwoSurfaces() {
    for (std::size_t k = 0; k < from_bytes.size(); ++k) from_bytes[k] = static_cast<std::uint8_t>(k);
  }
  std::uint8_t to_at(std::uint32_t x, std::uint32_t y, std::uint32_t byte) const {
    return to_bytes[(y * width + x) * bytes_per_pixel + byte];
  }
};

TEST_F(TwoSurfaces, CopiesTheRectangleToThePointAndNothingElse) {
  RECT area = {1, 2, 4, 4};  // 3 x 2 pixels from (1, 2)
  ASSERT_EQ(fake_blt_fast(to, 5, 3, &from, &area, bytes_per_pixel), DD_OK);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const bool inside = x >= 5 && y >= 3;
      for (std::uint32_t b = 0; b < bytes_per_pixel; ++b) {
        const std::uint32_t source = ((y - 3 + 2) * width + (x - 5 + 1)) * bytes_per_pixel + b;
        ASSERT_EQ(to_at(x, y, b), inside ? static_cast<std::uint8_t>(source) : 0xEE) << x << ", " << y;
      }
    }
  }
  ASSERT_EQ(fake_blt_fast(to, 0, 0, &from, nullptr, bytes_per_pixel), DD_OK);
  EXPECT_EQ(to_bytes, from_bytes);  // null: the whole surface
}

TEST_F(TwoSurfaces, RefusesWhatLiesOutsideTheModeAndTouchesNothing) {
  const std::vector<std::uint8_t> before = to_bytes;
  const RECT inverted = {3, 0, 2, 1};
  const RECT negative = {-1, 0, 2, 1};
  const RECT too_wide = {0, 0, width + 1, 1};
  const RECT too_tall = {0, 0, 1, height + 1};
  const RECT two = {0, 0, 2, 2};
  for (const RECT& area : {inverted, negative, too_wide, too_tall}) {
    EXPECT_EQ(fake_blt_fast(to, 0, 0, &from, &area, bytes_per_pixel), DDERR_INVALIDPARAMS);
  }
  EXPECT_EQ(fake_blt_fast(to, width - 1, 0, &from, &two, bytes_per_pixel), DDERR_INVALIDPARAMS);
  EXPECT_EQ(fake_blt_fast(to, 0, height - 1, &from, &two, bytes_per_pixel), DDERR_INVALIDPARAMS);
  // A point so far out that x + width wraps in 32 bits.
  EXPECT_EQ(fake_blt_fast(to, 0xFFFFFFFFu, 0, &from, &two, bytes_per_pixel), DDERR_INVALIDPARAMS);
  EXPECT_EQ(fake_blt_fast(to, 0, 0xFFFFFFFEu, &from, &two, bytes_per_pixel), DDERR_INVALIDPARAMS);
  EXPECT_EQ(to_bytes, before);
}

TEST_F(TwoSurfaces, ALockedSurfaceOrNoSourceIsBusy) {
  EXPECT_EQ(fake_blt_fast(to, 0, 0, nullptr, nullptr, bytes_per_pixel), DDERR_SURFACEBUSY);
  DDSURFACEDESC desc = {};
  bool locked = false;
  ASSERT_EQ(fake_lock(locked, from, &desc), DD_OK);
  EXPECT_TRUE(locked);
  EXPECT_EQ(desc.lpSurface, from_bytes.data());
  EXPECT_EQ(desc.dwWidth, width);
  EXPECT_EQ(desc.dwHeight, height);
  EXPECT_EQ(desc.lPitch, static_cast<LONG>(width * bytes_per_pixel));
  EXPECT_EQ(fake_lock(locked, from, &desc), DDERR_SURFACEBUSY);
  from.locked = locked;
  EXPECT_EQ(fake_blt_fast(to, 0, 0, &from, nullptr, bytes_per_pixel), DDERR_SURFACEBUSY);
  from.locked = false;
  to.locked = true;
  EXPECT_EQ(fake_blt_fast(to, 0, 0, &from, nullptr, bytes_per_pixel), DDERR_SURFACEBUSY);
  EXPECT_EQ(to_bytes, std::vector<std::uint8_t>(to_bytes.size(), 0xEE));
  EXPECT_EQ(fake_unlock(locked), DD_OK);
  EXPECT_FALSE(locked);
  EXPECT_EQ(fake_unlock(locked), DDERR_NOTLOCKED);
}

TEST(WavePosition, IsThePlaceInTheLoopingBuffer) {
  MMTIME time = {};
  EXPECT_EQ(report_loop_position(&time, 4 * 1000 + 8, 4 * 1000), 8u);
  EXPECT_EQ(time.wType, static_cast<UINT>(TIME_BYTES));
  EXPECT_EQ(time.u.cb, 8u);
  EXPECT_EQ(report_loop_position(&time, 4 * 999, 4 * 1000), 4u * 999);
  // No buffer yet: the bytes as they are.
  EXPECT_EQ(report_loop_position(&time, 12, 0), 12u);
  EXPECT_EQ(time.u.cb, 12u);
}

}  // namespace
