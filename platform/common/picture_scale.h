// The on-screen picture of a frame: the largest 4:3 rectangle of the
// output, and the frame scaled into it the way a monitor of the time showed
// a 320 x 200 mode (pixels 1.2 times taller than wide).
//
// The scale is the two-step one that keeps pixels sharp yet even: up by
// whole numbers with nearest-neighbour sampling (to the smallest multiple of
// the frame that covers the picture), then linearly down to the picture's
// size. Both steps are folded into one table per axis, so every picture
// pixel blends at most two frame pixels across and two down, with weights
// worked out once per size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct PictureRect {
  int x, y, width, height;
};

// The largest 4:3 rectangle in an output of width x height pixels, centred
// (odd leftovers go to the right and bottom bars).
PictureRect picture_rect(int output_width, int output_height);

// One picture column (or row): the frame pixel it starts from and the
// weight of the next frame pixel, in 1/256 (0 .. 255; 0 for a plain copy).
struct ScaleTap {
  std::uint16_t first;
  std::uint16_t next_weight;
};

// The scale from a frame of source_width x source_height RGB565 pixels to
// a picture of width x height XRGB8888 pixels, and the scratch rows it
// works in. Planned once per picture size; scaling allocates nothing.
struct PictureScale {
  int source_width = 0;
  int source_height = 0;
  int width = 0;
  int height = 0;
  std::vector<ScaleTap> columns;  // one per picture column
  std::vector<ScaleTap> rows;     // one per picture row
  // Frame rows scaled across, the two most recent, and which rows they are.
  std::vector<std::uint32_t> across[2];
  int across_row[2] = {-1, -1};
  std::vector<std::uint32_t> expanded;  // one frame row in XRGB8888
};

// The taps of one axis: from source_size pixels, up by the smallest whole
// factor that reaches size, nearest-neighbour, then linearly down to size
// (sampling at pixel centres, as a renderer's linear filter does).
std::vector<ScaleTap> plan_scale_taps(int source_size, int size);

// Plans the scale for a picture size; sizes of 0 or less plan an empty one.
void plan_picture_scale(PictureScale& scale, int source_width, int source_height, int width, int height);

// RGB565 to XRGB8888, each field widened by repeating its top bits.
inline std::uint32_t expand_rgb565(std::uint16_t pixel) {
  std::uint32_t red = pixel >> 11;
  std::uint32_t green = (pixel >> 5) & 0x3F;
  std::uint32_t blue = pixel & 0x1F;
  return 0xFF000000u | ((red << 3 | red >> 2) << 16) | ((green << 2 | green >> 4) << 8) | (blue << 3 | blue >> 2);
}

// Each 8-bit field of a and b blended as (a (256 - w) + b w) / 256 to the
// nearest, halves up, for w in 0 .. 256; the top byte is set.
inline std::uint32_t blend_xrgb(std::uint32_t a, std::uint32_t b, std::uint32_t weight) {
  std::uint32_t keep = 256 - weight;
  std::uint32_t red_blue = ((a & 0xFF00FF) * keep + (b & 0xFF00FF) * weight + 0x800080) >> 8 & 0xFF00FF;
  std::uint32_t green = ((a & 0xFF00) * keep + (b & 0xFF00) * weight + 0x8000) >> 8 & 0xFF00;
  return 0xFF000000u | red_blue | green;
}

// Scales a frame (source_pitch pixels from row to row) into a picture
// (target_pitch pixels from row to row). A picture pixel is the blend down
// (by its row's tap) of two blends across (by its column's tap), each a
// blend_xrgb of expanded frame pixels. Writes nothing outside the picture's
// width x height pixels; allocates nothing. Main thread only.
void scale_picture(PictureScale& scale, const std::uint16_t* source, std::size_t source_pitch, std::uint32_t* target,
                   std::size_t target_pitch);
