// Depth keys, the quicksort's order, screen rejection and draw_faces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "reference.h"
#include "support/vector_levels.h"

namespace {

// One face per group of three vertices, offsets already converted.
std::vector<Face> faces_of(std::uint32_t n) {
  std::vector<Face> faces(n);
  for (std::uint32_t k = 0; k < n; ++k) {
    faces[k] = {{3 * k * 12, (3 * k + 1) * 12, (3 * k + 2) * 12}};
  }
  return faces;
}

std::int32_t key_for(float z0, float z1, float z2) {
  std::uint32_t a, b, c;
  std::memcpy(&a, &z0, 4);
  std::memcpy(&b, &z1, 4);
  std::memcpy(&c, &z2, 4);
  return static_cast<std::int32_t>(a + b + c);
}

TEST(Faces, ConvertFaceListTurnsIndicesIntoByteOffsets) {
  std::uint32_t words[6] = {0, 1, 41, 7, 2, 0x20000000};
  convert_face_list(words, 5);
  EXPECT_EQ(words[0], 0u);
  EXPECT_EQ(words[1], 12u);
  EXPECT_EQ(words[2], 492u);
  EXPECT_EQ(words[3], 84u);
  EXPECT_EQ(words[4], 24u);
  EXPECT_EQ(words[5], 0x20000000u);  // past the count: untouched
}

TEST(Faces, KeysAddTheRawBitsOfTheThreeDepthsWithWrapAround) {
  const std::vector<Face> faces = faces_of(3);
  const Point3 camera[9] = {{0, 0, 10},     {0, 0, 10},    {0, 0, 10},    {9, 9, 20},   {9, 9, 20},
                            {9, 9, 300.5f}, {0, 0, 1e38f}, {0, 0, 1e38f}, {0, 0, -3.0f}};
  compute_face_keys(3, faces.data(), camera);
  EXPECT_EQ(depth_list[0].key, key_for(10, 10, 10));
  EXPECT_EQ(depth_list[1].key, key_for(20, 20, 300.5f));
  EXPECT_EQ(depth_list[2].key, key_for(1e38f, 1e38f, -3.0f));  // wraps past 2^32
  EXPECT_EQ(depth_list[0].face, &faces[0]);
  EXPECT_EQ(depth_list[2].face, &faces[2]);
  // Farther faces get larger keys.
  EXPECT_GT(depth_list[1].key, depth_list[0].key);
}

void set_keys(const std::vector<std::int32_t>& keys, const std::vector<Face>& faces) {
  for (std::size_t k = 0; k < keys.size(); ++k) {
    depth_list[k] = {keys[k], &faces[k]};
  }
}

std::vector<std::size_t> face_order(std::size_t n, const std::vector<Face>& faces) {
  std::vector<std::size_t> order;
  for (std::size_t k = 0; k < n; ++k) {
    order.push_back(static_cast<std::size_t>(depth_list[k].face - faces.data()));
  }
  return order;
}

// Equal keys come out in the order the partition steps give, which is
// neither stable nor reversed.
TEST(Faces, EqualKeysTakeTheOrderOfThePartitionSteps) {
  const std::vector<Face> faces = faces_of(4);
  set_keys({5, 5, 5}, faces);
  sort_faces(3);
  EXPECT_EQ(face_order(3, faces), (std::vector<std::size_t>{2, 1, 0}));
  set_keys({5, 5, 5, 5}, faces);
  sort_faces(4);
  EXPECT_EQ(face_order(4, faces), (std::vector<std::size_t>{2, 3, 0, 1}));
  set_keys({1, 9, 9, 1}, faces);
  sort_faces(4);
  EXPECT_EQ(face_order(4, faces), (std::vector<std::size_t>{2, 1, 3, 0}));
}

TEST(Faces, OneFaceIsNotSorted) {
  const std::vector<Face> faces = faces_of(2);
  set_keys({1, 2}, faces);
  sort_faces(1);
  EXPECT_EQ(face_order(2, faces), (std::vector<std::size_t>{0, 1}));
  sort_faces(0);
  EXPECT_EQ(face_order(2, faces), (std::vector<std::size_t>{0, 1}));
}

TEST(Faces, SortRangeStaysInsideTheDepthList) {
  const std::vector<Face> faces = faces_of(2000);
  std::vector<std::int32_t> keys(2000);
  for (std::size_t k = 0; k < keys.size(); ++k) keys[k] = static_cast<std::int32_t>(k);
  set_keys(keys, faces);
  sort_range(-5, 5000);  // cut to 0 .. 1999
  EXPECT_EQ(depth_list[0].key, 1999);
  EXPECT_EQ(depth_list[1999].key, 0);
  sort_range(7, 3);  // empty
  EXPECT_EQ(depth_list[7].key, 1992);
}

TEST(Faces, SortLeavesAnyKeysInDescendingSignedOrder) {
  std::mt19937 random(11);
  const std::vector<Face> faces = faces_of(2000);
  for (int trial = 0; trial < 60; ++trial) {
    const auto n = static_cast<std::uint32_t>(1 + random() % 2000);
    std::vector<std::int32_t> keys(n);
    const std::uint32_t spread = trial % 3 == 0 ? 4 : 0xFFFFFFFFu;  // many equal keys, or any
    for (auto& key : keys) {
      key = static_cast<std::int32_t>(spread == 4 ? random() % spread : random());
    }
    if (trial == 1) {
      std::sort(keys.begin(), keys.end());  // already ascending: the hardest order for the steps
    }
    keys[0] = trial % 2 ? INT32_MIN : INT32_MAX;
    set_keys(keys, faces);
    sort_faces(n);
    std::vector<std::int32_t> sorted;
    std::vector<std::size_t> seen;
    for (std::uint32_t k = 0; k < n; ++k) {
      sorted.push_back(depth_list[k].key);
      const std::size_t face = static_cast<std::size_t>(depth_list[k].face - faces.data());
      EXPECT_EQ(depth_list[k].key, keys[face]);  // entries move whole
      seen.push_back(face);
    }
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), std::greater<>()));
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());  // a permutation
  }
}

// sort_faces may take a shortcut; whatever it does, it must leave the
// entries exactly where the quicksort's own steps put them, ties or none.
TEST(Faces, SortFacesLeavesTheQuicksortsOrder) {
  const KeepVectorLevel keep;
  const std::vector<Face> faces = faces_of(300);
  for (const VectorLevel level : levels_to_test()) {
    use_vector_level(level);
    std::mt19937 random(29 + level);
    for (int trial = 0; trial < 400; ++trial) {
      const auto n = static_cast<std::uint32_t>(2 + random() % (trial < 300 ? 140 : 298));
      std::vector<std::int32_t> keys(n);
      for (auto& key : keys) {
        key = static_cast<std::int32_t>(random());
      }
      if (trial % 4 == 1) {
        keys[random() % n] = keys[random() % n];  // one tie, perhaps
      } else if (trial % 4 == 2) {
        for (auto& key : keys) key = static_cast<std::int32_t>(random() % (n / 2 + 1));  // many ties
      } else if (trial % 4 == 3) {
        keys[random() % n] = INT32_MIN;  // the lowest key counts like any other
        keys[random() % n] = INT32_MAX;
      }
      set_keys(keys, faces);
      sort_range(0, static_cast<std::int32_t>(n - 1));
      const std::vector<std::size_t> expected = face_order(n, faces);
      set_keys(keys, faces);
      sort_faces(n);
      ASSERT_EQ(face_order(n, faces), expected) << vector_level_name(level) << ", n = " << n << ", trial " << trial;
      for (std::uint32_t k = 0; k < n; ++k) {
        ASSERT_EQ(depth_list[k].key, keys[expected[k]]);
      }
    }
  }
}

ScreenPoint at(std::int32_t x, std::int32_t y) { return {x, y, 0}; }

TEST(Faces, RejectionAtTheScreenEdges) {
  const Face face = {{0, 12, 24}};
  auto rejected = [&](ScreenPoint a, ScreenPoint b, ScreenPoint c) {
    const ScreenPoint screen[3] = {a, b, c};
    return reject_face(face, screen);
  };
  EXPECT_TRUE(rejected(at(0, 50), at(-5, 60), at(0, 70)));
  EXPECT_FALSE(rejected(at(0, 50), at(1, 60), at(0, 70)));
  EXPECT_TRUE(rejected(at(319, 50), at(400, 60), at(319, 70)));
  EXPECT_FALSE(rejected(at(318, 50), at(400, 60), at(319, 70)));
  EXPECT_TRUE(rejected(at(10, 199), at(20, 199), at(30, 199)));
  EXPECT_FALSE(rejected(at(10, 198), at(20, 199), at(30, 250)));
  EXPECT_TRUE(rejected(at(10, 0), at(20, -40), at(30, 0)));
  EXPECT_FALSE(rejected(at(10, 0), at(20, -40), at(30, 1)));
  // The failed projection's value is far off to the left and above.
  EXPECT_TRUE(rejected(at(projection_failed, 5), at(-3, 60), at(0, 100)));
  EXPECT_TRUE(rejected(at(5, projection_failed), at(60, projection_failed), at(100, projection_failed)));
}

struct DrawFacesTest : ::testing::Test {
  TestFrame frame;
  void SetUp() override { span_colour = 1; }
};

TEST_F(DrawFacesTest, OneFaceIsTestedAndDrawn) {
  const std::vector<Face> faces = faces_of(1);
  const Point3 camera[3] = {{0, 0, 5}, {0, 0, 5}, {0, 0, 5}};
  const ScreenPoint screen[3] = {at(10, 10), at(20, 10), at(10, 20)};
  draw_faces(1, faces.data(), camera, screen);
  EXPECT_EQ(frame.count_not(0), 55);
  EXPECT_EQ(triangle_x[0], 10);  // the face's vertices went to the fill
  EXPECT_EQ(triangle_y[2], 20);
}

TEST_F(DrawFacesTest, FarthestFaceIsDrawnFirst) {
  const std::vector<Face> faces = faces_of(2);
  const Point3 camera[6] = {{0, 0, 10}, {0, 0, 10}, {0, 0, 10}, {0, 0, 20}, {0, 0, 20}, {0, 0, 20}};
  const ScreenPoint screen[6] = {at(10, 10), at(20, 10), at(10, 20), at(50, 50), at(60, 50), at(50, 60)};
  draw_faces(2, faces.data(), camera, screen);
  EXPECT_EQ(depth_list[0].face, &faces[1]);
  EXPECT_EQ(depth_list[1].face, &faces[0]);
  // The last one drawn is the near face.
  EXPECT_EQ(triangle_y[0], 10);
  EXPECT_EQ(frame.count_not(0), 110);
}

// The order is visible where a lone pixel and a pixel pair overlap: the
// lone addition loses its carry, the pair addition passes it on.
TEST_F(DrawFacesTest, DrawingOrderDecidesWhereCarriesGo) {
  const std::vector<Face> faces = faces_of(2);
  // Face 0: row 10, columns 10..11 (one pair). Face 1: row 10, column 10 alone.
  const ScreenPoint screen[6] = {at(10, 10), at(12, 10), at(10, 11), at(10, 10), at(11, 10), at(10, 11)};
  const Point3 near_pair[6] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}};
  frame.at(10, 10) = 0xFFFE;
  draw_faces(2, faces.data(), near_pair, screen);  // lone pixel first, then the pair
  EXPECT_EQ(frame.at(10, 10), 0x0000);
  EXPECT_EQ(frame.at(11, 10), 0x0002);

  const Point3 near_lone[6] = {{0, 0, 2}, {0, 0, 2}, {0, 0, 2}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  frame.at(10, 10) = 0xFFFE;
  frame.at(11, 10) = 0;
  draw_faces(2, faces.data(), near_lone, screen);  // the pair first, then the lone pixel
  EXPECT_EQ(frame.at(10, 10), 0x0000);
  EXPECT_EQ(frame.at(11, 10), 0x0001);
}

TEST_F(DrawFacesTest, BothWindingOrdersAreDrawn) {
  const std::vector<Face> faces = faces_of(2);
  const Point3 camera[6] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 2}, {0, 0, 2}, {0, 0, 2}};
  const ScreenPoint screen[6] = {at(30, 20), at(90, 40), at(50, 90), at(50, 90), at(90, 40), at(30, 20)};
  draw_faces(2, faces.data(), camera, screen);
  int twos = 0;
  for (std::uint16_t p : frame.pixels) {
    EXPECT_TRUE(p == 0 || p == 2);
    twos += p == 2 ? 1 : 0;
  }
  EXPECT_GT(twos, 1000);
}

TEST_F(DrawFacesTest, RejectedAndClippedFacesDrawOnlyInsideTheArea) {
  const std::vector<Face> faces = faces_of(3);
  const Point3 camera[9] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 2}, {0, 0, 2},
                            {0, 0, 2}, {0, 0, 3}, {0, 0, 3}, {0, 0, 3}};
  // All on row 199: rejected. Rows 198, 199, 250: passes, but its only
  // drawable row starts at a single vertex and is empty. Rows 198, 198,
  // 250: row 198 is drawn, nothing below it.
  const ScreenPoint screen[9] = {at(10, 199), at(20, 199), at(30, 199), at(10, 198), at(40, 199),
                                 at(30, 250), at(10, 198), at(40, 198), at(30, 250)};
  draw_faces(2, faces.data(), camera, screen);
  EXPECT_EQ(frame.count_not(0), 0);
  draw_faces(3, faces.data(), camera, screen);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) {
      EXPECT_EQ(frame.at(x, y), y == 198 && x >= 10 && x < 40 ? 1 : 0) << x << "," << y;
    }
  }
}

TEST_F(DrawFacesTest, AtMost2000FacesAreDrawn) {
  const std::vector<Face> faces = faces_of(2001);
  std::vector<Point3> camera(3 * 2001, Point3{0, 0, 100});
  std::vector<ScreenPoint> screen(3 * 2001, at(-10, -10));  // all rejected...
  screen[3 * 2000] = at(100, 100);                          // ...but the 2001st
  screen[3 * 2000 + 1] = at(150, 100);
  screen[3 * 2000 + 2] = at(100, 150);
  camera[3 * 2000] = {0, 0, 1e6f};
  draw_faces(2001, faces.data(), camera.data(), screen.data());
  EXPECT_EQ(frame.count_not(0), 0);
}

}  // namespace
