// Shared set-up for the 2D effect tests: the frame buffer points at a test
// frame, and the asset block, the scrolls and the palettes are saved before
// each test and put back after it, so a test may fill them with whatever
// synthetic data it needs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "assets/assets.h"
#include "fx2d/fx2d.h"
#include "shell/shell.h"
#include "support/vector_levels.h"

class Fx2dTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_assets_.assign(asset_block, asset_block + asset_block_size);
    saved_frame_buffer_ = frame_buffer;
    saved_warp_scroll_ = warp_scroll;
    saved_noise_scroll_ = noise_scroll;
    for (std::uint32_t i = 0; i < palette_entries; ++i) saved_colours_[i] = warp_colours[i];
    frame.assign(effect_pixels, 0);
    frame_buffer = frame.data();
  }

  void TearDown() override {
    std::copy(saved_assets_.begin(), saved_assets_.end(), asset_block);
    frame_buffer = saved_frame_buffer_;
    warp_scroll = saved_warp_scroll_;
    noise_scroll = saved_noise_scroll_;
    for (std::uint32_t i = 0; i < palette_entries; ++i) warp_colours[i] = saved_colours_[i];
    convert_warp_texture();
  }

  void randomise(std::uint8_t* bytes, std::uint32_t count) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(byte(random));
  }
  void randomise(std::uint16_t* words, std::uint32_t count) {
    std::uniform_int_distribution<int> word(0, 0xFFFF);
    for (std::uint32_t i = 0; i < count; ++i) words[i] = static_cast<std::uint16_t>(word(random));
  }
  void randomise_assets() { randomise(asset_block, asset_block_size); }
  std::uint16_t random_word() {
    return static_cast<std::uint16_t>(std::uniform_int_distribution<int>(0, 0xFFFF)(random));
  }

  // Index of the first difference, or -1 when the two images agree.
  static long first_difference(const std::uint16_t* a, const std::uint16_t* b, std::uint32_t count = effect_pixels) {
    for (std::uint32_t i = 0; i < count; ++i) {
      if (a[i] != b[i]) return static_cast<long>(i);
    }
    return -1;
  }

  std::vector<std::uint16_t> frame;
  std::mt19937 random{20260607};

 private:
  KeepVectorLevel keep_level_;  // a test may switch levels with use_vector_level
  std::vector<std::uint8_t> saved_assets_;
  std::uint16_t* saved_frame_buffer_ = nullptr;
  std::uint16_t saved_warp_scroll_ = 0;
  std::uint16_t saved_noise_scroll_ = 0;
  std::uint16_t saved_colours_[palette_entries] = {};
};
