// The additive triangle fill and its edge walk.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "reference.h"
#include "support/child_run.h"
#include "support/vector_levels.h"

namespace {

struct RasterTest : ::testing::Test {
  TestFrame frame;
  void fill(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    triangle_x[0] = x0;
    triangle_y[0] = y0;
    triangle_x[1] = x1;
    triangle_y[1] = y1;
    triangle_x[2] = x2;
    triangle_y[2] = y2;
    fill_triangle();
  }
  // Whether any pixel outside columns 0..318, rows 0..198 changed from 0.
  bool touched_outside_area() {
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 320; ++x) {
        if ((x == 319 || y == 199) && frame.at(x, y) != 0) {
          return true;
        }
      }
    }
    return false;
  }
};

TEST_F(RasterTest, SmallRightTriangleCovers55Pixels) {
  span_colour = 0xABCD0001;  // only the low half counts
  fill(10, 10, 20, 10, 10, 20);
  EXPECT_EQ(frame.count_not(0), 55);
  for (int x = 10; x < 20; ++x) {
    EXPECT_EQ(frame.at(x, 10), 1) << x;
  }
  EXPECT_EQ(frame.at(20, 10), 0);
  EXPECT_EQ(frame.at(10, 19), 1);
  EXPECT_EQ(frame.at(11, 19), 0);
  for (int x = 0; x < 320; ++x) {
    EXPECT_EQ(frame.at(x, 20), 0);
    EXPECT_EQ(frame.at(x, 9), 0);
  }
  for (int y = 10; y < 20; ++y) {
    int row = 0;
    for (int x = 0; x < 320; ++x) row += frame.at(x, y) != 0;
    EXPECT_EQ(row, 20 - y) << y;
  }
}

TEST_F(RasterTest, FillLeavesTheVerticesSortedByY) {
  span_colour = 1;
  fill(5, 30, 7, 10, 9, 20);
  EXPECT_EQ(triangle_y[0], 10);
  EXPECT_EQ(triangle_x[0], 7);
  EXPECT_EQ(triangle_y[1], 20);
  EXPECT_EQ(triangle_x[1], 9);
  EXPECT_EQ(triangle_y[2], 30);
  EXPECT_EQ(triangle_x[2], 5);
  // Equal y values keep their order.
  fill(40, 50, 30, 50, 20, 50);
  EXPECT_EQ(triangle_x[0], 40);
  EXPECT_EQ(triangle_x[1], 30);
  EXPECT_EQ(triangle_x[2], 20);
}

TEST_F(RasterTest, CarryCrossesFromLeftPixelIntoRightWithinAPair) {
  span_colour = 1;
  frame.at(10, 10) = 0xFFFF;
  frame.at(11, 10) = 0x0000;
  fill(10, 10, 12, 10, 10, 11);  // row 10, columns 10 and 11: one pair
  EXPECT_EQ(frame.at(10, 10), 0x0000);
  EXPECT_EQ(frame.at(11, 10), 0x0002);
  EXPECT_EQ(frame.count_not(0), 1);
}

TEST_F(RasterTest, LonePixelWrapsAndChangesNoNeighbour) {
  span_colour = 1;
  frame.at(9, 10) = 0x1234;
  frame.at(10, 10) = 0xFFFF;
  frame.at(11, 10) = 0x4321;
  fill(10, 10, 11, 10, 10, 11);  // row 10, column 10 alone
  EXPECT_EQ(frame.at(9, 10), 0x1234);
  EXPECT_EQ(frame.at(10, 10), 0x0000);
  EXPECT_EQ(frame.at(11, 10), 0x4321);
}

TEST_F(RasterTest, FieldsCarryWithoutSaturation) {
  span_colour = 0x10CB;
  frame.at(20, 30) = 0xF000;  // red 30
  frame.at(21, 30) = 0x001F;  // blue 31
  fill(20, 30, 22, 30, 20, 31);
  EXPECT_EQ(frame.at(20, 30), static_cast<std::uint16_t>(0xF000 + 0x10CB));  // red wraps into the next pixel
  EXPECT_EQ(frame.at(21, 30), static_cast<std::uint16_t>(0x001F + 0x10CB + 1));
}

TEST_F(RasterTest, TallTriangleIsClippedToRows0To198) {
  span_colour = 1;
  fill(100, -50, 250, 100, 30, 400);
  for (int y = 0; y < 199; ++y) {
    int row = 0;
    for (int x = 0; x < 320; ++x) row += frame.at(x, y) != 0;
    EXPECT_GT(row, 0) << y;
  }
  EXPECT_FALSE(touched_outside_area());
  // Row 0 is drawn from entry 50 of the edges' walks.
  std::vector<std::int32_t> shorts(450), longs(450);
  step_edge(250, 30, 100, 400, step_edge(100, 250, -50, 100, shorts.data()));
  step_edge(100, 30, -50, 400, longs.data());
  EXPECT_EQ(shorts[0], 100);
  EXPECT_EQ(longs[0], 100);
  const int left = std::min(shorts[50], longs[50]);
  const int right = std::max(shorts[50], longs[50]);
  EXPECT_GT(right - left, 20);
  for (int x = 0; x < 320; ++x) {
    EXPECT_EQ(frame.at(x, 0), x >= left && x < right ? 1 : 0) << x;
  }
}

TEST_F(RasterTest, FarOffColumnsAreClampedTo0And318) {
  span_colour = 1;
  fill(-100, 20, 1000, 20, 150, 120);
  EXPECT_EQ(frame.at(0, 20), 1);
  EXPECT_EQ(frame.at(318, 20), 1);
  EXPECT_FALSE(touched_outside_area());
  fill(-100, 130, 1000, 190, -100, 190);
  EXPECT_EQ(frame.at(0, 189), 1);
  EXPECT_EQ(frame.at(318, 189), 1);
  EXPECT_FALSE(touched_outside_area());
}

TEST_F(RasterTest, HeightLimitIs5800Rows) {
  span_colour = 1;
  fill(10, -5700, 300, 100, 20, 101);  // 5801 rows: dropped wherever it lies
  EXPECT_EQ(frame.count_not(0), 0);
  fill(10, 0, 300, 100, 20, 5801);
  EXPECT_EQ(frame.count_not(0), 0);
  fill(10, -5699, 300, 100, 20, 101);  // 5800 rows: drawn
  EXPECT_GT(frame.count_not(0), 1000);
  EXPECT_FALSE(touched_outside_area());
}

TEST_F(RasterTest, DegenerateTrianglesDrawNothing) {
  span_colour = 1;
  fill(10, 50, 200, 50, 300, 50);  // all on one row
  fill(10, 50, 10, 80, 10, 120);   // zero width
  EXPECT_EQ(frame.count_not(0), 0);
  fill(10, 250, 200, 260, 300, 300);  // below the area
  fill(10, -250, 200, -60, 300, -1);  // above it
  fill(10, 199, 200, 260, 300, 300);  // from row 199 down
  EXPECT_EQ(frame.count_not(0), 0);
  fill(10, 100, 20, 199, 30, 199);  // down to row 199, which is not drawn
  EXPECT_GT(frame.count_not(0), 0);
  EXPECT_FALSE(touched_outside_area());
}

TEST(StepEdge, FirstRowGetsExactlyTheStartAndSlopesAreAHairShort) {
  build_reciprocal_table();
  std::int32_t table[8] = {-7, -7, -7, -7, -7, -7, -7, -7};
  // 1.5 pixels per row: an exact slope would reach 2 at the second row;
  // scaled by 2^32 - 1 the slope is two units short and the walk stays at 1.
  EXPECT_EQ(step_edge(0, 3, 0, 2, table), table + 2);
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[1], 1);
  EXPECT_EQ(table[2], -7);
  step_edge(7, 12, 0, 2, table);  // 2.5 per row: 9, not 10
  EXPECT_EQ(table[0], 7);
  EXPECT_EQ(table[1], 9);
  // A quarter per row rounds to the exact slope: 7.5, 7.75, 8.0, 8.25.
  step_edge(7, 8, 0, 4, table);
  EXPECT_EQ(std::vector<std::int32_t>(table, table + 4), (std::vector<std::int32_t>{7, 7, 8, 8}));
  // Values below 0 become 0, above 319 become 319.
  step_edge(-30, 400, 10, 13, table);
  EXPECT_EQ(std::vector<std::int32_t>(table, table + 4), (std::vector<std::int32_t>{0, 113, 257, 8}));
  step_edge(600, 300, 0, 1, table);
  EXPECT_EQ(table[0], 319);
}

TEST(StepEdge, EmptyOrReversedEdgesWriteNothing) {
  build_reciprocal_table();
  std::int32_t table[2] = {-7, -7};
  EXPECT_EQ(step_edge(0, 100, 5, 5, table), table);
  EXPECT_EQ(step_edge(0, 100, 5, 4, table), table);
  EXPECT_EQ(step_edge(0, 100, INT32_MAX, INT32_MIN, table), table);
  EXPECT_EQ(table[0], -7);
}

TEST(StepEdge, LongEdgesMatchTheRuleOfTheTable) {
  build_reciprocal_table();
  std::vector<std::int32_t> table(6000);
  for (std::int32_t dy : {1, 2, 3, 2047, 2048, 2049, 3000, 5800}) {
    for (std::int32_t dx : {-700, -1, 0, 1, 319, 1000}) {
      std::int32_t* end = step_edge(150, 150 + dx, -40, -40 + dy, table.data());
      ASSERT_EQ(end - table.data(), dy);
      const std::vector<std::int32_t> expected = reference_edge(150, 150 + dx, -40, -40 + dy, true);
      EXPECT_EQ(std::vector<std::int32_t>(table.begin(), table.begin() + dy), expected) << dx << " over " << dy;
    }
  }
}

TEST(StepEdge, ExtremeCoordinatesWalkWithoutOverflow) {
  build_reciprocal_table();
  std::int32_t table[4];
  step_edge(INT32_MIN, INT32_MAX, 0, 1, table);  // one row: the slope is never used
  EXPECT_EQ(table[0], 0);
  step_edge(INT32_MIN, INT32_MAX, 0, 4, table);
  const std::vector<std::int32_t> raw = reference_edge(INT32_MIN, INT32_MAX, 0, 4, false);
  EXPECT_EQ(raw[0], INT32_MIN);
  EXPECT_LT(raw[1], 0);
  EXPECT_GT(raw[3], 0);
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[3], 319);
}

// The fill against the plain version on random triangles and frames, bit
// for bit, including triangles far outside the screen and the failed
// projection's coordinates, and small ones in the bottom-right corner,
// where the last group of a span reads past it. Every vector level is
// checked, each on its own sequence.
TEST_F(RasterTest, MatchesThePlainFillOnRandomTriangles) {
  const KeepVectorLevel keep;
  for (const VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    std::mt19937 random(2024 + level);
    std::vector<std::uint16_t> expected(64000);
    for (std::uint16_t& p : frame.pixels) p = static_cast<std::uint16_t>(random());
    expected = frame.pixels;
    for (int trial = 0; trial < 3000; ++trial) {
      std::int32_t x[3], y[3];
      const int kind = trial % 7;
      for (int v = 0; v < 3; ++v) {
        if (kind < 3) {
          x[v] = static_cast<std::int32_t>(random() % 500) - 90;
          y[v] = static_cast<std::int32_t>(random() % 360) - 80;
        } else if (kind == 3) {
          x[v] = static_cast<std::int32_t>(random() % 40) + 150;
          y[v] = static_cast<std::int32_t>(random() % 40) + 80;
        } else if (kind == 4) {
          x[v] = static_cast<std::int32_t>(random() % 20000) - 10000;
          y[v] = static_cast<std::int32_t>(random() % 7000) - 3500;
        } else if (kind == 5) {
          x[v] = static_cast<std::int32_t>(random() % 40) + 290;
          y[v] = static_cast<std::int32_t>(random() % 20) + 185;
        } else {
          x[v] = random() % 4 == 0 ? projection_failed : static_cast<std::int32_t>(random());
          y[v] = static_cast<std::int32_t>(random() % 400) - 100;
        }
      }
      span_colour = static_cast<std::uint32_t>(random());
      for (int v = 0; v < 3; ++v) {
        triangle_x[v] = x[v];
        triangle_y[v] = y[v];
      }
      fill_triangle();
      reference_fill_triangle(expected, x, y, span_colour);
      ASSERT_EQ(frame.pixels, expected) << vector_level_name(level) << " trial " << trial;
      EXPECT_EQ(triangle_x[0], x[0]);
      EXPECT_EQ(triangle_y[2], y[2]);
    }
  }
}

// The edge walk takes 1 / dy from the reciprocal table up to its size and
// divides beyond it. In a fresh process, with the tables built as start-up
// builds them, triangles of heights around the table's size (and the
// smallest and the tallest drawn) fill exactly as the plain fill does.
TEST(RasterStartUp, TrianglesAroundTheReciprocalTablesSizeMatchThePlainFill) {
  const ChildRun run = run_in_child(HeadlessScript{}, [] {
    TestFrame frame;
    std::vector<std::uint16_t> expected(64000, 0);
    std::mt19937 random(31);
    const std::int32_t heights[] = {1, 2, 3, 2047, 2048, 2049, 2050, 4095, 4096, 5799, 5800};
    const int levels = vector_level() + 1;
    for (int trial = 0; trial < 200; ++trial) {
      use_vector_level(static_cast<VectorLevel>(trial % levels));
      const std::int32_t height = heights[trial % 11];
      std::int32_t x[3], y[3];
      y[0] = static_cast<std::int32_t>(random() % 100) - static_cast<std::int32_t>(random() % 3000);
      y[1] = y[0] + height;
      y[2] = y[0] + static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(height + 1));
      for (int v = 0; v < 3; ++v) {
        x[v] = static_cast<std::int32_t>(random() % 2000) - 840;
        triangle_x[v] = x[v];
        triangle_y[v] = y[v];
      }
      span_colour = static_cast<std::uint32_t>(random());
      fill_triangle();
      reference_fill_triangle(expected, x, y, span_colour);
      if (frame.pixels != expected) {
        std::fprintf(stderr, "trial %d (height %d) differs\n", trial, height);
        return 1;
      }
    }
    return 0;
  });
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
}

}  // namespace
