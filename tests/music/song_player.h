// Plays small test modules tick by tick on the offline output, so that the
// tests can look at the channels, the song and the voices between ticks.
#pragma once

#include <gtest/gtest.h>

#include "music/module_writer.h"

struct SongPlayerTest : ::testing::Test {
  Song* song = nullptr;
  std::int64_t blocks_before = 0;

  void SetUp() override {
    blocks_before = music_blocks_in_use.load();
    ASSERT_TRUE(open_offline_output(44100));
  }
  void TearDown() override {
    free_song(song);
    close_output();
    EXPECT_EQ(music_blocks_in_use.load(), blocks_before);
  }
  // Loads and starts the module; false when it did not load.
  bool start(const TestModule& module) {
    free_song(song);
    song = load_bytes(write_module(module));
    return song != nullptr && play_song(song);
  }
  void tick(int count = 1) {
    for (int k = 0; k < count; ++k) {
      song->tick_handler(song);
    }
  }
  Channel& channel(int c) { return song->channels[c]; }
  Voice& voice(int c) { return current_output->voice_table[c]; }
  std::uint16_t position() const {
    return static_cast<std::uint16_t>((song_order(song) & 0xFF) << 8 | (song_row(song) & 0xFF));
  }
};

// A module of one instrument with a 256-frame looped sample, channels x rows
// cells in one pattern, at the given tempo and BPM.
inline TestModule test_module(std::uint16_t channels, std::int32_t rows,
                              const std::vector<std::pair<std::pair<int, int>, Cell>>& cells, std::uint16_t tempo = 6,
                              std::uint16_t bpm = 125) {
  TestModule module = one_pattern_module(channels, rows, cells);
  module.tempo = tempo;
  module.bpm = bpm;
  return module;
}
