// 2D effects and colour: palette conversion to RGB565, the lookup-table warp
// and tunnel effects, the noise-and-blur pass, and the mask fade,
// cross-blends, fills and picture copies.
//
// Threads: everything here, functions and state alike, belongs to the main
// thread. The music thread never touches it.
//
// Pixels are RGB565 words: red bits 15-11 (0..31), green bits 10-5 (0..63),
// blue bits 4-0 (0..31). Each pass says whether it adds whole words (carries
// run from field to field) or works per field with saturation.
#pragma once

#include <cstdint>

// --- Colour formats and palettes -----------------------------------------

inline constexpr std::uint32_t palette_entries = 256;
// A stored palette: 256 entries of three bytes e0, e1, e2 (each a 6-bit
// intensity 0..63), entry i at bytes 3i .. 3i + 2.
inline constexpr std::uint32_t dac_palette_bytes = 3 * palette_entries;
using DacPalette = std::uint8_t[dac_palette_bytes];
// A converted palette: one RGB565 word per palette index.
using Palette565 = std::uint16_t[palette_entries];

// Converted once at start-up, read-only afterwards.
extern Palette565 warp_colours;    // from warp_palette, by build_warp_table
extern Palette565 font_colours;    // from font_palette; the glyph writer never draws index 0
extern Palette565 sprite_colours;  // from sprite_palette

// destination[i] = (e2 >> 1) << 11 | e1 << 5 | (e0 >> 1) for entry i of the
// 768-byte source: the first stored byte goes to blue, the third to red,
// each losing its lowest bit, the middle one to green whole. Any byte values
// are accepted; components above 63 are cut to their fields' bits in the
// way the original bit operations do (e2 keeps bits 5..1, e1 is shifted
// into the word and may spill into red, e0 keeps bits 5..1).
void convert_palette(const std::uint8_t* source, std::uint16_t* destination);

// font_colours from font_palette and sprite_colours from sprite_palette.
// Once at start-up (init_captions_and_palettes in demo/).
void convert_font_and_sprite_palettes();

// Field split and merge for the per-field passes.
inline constexpr std::uint32_t pixel_red(std::uint16_t p) { return p >> 11; }
inline constexpr std::uint32_t pixel_green(std::uint16_t p) { return (p >> 5) & 63u; }
inline constexpr std::uint32_t pixel_blue(std::uint16_t p) { return p & 31u; }
// red 0..31, green 0..63, blue 0..31; larger values are cut to their fields.
inline constexpr std::uint16_t merge_pixel(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return static_cast<std::uint16_t>((red & 31u) << 11 | (green & 63u) << 5 | (blue & 31u));
}
// Grey from a 5-bit level v (0..31): red v, green 2v, blue v.
inline constexpr std::uint16_t grey_pixel(std::uint32_t v) { return merge_pixel(v, 2 * v, v); }

// Fixed colours of the show.
inline constexpr std::uint16_t object_span_colour = 0x10CB;  // red 2, green 6, blue 11: the 3D scenes' triangle fill
inline constexpr std::uint16_t end_span_colour = 0x0001;     // blue 1: the triangle fill of the last scene
inline constexpr std::uint32_t white_fill_pattern = 0xFFFFFFFF;  // fill_frame pattern of the white flash
inline constexpr std::uint32_t black_fill_pattern = 0;

// --- Warp and tunnel -----------------------------------------------------

inline constexpr std::uint32_t effect_width = 320;
inline constexpr std::uint32_t effect_height = 200;
inline constexpr std::uint32_t effect_pixels = effect_width * effect_height;

// A second 320 x 200 RGB565 image in the frame buffer's layout (640-byte
// rows): the tunnels draw into it and cross_blend mixes it into the frame.
extern std::uint16_t second_buffer[effect_pixels];

// The texture scroll shared by the warp and the tunnels; its high byte is
// ph, its low byte pl. Starts at 0 and persists for the whole run.
extern std::uint16_t warp_scroll;

// 320 x 200 entries, row-major: high byte the texture column u(row, column),
// low byte the texture row v(row). Built by build_warp_table in a heap block
// of warp_table_bytes (the first 128000 hold the table); never freed. Null
// until built.
extern std::uint16_t* warp_table;
inline constexpr std::uint32_t warp_table_bytes = 129000;

// Allocates warp_table (on the first call only), converts warp_palette into
// warp_colours and fills the table. Once at start-up, after the frame buffer
// exists. If the heap cannot give the block, the table lives in a reserve
// block of the same size inside the program, so the effects always work.
void build_warp_table();

// Converts the texture, as the effects see it through the texel window,
// into RGB565 through warp_colours, once for every texel index, so that the
// effects need one lookup a pixel. build_warp_table calls it; whoever changes
// the texture or warp_colours afterwards calls it again.
void convert_warp_texture();

// Draws the wave warp into all 64000 pixels of frame_buffer, then steps
// warp_scroll down by 0x0505. Builds the table first if nobody has.
void draw_warp();

enum TunnelVariant : std::uint8_t {
  tunnel_plain,      // texture read at tunnel_offsets + warp_scroll; the scroll is left alone
  tunnel_distorted,  // coordinates bent through the sine table; the scroll then steps up by 0x0A0A
};

// Draws a tunnel into all 64000 pixels of second_buffer.
void draw_tunnel(TunnelVariant variant);

// --- Noise and blur ------------------------------------------------------

// Start of the noise read inside noise_window, stepped by 768 per blur.
// Starts at 0.
extern std::uint16_t noise_scroll;

// Adds asset-block noise to every byte of frame_buffer (whole bytes, with
// carries from blue into green and lost carries out of each byte), steps
// noise_scroll, then runs the in-place three-tap grey filter over pixels
// 321 .. 63680 from left to right.
void blur_frame();

// --- Mask fade, cross-blend, fills and picture copies ---------------------

// Darkens frame_buffer through mask_picture: with m the mask byte,
// d = max(0, ((256 - m) mod 256) - level); green loses d >> 2, red and blue
// d >> 3 each, saturating at 0. 255 changes nothing; mask 0 never darkens.
void fade_through_mask(std::uint8_t level);

enum BlendForm : std::uint8_t {
  blend_halved,  // the frame is lowered by w >> 1, second_buffer by (32 - w) >> 1
  blend_full,    // the frame is lowered by w, second_buffer by 32 - w
};

// Mixes second_buffer into frame_buffer: each image is lowered per field by
// its weight (green by twice the weight), saturating at 0, and the two are
// added, saturating at each field's maximum. The scenes pass weights 1..31;
// weights above 32 count as 32. second_buffer is not changed.
void cross_blend(std::uint32_t weight, BlendForm form);

// Fills frame_buffer: every pixel pair (2k, 2k + 1) gets the low and the
// high half of the 32-bit pattern (0xFFFFFFFF white, 0 black).
void fill_frame(std::uint32_t pattern);

// Puts a stored 320 x 200 8-bit picture into frame_buffer without a
// palette: pixel i = byte i >> shift as a word with high byte 0 (shift 4:
// blue levels 0..15, shift 3: 0..31). Shifts above 8 count as 8 (all 0).
void copy_picture_shifted(const std::uint8_t* picture, std::uint32_t shift);

// Where picture byte i is not 0, pixel i = that byte as a word (blue = byte
// AND 31, green = byte >> 5); under a 0 byte the pixel keeps its value.
void copy_picture_keyed(const std::uint8_t* picture);
