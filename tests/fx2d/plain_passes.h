// Plain, step-by-step versions of the 2D passes, written straight from
// their rules with no shortcuts, for comparison with the real passes. They
// read the asset block through its offsets and take every other input as an
// argument.
#pragma once

#include <cstdint>

namespace plain {

inline constexpr std::uint32_t pixels = 64000;

void convert_palette(const std::uint8_t* source, std::uint16_t* destination);
void build_warp_table(std::uint16_t* table);
// Texel index -> texture byte, read from the block at the window's offset.
std::uint8_t texel(std::uint32_t index);
void draw_warp(const std::uint16_t* table, const std::uint16_t* colours, std::uint16_t scroll, std::uint16_t* out);
void draw_tunnel(bool distorted, const std::uint16_t* colours, std::uint16_t scroll, std::uint16_t* out);
void add_noise(std::uint16_t* frame, std::uint16_t noise_scroll);
void filter(std::uint16_t* frame);
void fade_through_mask(std::uint16_t* frame, std::uint8_t level);
void cross_blend(std::uint16_t* frame, const std::uint16_t* other, std::uint32_t weight, bool full);
void fill(std::uint16_t* frame, std::uint32_t pattern);
void copy_shifted(std::uint16_t* frame, const std::uint8_t* picture, std::uint32_t shift);
void copy_keyed(std::uint16_t* frame, const std::uint8_t* picture);

}  // namespace plain
