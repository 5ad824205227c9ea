// The position queries that the demo's timeline reads.
#include <gtest/gtest.h>

#include "music/internal.h"

namespace {

struct PositionTest : ::testing::Test {
  Song song = {};
  void TearDown() override { demo_song = nullptr; }
};

TEST_F(PositionTest, PacksOrderAndRowOfTheDemoSong) {
  demo_song = &song;
  song.order = 3;
  song.row = 16;
  EXPECT_EQ(song_position(), 0x0310);
  song.order = 5;
  song.row = 63;
  EXPECT_EQ(song_position(), 0x053F);
  EXPECT_EQ(song_order(&song), 5);
  EXPECT_EQ(song_row(&song), 63);
}

TEST_F(PositionTest, OrderAbove255WrapsInTheHighByte) {
  demo_song = &song;
  song.order = 256;
  song.row = 1;
  EXPECT_EQ(song_position(), 0x0001);
  song.order = 0x1FF;
  song.row = 0x1FE;
  EXPECT_EQ(song_position(), 0xFFFE);
}

TEST_F(PositionTest, NullSongsGiveZero) {
  EXPECT_EQ(song_order(nullptr), 0);
  EXPECT_EQ(song_row(nullptr), 0);
  EXPECT_EQ(song_position(), 0);
}

}  // namespace
