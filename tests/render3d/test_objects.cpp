// The built-in object as stored and drawn, its pulse, and the glow sprite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "assets/assets.h"
#include "fx2d/fx2d.h"
#include "music/music.h"
#include "reference.h"
#include "support/child_run.h"
#include "support/vector_levels.h"

namespace {

const float object_table[42][3] = {{-1.986755f, -82.80001f, -2.649014f},   {39.413246f, 25.586607f, 64.337616f},
                                   {-68.973366f, -41.40001f, 22.937601f},  {64.999855f, -41.40001f, 22.937601f},
                                   {-43.386757f, 25.586607f, 64.337616f},  {-43.386757f, 25.586618f, -69.63562f},
                                   {64.999855f, -41.400005f, -28.235622f}, {-68.973366f, -41.400005f, -28.235622f},
                                   {39.413246f, 25.586618f, -69.63562f},   {-27.573364f, 66.986626f, -44.049007f},
                                   {80.81325f, 0.0f, -2.649007f},          {-27.573364f, 66.98662f, 38.751007f},
                                   {-1.986755f, -7e-06f, 80.15101f},       {-68.973366f, 41.40001f, -28.235615f},
                                   {-27.573364f, -66.98662f, 38.750996f},  {-27.573364f, -66.98662f, -44.04902f},
                                   {39.413246f, -25.586618f, 64.33761f},   {39.413246f, -25.586607f, -69.63563f},
                                   {64.999855f, 41.40001f, -28.235615f},   {-43.386757f, -25.586607f, -69.63563f},
                                   {-1.986755f, 82.80001f, -2.648999f},    {-68.973366f, 41.400005f, 22.937609f},
                                   {64.999855f, 41.400005f, 22.937609f},   {-43.386757f, -25.586618f, 64.33761f},
                                   {23.599854f, -66.98662f, 38.750996f},   {-84.78676f, 0.0f, -2.649007f},
                                   {23.599854f, -66.98662f, -44.04902f},   {-1.986755f, 7e-06f, -85.44902f},
                                   {23.599854f, 66.986626f, -44.049007f},  {23.599854f, 66.98662f, 38.751007f},
                                   {-1.986755f, -22.885365f, 34.38028f},   {-1.986755f, -22.885359f, -39.6783f},
                                   {20.898603f, 37.02929f, -2.649004f},    {-39.01604f, -2e-06f, 20.236355f},
                                   {20.898603f, -37.02929f, -2.64901f},    {-1.986755f, 22.885365f, -39.678295f},
                                   {-1.986755f, 22.885359f, 34.380283f},   {-24.872114f, -37.02929f, -2.64901f},
                                   {35.04253f, 2e-06f, -25.534369f},       {-24.872114f, 37.02929f, -2.649004f},
                                   {35.04253f, -2e-06f, 20.236355f},       {-39.01604f, 2e-06f, -25.534369f}};

const std::uint32_t face_table[80][3] = {
    {0, 8, 1},    {1, 9, 2},    {2, 27, 3},   {3, 28, 4},   {4, 5, 0},    {5, 29, 6},   {6, 12, 7},   {7, 11, 8},
    {10, 15, 9},  {11, 14, 10}, {12, 18, 13}, {13, 17, 14}, {16, 21, 15}, {17, 20, 16}, {18, 24, 19}, {19, 23, 20},
    {22, 27, 21}, {23, 26, 22}, {24, 29, 25}, {25, 28, 26}, {30, 1, 2},   {30, 2, 3},   {30, 3, 4},   {30, 4, 0},
    {30, 0, 1},   {31, 5, 6},   {31, 6, 7},   {31, 7, 8},   {31, 8, 0},   {31, 0, 5},   {32, 8, 11},  {32, 11, 10},
    {32, 10, 9},  {32, 9, 1},   {32, 1, 8},   {33, 7, 12},  {33, 12, 13}, {33, 13, 14}, {33, 14, 11}, {33, 11, 7},
    {34, 14, 17}, {34, 17, 16}, {34, 16, 15}, {34, 15, 10}, {34, 10, 14}, {35, 13, 18}, {35, 18, 19}, {35, 19, 20},
    {35, 20, 17}, {35, 17, 13}, {36, 20, 23}, {36, 23, 22}, {36, 22, 21}, {36, 21, 16}, {36, 16, 20}, {37, 19, 24},
    {37, 24, 25}, {37, 25, 26}, {37, 26, 23}, {37, 23, 19}, {38, 26, 28}, {38, 28, 3},  {38, 3, 27},  {38, 27, 22},
    {38, 22, 26}, {39, 25, 29}, {39, 29, 5},  {39, 5, 4},   {39, 4, 28},  {39, 28, 25}, {40, 29, 24}, {40, 24, 18},
    {40, 18, 12}, {40, 12, 6},  {40, 6, 29},  {41, 2, 9},   {41, 9, 15},  {41, 15, 21}, {41, 21, 27}, {41, 27, 2}};

std::vector<Point3> model_copy() { return {demo_object.vertices, demo_object.vertices + 42}; }

bool same_bits(const std::vector<Point3>& a, const Point3* b) {
  return std::memcmp(a.data(), b, 42 * sizeof(Point3)) == 0;
}

struct ObjectTest : ::testing::Test {
  TestFrame frame;
  Song song = {};
  void SetUp() override {
    object_angle_a = object_angle_b = object_angle_c = 0;
    object_x = object_y = 0;
    object_z = 300;
    span_colour = 0x10CB;
  }
  void TearDown() override { demo_song = nullptr; }
  void play_at(std::int32_t order, std::int32_t row) {
    song.order = order;
    song.row = row;
    demo_song = &song;
  }
};

TEST_F(ObjectTest, ObjectIsResolvedIntoTheBlockAndConvertedOnce) {
  ASSERT_NE(demo_object.vertices, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uint8_t*>(demo_object.vertices), asset_block + 1119091);
  EXPECT_EQ(reinterpret_cast<std::uint8_t*>(demo_object.faces), asset_block + 1119595);
  build_reciprocal_table();  // again: must not convert a second time
  build_reciprocal_table();
  for (int v = 0; v < 42; ++v) {
    EXPECT_EQ(demo_object.vertices[v].x, object_table[v][0]) << v;
    EXPECT_EQ(demo_object.vertices[v].y, object_table[v][1]) << v;
    EXPECT_EQ(demo_object.vertices[v].z, object_table[v][2]) << v;
  }
  for (int f = 0; f < 80; ++f) {
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(demo_object.faces[f].vertex[k], face_table[f][k] * 12) << f;
    }
  }
}

TEST_F(ObjectTest, VertexZeroAtRest) {
  const std::vector<Point3> before = model_copy();
  play_at(5, 0x1C);  // one row before a pulse
  draw_object(demo_object);
  EXPECT_FLOAT_EQ(camera_vertices[0].x, -2.649014f);
  EXPECT_FLOAT_EQ(camera_vertices[0].y, -82.80001f);
  EXPECT_FLOAT_EQ(camera_vertices[0].z, 298.01324f);
  EXPECT_EQ(screen_vertices[0].x, 157);
  EXPECT_EQ(screen_vertices[0].y, 17);
  EXPECT_TRUE(same_bits(before, demo_object.vertices));
  EXPECT_GT(frame.count_not(0), 10000);
}

TEST_F(ObjectTest, PulseTriplesTheModelForOneDrawAndRestoresIt) {
  const std::vector<Point3> before = model_copy();
  play_at(5, 0x1D);
  draw_object(demo_object);
  EXPECT_FLOAT_EQ(vertex_backup[0].y, -82.80001f);
  EXPECT_FLOAT_EQ(camera_vertices[0].x, -7.947042f);
  EXPECT_FLOAT_EQ(camera_vertices[0].y, -248.40002f);
  EXPECT_FLOAT_EQ(camera_vertices[0].z, 294.03973f);
  EXPECT_EQ(screen_vertices[0].x, 152);
  EXPECT_EQ(screen_vertices[0].y, -153);
  EXPECT_TRUE(same_bits(before, demo_object.vertices));
  // Every listed position pulses; the frame is then larger than at rest.
  const int pulsed = frame.count_not(0);
  std::fill(frame.pixels.begin(), frame.pixels.end(), 0);
  play_at(0, 0);
  draw_object(demo_object);
  EXPECT_GT(pulsed, frame.count_not(0) * 2);
  for (std::uint32_t p : {0x0500u, 0x0520u, 0x0600u, 0x061Du, 0x0620u, 0x0700u, 0x071Du, 0x0720u}) {
    play_at(static_cast<std::int32_t>(p >> 8), static_cast<std::int32_t>(p & 0xFF));
    draw_object(demo_object);
    EXPECT_FLOAT_EQ(camera_vertices[0].y, -248.40002f) << std::hex << p;
  }
  EXPECT_TRUE(same_bits(before, demo_object.vertices));
}

// A position listed twice scales twice, and the model still comes back.
TEST_F(ObjectTest, PositionListedTwiceStillRestoresTheModel) {
  std::uint8_t* table = asset_block + object_pulse_positions_offset;
  std::uint8_t saved[36];
  std::memcpy(saved, table, 36);
  std::memcpy(table, table + 4, 4);  // entry 0 becomes 0x051D too
  const std::vector<Point3> before = model_copy();
  play_at(5, 0x1D);
  draw_object(demo_object);
  std::memcpy(table, saved, 36);
  EXPECT_FLOAT_EQ(camera_vertices[0].y, -82.80001f * 9.0f);
  EXPECT_TRUE(same_bits(before, demo_object.vertices));
}

TEST_F(ObjectTest, ObjectInOrbitStaysInsideTheDrawableArea) {
  for (int step = 0; step < 103; ++step) {
    object_angle_a += 8;
    object_angle_b += 4;
    object_angle_c += 1;
    lookup_sin_cos(step * 10);
    object_y = static_cast<std::int32_t>(std::nearbyint(70.0f * sin_value));
    object_x = static_cast<std::int32_t>(std::nearbyint(120.0f * cos_value));
    draw_object(demo_object);
  }
  for (int y = 0; y < 200; ++y) {
    EXPECT_EQ(frame.at(319, y), 0);
  }
  for (int x = 0; x < 320; ++x) {
    EXPECT_EQ(frame.at(x, 199), 0);
  }
  EXPECT_GT(frame.count_not(0), 30000);
}

// --- Sprites -------------------------------------------------------------------

struct SpriteTest : ::testing::Test {
  TestFrame frame;
  std::vector<std::uint8_t> saved_picture;
  std::uint16_t saved_colours[256];
  std::mt19937 random{99};

  void SetUp() override {
    saved_picture.assign(asset_block, asset_block + 64000);
    std::memcpy(saved_colours, sprite_colours, sizeof saved_colours);
    // A round glow, brightest in the middle, black around it.
    for (int y = 0; y < 42; ++y) {
      for (int x = 0; x < 64; ++x) {
        const double dx = (x - 31.5) / 32.0, dy = (y - 20.5) / 21.0;
        const double level = 1.0 - std::sqrt(dx * dx + dy * dy);
        asset_block[y * 320 + x] = static_cast<std::uint8_t>(level > 0 ? 255 * level : 0);
      }
    }
    for (int i = 0; i < 256; ++i) {
      sprite_colours[i] = static_cast<std::uint16_t>((i >> 3) << 11 | (i >> 2) << 5 | (i >> 3));
    }
    build_sprite_block();
  }
  void TearDown() override {
    std::memcpy(asset_block, saved_picture.data(), 64000);
    std::memcpy(sprite_colours, saved_colours, sizeof saved_colours);
    build_sprite_block();
  }
};

TEST_F(SpriteTest, OnBlackTheBlockTakesThePictureColours) {
  draw_sprite(0, 0);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x) {
      const std::uint16_t expected = x < 64 && y < 42 ? sprite_colours[asset_block[y * 320 + x]] : 0;
      ASSERT_EQ(frame.at(x, y), expected) << x << "," << y;
    }
  }
  EXPECT_EQ(frame.at(0, 0), 0);  // the black border
  EXPECT_NE(frame.at(31, 20), 0);
}

TEST_F(SpriteTest, FieldsSaturateSeparately) {
  for (int i = 0; i < 256; ++i) sprite_colours[i] = 0x8410;
  build_sprite_block();
  std::fill(frame.pixels.begin(), frame.pixels.end(), 0x7BEF);
  draw_sprite(100, 50);
  EXPECT_EQ(frame.at(100, 50), 0xFFFF);
  EXPECT_EQ(frame.at(163, 91), 0xFFFF);
  EXPECT_EQ(frame.at(99, 50), 0x7BEF);
  EXPECT_EQ(frame.at(164, 50), 0x7BEF);
  EXPECT_EQ(frame.at(100, 92), 0x7BEF);
  draw_sprite(100, 50);
  EXPECT_EQ(frame.at(130, 70), 0xFFFF);

  for (int i = 0; i < 256; ++i) sprite_colours[i] = 0x0800;
  build_sprite_block();
  std::fill(frame.pixels.begin(), frame.pixels.end(), 0x3800);
  draw_sprite(0, 0);
  EXPECT_EQ(frame.at(5, 5), 0x4000);
  // Green and blue at their maxima stay there; red keeps adding.
  std::fill(frame.pixels.begin(), frame.pixels.end(), 0x07FF);
  draw_sprite(0, 0);
  EXPECT_EQ(frame.at(5, 5), 0x0FFF);
}

TEST_F(SpriteTest, OverlappingSpritesGiveTheSameFrameInAnyOrder) {
  std::vector<std::pair<int, int>> points;
  for (int k = 0; k < 200; ++k) {
    points.emplace_back(static_cast<int>(random() % 60) + 100, static_cast<int>(random() % 40) + 60);
  }
  for (std::uint16_t& p : frame.pixels) p = static_cast<std::uint16_t>(random() & 0x18E3);
  const std::vector<std::uint16_t> start = frame.pixels;
  for (auto [x, y] : points) draw_sprite(x, y);
  const std::vector<std::uint16_t> forward = frame.pixels;
  frame.pixels = start;
  std::shuffle(points.begin(), points.end(), random);
  for (auto [x, y] : points) draw_sprite(x, y);
  EXPECT_EQ(frame.pixels, forward);
  EXPECT_NE(forward, start);
}

TEST_F(SpriteTest, MatchesThePlainPassOnRandomInput) {
  const KeepVectorLevel keep;
  const std::vector<VectorLevel> levels = levels_to_test();
  std::vector<std::uint16_t> expected(64000);
  for (int trial = 0; trial < 40; ++trial) {
    const VectorLevel level = levels[static_cast<std::size_t>(trial) % levels.size()];
    use_vector_level(level);
    for (int i = 0; i < 256; ++i) sprite_colours[i] = static_cast<std::uint16_t>(random());
    // Every other trial: black (colour 0) except for a few random runs, so
    // that whole groups of a row add nothing.
    const bool sparse = trial % 2 == 1;
    if (sparse) sprite_colours[0] = 0;
    for (int y = 0; y < 42; ++y) {
      const int run_start = static_cast<int>(random() % 64), run_end = run_start + static_cast<int>(random() % 20);
      for (int x = 0; x < 64; ++x) {
        const bool lit = !sparse || (x >= run_start && x < run_end) || random() % 50 == 0;
        asset_block[y * 320 + x] = lit ? static_cast<std::uint8_t>(random()) : 0;
      }
    }
    build_sprite_block();
    for (std::uint16_t& p : frame.pixels) p = static_cast<std::uint16_t>(random());
    expected = frame.pixels;
    for (int k = 0; k < 30; ++k) {
      const int x = static_cast<int>(random() % 257), y = static_cast<int>(random() % 159);
      draw_sprite(x, y);
      reference_draw_sprite(expected, x, y);
    }
    ASSERT_EQ(frame.pixels, expected) << "trial " << trial << " " << vector_level_name(level);
  }
}

TEST_F(SpriteTest, SpritesThatWouldLeaveTheFrameAreNotDrawn) {
  for (auto [x, y] : std::vector<std::pair<int, int>>{{-1, 10}, {257, 0}, {0, 159}, {INT32_MIN, 0}, {10, -42}}) {
    draw_sprite(x, y);
  }
  EXPECT_EQ(frame.count_not(0), 0);
  draw_sprite(256, 158);  // the last position that fits: right and bottom edges
  EXPECT_NE(frame.at(256 + 31, 158 + 20), 0);
  std::vector<std::uint16_t> expected(64000, 0);
  reference_draw_sprite(expected, 256, 158);
  EXPECT_EQ(frame.pixels, expected);
}

// The sprite's colours are converted into a block on the first draw. In a
// fresh process, with the palettes converted as start-up converts them,
// the first sprites drawn are what per-pixel lookups give.
TEST(SpriteStartUp, TheFirstSpritesMatchThePlainPass) {
  const ChildRun run = run_in_child(HeadlessScript{}, [] {
    TestFrame frame;
    convert_font_and_sprite_palettes();
    std::mt19937 random(5);
    for (std::uint16_t& p : frame.pixels) p = static_cast<std::uint16_t>(random());
    std::vector<std::uint16_t> expected = frame.pixels;
    const std::pair<int, int> places[] = {{0, 0}, {256, 158}, {0, 158}, {256, 0}, {131, 77}};
    for (const auto& [x, y] : places) {
      draw_sprite(x, y);
      reference_draw_sprite(expected, x, y);
    }
    return frame.pixels == expected ? 0 : 1;
  });
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
}

}  // namespace
