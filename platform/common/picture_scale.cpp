// The picture's scale: tap tables per axis, then rows scaled across once
// each and blended down.
#include "common/picture_scale.h"

#include <algorithm>
#include <cstring>

PictureRect picture_rect(int output_width, int output_height) {
  PictureRect rect = {0, 0, 0, 0};
  if (output_width <= 0 || output_height <= 0) {
    return rect;
  }
  if (static_cast<long long>(output_width) * 3 >= static_cast<long long>(output_height) * 4) {
    rect.height = output_height;
    rect.width = static_cast<int>(static_cast<long long>(output_height) * 4 / 3);
  } else {
    rect.width = output_width;
    rect.height = static_cast<int>(static_cast<long long>(output_width) * 3 / 4);
  }
  rect.x = (output_width - rect.width) / 2;
  rect.y = (output_height - rect.height) / 2;
  return rect;
}

std::vector<ScaleTap> plan_scale_taps(int source_size, int size) {
  std::vector<ScaleTap> taps;
  if (source_size <= 0 || size <= 0) {
    return taps;
  }
  taps.resize(static_cast<std::size_t>(size));
  const long long factor = (size + source_size - 1) / source_size;  // the whole-number step up
  const long long up = factor * source_size;                        // >= size
  const long long denominator = 2LL * size;
  for (int i = 0; i < size; ++i) {
    // Picture pixel i's centre in the scaled-up row, less half a pixel:
    // ((i + 1/2) up / size - 1/2), which is never negative as up >= size.
    long long numerator = (2LL * i + 1) * up - size;
    long long texel = numerator / denominator;
    long long remainder = numerator % denominator;
    long long weight = (remainder * 512 + denominator) / (2 * denominator);  // to the nearest 1/256
    if (weight == 256) {
      ++texel;
      weight = 0;
    }
    long long next_texel = std::min(texel + 1, up - 1);
    long long first = texel / factor;
    if (next_texel / factor == first) {
      weight = 0;  // both texels are copies of one frame pixel
    }
    taps[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(first), static_cast<std::uint16_t>(weight)};
  }
  return taps;
}

void plan_picture_scale(PictureScale& scale, int source_width, int source_height, int width, int height) {
  if (source_width <= 0 || source_height <= 0 || width <= 0 || height <= 0) {
    width = height = 0;
  }
  scale.source_width = source_width;
  scale.source_height = source_height;
  scale.width = width;
  scale.height = height;
  scale.columns = plan_scale_taps(source_width, width);
  scale.rows = plan_scale_taps(source_height, height);
  for (auto& row : scale.across) {
    row.assign(static_cast<std::size_t>(width), 0);
  }
  scale.across_row[0] = scale.across_row[1] = -1;
  scale.expanded.assign(static_cast<std::size_t>(source_width > 0 ? source_width : 0), 0);
}

namespace {

// Frame row y scaled across, computed once per frame: rows are asked for in
// rising order, y and y + 1 together, so the slot of y's parity holds it.
const std::uint32_t* row_across(PictureScale& scale, const std::uint16_t* source, std::size_t source_pitch, int y) {
  std::vector<std::uint32_t>& row = scale.across[y & 1];
  if (scale.across_row[y & 1] == y) {
    return row.data();
  }
  scale.across_row[y & 1] = y;
  const std::uint16_t* from = source + static_cast<std::size_t>(y) * source_pitch;
  std::uint32_t* expanded = scale.expanded.data();
  for (int x = 0; x < scale.source_width; ++x) {
    expanded[x] = expand_rgb565(from[x]);
  }
  const ScaleTap* tap = scale.columns.data();
  std::uint32_t* to = row.data();
  for (int x = 0; x < scale.width; ++x) {
    std::uint32_t left = expanded[tap[x].first];
    to[x] = tap[x].next_weight == 0 ? left : blend_xrgb(left, expanded[tap[x].first + 1], tap[x].next_weight);
  }
  return row.data();
}

void blend_rows(const std::uint32_t* top, const std::uint32_t* bottom, std::uint32_t weight, std::uint32_t* to,
                int width) {
  for (int x = 0; x < width; ++x) {
    to[x] = blend_xrgb(top[x], bottom[x], weight);
  }
}

}  // namespace

void scale_picture(PictureScale& scale, const std::uint16_t* source, std::size_t source_pitch, std::uint32_t* target,
                   std::size_t target_pitch) {
  scale.across_row[0] = scale.across_row[1] = -1;  // a new frame
  for (int y = 0; y < scale.height; ++y) {
    const ScaleTap tap = scale.rows[static_cast<std::size_t>(y)];
    std::uint32_t* to = target + static_cast<std::size_t>(y) * target_pitch;
    const std::uint32_t* top = row_across(scale, source, source_pitch, tap.first);
    if (tap.next_weight == 0) {
      std::memcpy(to, top, static_cast<std::size_t>(scale.width) * 4);
    } else {
      const std::uint32_t* bottom = row_across(scale, source, source_pitch, tap.first + 1);
      blend_rows(top, bottom, tap.next_weight, to, scale.width);
    }
  }
}
