// The built-in asset block: every picture, palette, table, the object, the
// captions and the music module, in one contiguous block in this order with
// no gaps. Two passes read across asset boundaries (the warp texture window
// and the blur's noise window), so the offsets below are part of the design.
//
// The block is writable only where the demo writes: the object's face list
// (converted once at start-up), its vertices (scaled and restored during a
// pulse) and the captions' start fields. Everything else is read through the
// const pointers below. The block starts one byte past a 16-byte boundary so
// that the tunnel offsets, the object and the caption rows are naturally
// aligned; the sync tables are not, and are read with memcpy.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t asset_block_size = 1121675;

extern "C" std::uint8_t asset_block[asset_block_size];

// Offsets from the start of the block, in bytes.
inline constexpr std::uint32_t sprite_picture_offset = 0;
inline constexpr std::uint32_t sprite_palette_offset = 64000;
inline constexpr std::uint32_t end_picture_offset = 64768;
inline constexpr std::uint32_t alternating_picture_1_offset = 128768;
inline constexpr std::uint32_t alternating_picture_2_offset = 192768;
inline constexpr std::uint32_t object_flash_positions_offset = 256768;
inline constexpr std::uint32_t object_pulse_positions_offset = 256808;
inline constexpr std::uint32_t picture_swap_positions_offset = 256844;
inline constexpr std::uint32_t sine_table_offset = 257084;
inline constexpr std::uint32_t embedded_module_offset = 257340;
inline constexpr std::uint32_t spacer_offset = 688474;
inline constexpr std::uint32_t tunnel_offsets_offset = 688475;
inline constexpr std::uint32_t font_bitmap_offset = 816475;
inline constexpr std::uint32_t font_palette_offset = 858475;
inline constexpr std::uint32_t opening_picture_offset = 859243;
inline constexpr std::uint32_t mask_picture_offset = 923243;
inline constexpr std::uint32_t warp_palette_offset = 987243;
inline constexpr std::uint32_t warp_texture_offset = 988011;
inline constexpr std::uint32_t demo_object_offset = 1119083;
inline constexpr std::uint32_t caption_table_offset = 1120555;
inline constexpr std::uint32_t caption_texts_offset = 1121355;

// Sizes, in bytes.
inline constexpr std::uint32_t picture_bytes = 64000;  // 320 x 200, one byte per pixel
inline constexpr std::uint32_t palette_bytes = 768;    // 256 entries of three 6-bit components
inline constexpr std::uint32_t embedded_module_size = 431134;
inline constexpr std::uint32_t tunnel_offsets_bytes = 128000;
inline constexpr std::uint32_t font_bitmap_bytes = 42000;
inline constexpr std::uint32_t warp_texture_bytes = 131072;  // the 65536-byte texture, twice
inline constexpr std::uint32_t demo_object_bytes = 1472;
inline constexpr std::uint32_t caption_table_bytes = 800;
inline constexpr std::uint32_t caption_texts_bytes = 320;

// Where the passes read across boundaries: texel i of the warp texture is
// block byte warp_texel_window_offset + i (i = 0..65535), the 65536 bytes
// that start 56245 bytes into the doubled texture; the blur's noise window
// starts 480 bytes before the second alternating picture.
inline constexpr std::uint32_t warp_texel_window_offset = 1044256;
inline constexpr std::uint32_t noise_window_offset = 192288;

// The assets by name.
inline const std::uint8_t* const sprite_picture = asset_block + sprite_picture_offset;
inline const std::uint8_t* const sprite_palette = asset_block + sprite_palette_offset;
inline const std::uint8_t* const end_picture = asset_block + end_picture_offset;
inline const std::uint8_t* const alternating_picture_1 = asset_block + alternating_picture_1_offset;
inline const std::uint8_t* const alternating_picture_2 = asset_block + alternating_picture_2_offset;
inline const std::uint8_t* const object_flash_positions = asset_block + object_flash_positions_offset;
inline const std::uint8_t* const object_pulse_positions = asset_block + object_pulse_positions_offset;
inline const std::uint8_t* const picture_swap_positions = asset_block + picture_swap_positions_offset;
inline const std::uint8_t* const sine_table = asset_block + sine_table_offset;
inline const std::uint8_t* const embedded_module = asset_block + embedded_module_offset;
inline const std::uint8_t* const tunnel_offsets = asset_block + tunnel_offsets_offset;
inline const std::uint8_t* const font_bitmap = asset_block + font_bitmap_offset;
inline const std::uint8_t* const font_palette = asset_block + font_palette_offset;
inline const std::uint8_t* const opening_picture = asset_block + opening_picture_offset;
inline const std::uint8_t* const mask_picture = asset_block + mask_picture_offset;
inline const std::uint8_t* const warp_palette = asset_block + warp_palette_offset;
inline const std::uint8_t* const warp_texture = asset_block + warp_texture_offset;
inline const std::uint8_t* const warp_texel_window = asset_block + warp_texel_window_offset;
inline const std::uint8_t* const noise_window = asset_block + noise_window_offset;
// The writable ones.
inline std::uint8_t* const stored_demo_object = asset_block + demo_object_offset;
inline std::uint8_t* const stored_caption_table = asset_block + caption_table_offset;
inline const std::uint8_t* const caption_texts = asset_block + caption_texts_offset;
