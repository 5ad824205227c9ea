// The scenes' animation state and their sync tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "assets/assets.h"
#include "demo/demo.h"
#include "fx2d/fx2d.h"
#include "music/music.h"
#include "render3d/render3d.h"
#include "shell/shell.h"

namespace {

class Scenes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    build_rotation_tables();
    build_sin_cos_tables();
    build_reciprocal_table();
    init_captions_and_palettes();
    build_warp_table();
    resolve_caption_table();
  }
  void SetUp() override {
    frame_buffer = frame.data();
    demo_song = &song;
    at(0x0000);
  }
  void TearDown() override {
    demo_song = nullptr;
    frame_buffer = nullptr;
  }
  void at(std::uint32_t position) {
    song.order.store(static_cast<std::int32_t>(position >> 8));
    song.row.store(static_cast<std::int32_t>(position & 0xFF));
  }

  std::vector<std::uint16_t> frame = std::vector<std::uint16_t>(64000, 0);
  Song song{};
};

TEST_F(Scenes, TheObjectCirclesAnEllipseTenStepsAFrame) {
  orbit_angle = 0;
  scene_2_frame();
  EXPECT_EQ(object_x, 120);
  EXPECT_EQ(object_y, 0);
  EXPECT_EQ(object_z, 300);
  EXPECT_EQ(orbit_angle, 10);
  scene_2_frame();
  EXPECT_EQ(object_x, 120);  // 120 cos(10 steps) = 119.05
  EXPECT_EQ(object_y, 4);    // 70 sin(10 steps) = 4.29
}

TEST_F(Scenes, TheMaskFadeFallsTo81AndTheNextSceneRaisesItTo254) {
  fade_level = 255;
  for (int frame_number = 0; frame_number < 173; ++frame_number) {
    scene_3_frame();
  }
  EXPECT_EQ(fade_level, 82);
  scene_3_frame();
  EXPECT_EQ(fade_level, 81);
  for (int frame_number = 0; frame_number < 10; ++frame_number) {
    scene_3_frame();
  }
  EXPECT_EQ(fade_level, 81);
  blend_counter = 0;
  for (int frame_number = 0; frame_number < 200; ++frame_number) {
    scene_4_frame();
  }
  EXPECT_EQ(fade_level, 254);
  // The blend's weight stops at 15, its counter one below.
  EXPECT_EQ(blend_counter, 14);
}

TEST_F(Scenes, TheTrailStopsGrowingAtAHundredPointsAndKeepsItsFirstOnes) {
  trail_count = 0;
  blend_counter = 14;
  for (int frame_number = 0; frame_number < 100; ++frame_number) {
    scene_5_frame();
  }
  EXPECT_EQ(trail_count, 100u);
  EXPECT_EQ(blend_counter, 30);
  std::vector<Point3> first(trail_points, trail_points + trail_capacity);
  for (int frame_number = 0; frame_number < 50; ++frame_number) {
    scene_5_frame();
  }
  EXPECT_EQ(trail_count, 100u);
  for (std::uint32_t i = 0; i < trail_capacity; ++i) {
    EXPECT_EQ(trail_points[i].x, first[i].x);
    EXPECT_EQ(trail_points[i].y, first[i].y);
    EXPECT_EQ(trail_points[i].z, first[i].z);
  }
}

TEST_F(Scenes, TheCloudStartsWithTheGeneratorsFirstValues) {
  cloud_seed = 9273;
  generate_cloud();
  EXPECT_EQ(cloud_points[0].x, -25357.0f);
  EXPECT_EQ(cloud_points[0].y, -1202.0f);
  EXPECT_EQ(cloud_points[0].z, -24613.0f);
  EXPECT_EQ(cloud_points[999].z, static_cast<float>(static_cast<std::int16_t>(cloud_seed)));
}

TEST_F(Scenes, ASpriteIsDrawnOnlyWhereItsWholeGlowFits) {
  const ScreenPoint points[] = {{255, 157, 0}, {256, 157, 0}, {255, 158, 0}, {-1, 10, 0}};
  for (std::size_t i = 0; i < 4; ++i) {
    std::fill(frame.begin(), frame.end(), 0);
    point_screen[0] = points[i];
    sprite_pass(1);
    const bool drawn = std::any_of(frame.begin(), frame.end(), [](std::uint16_t p) { return p != 0; });
    EXPECT_EQ(drawn, i == 0) << "point " << points[i].x << ", " << points[i].y;
  }
}

TEST_F(Scenes, ListedRowsSwapThePicturesEveryFrameExceptTheOneListedTwice) {
  set_up_pictures();
  at(0x0E04);
  scene_7_frame();
  EXPECT_EQ(picture_front, alternating_picture_2);
  scene_7_frame();
  EXPECT_EQ(picture_front, alternating_picture_1);
  at(0x0E3C);
  scene_7_frame();
  EXPECT_EQ(picture_front, alternating_picture_1);
  at(0x0E05);  // not listed
  scene_7_frame();
  EXPECT_EQ(picture_front, alternating_picture_1);
}

TEST_F(Scenes, TheCloudSceneFillsWithThePositionAsAColourOnEveryOtherPixel) {
  // A cloud that lands nowhere on the screen draws no sprite, leaving the
  // fill alone.
  const float nowhere = std::numeric_limits<float>::quiet_NaN();
  std::fill(cloud_points, cloud_points + cloud_capacity, Point3{nowhere, nowhere, nowhere});
  at(0x0C05);
  scene_6_frame();
  for (std::size_t i = 0; i < frame.size(); i += 2) {
    ASSERT_EQ(frame[i], 0x0C05) << "pixel " << i;
    ASSERT_EQ(frame[i + 1], 0) << "pixel " << i + 1;
  }
  at(0x0C06);
  scene_6_frame();
  EXPECT_EQ(frame[0], 0x0C06);
}

}  // namespace
