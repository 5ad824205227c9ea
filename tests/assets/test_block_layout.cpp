// The asset block: every asset at its place, the committed files inside it,
// and the two windows that read across asset boundaries.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "asset_test_data.h"
#include "assets/assets.h"

namespace {

using asset_test::committed_file;

struct Entry {
  const char* file;  // committed file, or nullptr for the spacer
  std::uint32_t offset;
  std::uint32_t size;
  const std::uint8_t* named;  // the named pointer, where there is one
};

// The layout, in block order.
std::vector<Entry> layout() {
  return {
      {"sprite_picture.bin", sprite_picture_offset, 64000, sprite_picture},
      {"sprite_palette.pal", sprite_palette_offset, 768, sprite_palette},
      {"end_picture.bin", end_picture_offset, 64000, end_picture},
      {"alternating_picture_1.bin", alternating_picture_1_offset, 64000, alternating_picture_1},
      {"alternating_picture_2.bin", alternating_picture_2_offset, 64000, alternating_picture_2},
      {"object_flash_positions.bin", object_flash_positions_offset, 40, object_flash_positions},
      {"object_pulse_positions.bin", object_pulse_positions_offset, 36, object_pulse_positions},
      {"picture_swap_positions.bin", picture_swap_positions_offset, 240, picture_swap_positions},
      {"sine_table.bin", sine_table_offset, 256, sine_table},
      {"tolvanes.xm", embedded_module_offset, 431134, embedded_module},
      {nullptr, spacer_offset, 1, nullptr},
      {"tunnel_offsets.bin", tunnel_offsets_offset, 128000, tunnel_offsets},
      {"font_bitmap.bin", font_bitmap_offset, 42000, font_bitmap},
      {"font_palette.pal", font_palette_offset, 768, font_palette},
      {"opening_picture.bin", opening_picture_offset, 64000, opening_picture},
      {"mask_picture.bin", mask_picture_offset, 64000, mask_picture},
      {"warp_palette.pal", warp_palette_offset, 768, warp_palette},
      {"warp_texture.bin", warp_texture_offset, 131072, warp_texture},
      {"demo_object.bin", demo_object_offset, 1472, stored_demo_object},
      {"caption_table.bin", caption_table_offset, 800, stored_caption_table},
      {"caption_texts.bin", caption_texts_offset, 320, caption_texts},
  };
}

TEST(BlockLayout, OffsetsFollowTheTableWithNoGaps) {
  // The offsets as the layout gives them.
  const std::uint32_t expected[] = {0,      64000,  64768,  128768, 192768,  256768,  256808,
                                    256844, 257084, 257340, 688474, 688475,  816475,  858475,
                                    859243, 923243, 987243, 988011, 1119083, 1120555, 1121355};
  const std::vector<Entry> entries = layout();
  ASSERT_EQ(entries.size(), std::size(expected));
  std::uint32_t next = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(entries[i].file != nullptr ? entries[i].file : "spacer");
    EXPECT_EQ(entries[i].offset, expected[i]);
    EXPECT_EQ(entries[i].offset, next);
    if (entries[i].named != nullptr) {
      EXPECT_EQ(entries[i].named, asset_block + entries[i].offset);
    }
    next = entries[i].offset + entries[i].size;
  }
  EXPECT_EQ(next, 1121675u);
  EXPECT_EQ(asset_block_size, 1121675u);
}

TEST(BlockLayout, HoldsTheCommittedFilesInOrder) {
  for (const Entry& entry : layout()) {
    if (entry.file == nullptr) {
      EXPECT_EQ(asset_block[entry.offset], 0) << "the spacer";
      continue;
    }
    SCOPED_TRACE(entry.file);
    const std::vector<std::uint8_t> file = committed_file(entry.file);
    const bool doubled = std::string(entry.file) == "warp_texture.bin";
    ASSERT_EQ(file.size() * (doubled ? 2 : 1), entry.size);
    EXPECT_EQ(std::memcmp(asset_block + entry.offset, file.data(), file.size()), 0);
    if (doubled) {
      EXPECT_EQ(std::memcmp(asset_block + entry.offset + file.size(), file.data(), file.size()), 0);
    }
  }
}

TEST(BlockLayout, StartsOnePastASixteenByteBoundary) {
  const auto address = reinterpret_cast<std::uintptr_t>(asset_block);
  EXPECT_EQ(address % 16, 1u);
  // So the records read in place are aligned for their fields.
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(tunnel_offsets) % 2, 0u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(stored_demo_object) % 4, 0u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(stored_caption_table) % 4, 0u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(caption_texts) % 4, 0u);
}

TEST(BlockWindows, WarpTexelWindowHoldsTheWholeTextureShifted) {
  EXPECT_EQ(warp_texel_window_offset, warp_texture_offset + 56245);
  EXPECT_EQ(std::memcmp(warp_texture, warp_texture + 65536, 65536), 0) << "the two halves differ";
  for (std::uint32_t i = 0; i < 65536; ++i) {
    ASSERT_EQ(warp_texel_window[i], warp_texture[(56245 + i) % 65536]) << "texel " << i;
  }
  // The window ends inside the doubled texture.
  EXPECT_LE(warp_texel_window_offset + 65536, warp_texture_offset + warp_texture_bytes);
}

TEST(BlockWindows, NoiseWindowRunsFromThePictureIntoTheModule) {
  EXPECT_EQ(noise_window_offset, alternating_picture_2_offset - 480);
  // The last 480 bytes of the first alternating picture, then the second.
  EXPECT_EQ(std::memcmp(noise_window, alternating_picture_1 + picture_bytes - 480, 480), 0);
  EXPECT_EQ(noise_window + 480, alternating_picture_2);
  EXPECT_EQ(noise_window + 480 + picture_bytes, object_flash_positions);
  EXPECT_EQ(noise_window + 480 + picture_bytes + 316, sine_table);
  EXPECT_EQ(noise_window + 65052, embedded_module);
  // The furthest read (start 65535, 128000 bytes) stays inside the module.
  const std::uint32_t last_read = noise_window_offset + 65535 + 127999;
  EXPECT_EQ(last_read, 385822u);
  EXPECT_LT(last_read, embedded_module_offset + embedded_module_size);
}

}  // namespace
