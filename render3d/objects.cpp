// Drawing the built-in object, which pulses to three times its size on
// listed song positions, and stamping the glow sprite with per-field
// saturating addition.
#include <cstring>

#include "assets/assets.h"
#include "assets/little_endian.h"
#include "fx2d/fx2d.h"
#include "music/music.h"
#include "render3d/kernels.h"
#include "render3d/render3d.h"
#include "shell/shell.h"

#if defined(VORNA_SSE2)
#include <emmintrin.h>
#endif

namespace {

// The song position of pulse entry k (unsigned 32-bit; the sync tables
// are not naturally aligned in the block).
std::uint32_t pulse_position(std::uint32_t k) { return read_le32(object_pulse_positions + 4 * k); }

// The sprite's colour for each of its 64 x 42 pixels: sprite_colours of
// the picture byte, converted once instead of looked up per pixel.
std::uint16_t sprite_block[sprite_height][sprite_width];
bool sprite_block_ready = false;

#if defined(VORNA_SSE2)
// The same colours split for the saturating adds below: each field moved
// to the top of a 16-bit word (red as it is, green shifted up by 5, blue
// by 11) with zeros underneath.
std::uint16_t sprite_red_top[sprite_height][sprite_width];
std::uint16_t sprite_green_top[sprite_height][sprite_width];
std::uint16_t sprite_blue_top[sprite_height][sprite_width];
// Per row, the 8-pixel groups from sprite_first_group up to (not
// including) sprite_end_group hold every non-black colour of the row;
// black adds nothing, so the groups outside them are skipped.
int sprite_first_group[sprite_height];
int sprite_end_group[sprite_height];

void split_sprite_block() {
  for (int sy = 0; sy < sprite_height; ++sy) {
    int first = sprite_width / 8, end = 0;
    for (int sx = 0; sx < sprite_width; ++sx) {
      const std::uint16_t s = sprite_block[sy][sx];
      sprite_red_top[sy][sx] = static_cast<std::uint16_t>(s & 0xF800);
      sprite_green_top[sy][sx] = static_cast<std::uint16_t>((s << 5) & 0xFC00);
      sprite_blue_top[sy][sx] = static_cast<std::uint16_t>(s << 11);
      if (s != 0) {
        first = first < sx / 8 ? first : sx / 8;
        end = sx / 8 + 1;
      }
    }
    sprite_first_group[sy] = first;
    sprite_end_group[sy] = end;
  }
}

// Adds one sprite row with saturation per field, eight pixels at a time.
// With a field at the top of its 16-bit lane the unsigned saturating add
// clamps it at its maximum; the bits under it either take no carry (the
// addend has zeros there) or are masked off afterwards.
void add_sprite_row_sse2(std::uint16_t* pixels, int sy) {
  const __m128i red_mask = _mm_set1_epi16(static_cast<short>(0xF800));
  const __m128i green_mask = _mm_set1_epi16(0x07E0);
  for (int g = sprite_first_group[sy]; g < sprite_end_group[sy]; ++g) {
    const int sx = 8 * g;
    __m128i* at = reinterpret_cast<__m128i*>(pixels + sx);
    const __m128i d = _mm_loadu_si128(at);
    const __m128i red_sum =
        _mm_adds_epu16(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&sprite_red_top[sy][sx])));
    const __m128i green_sum = _mm_adds_epu16(
        _mm_slli_epi16(d, 5), _mm_loadu_si128(reinterpret_cast<const __m128i*>(&sprite_green_top[sy][sx])));
    const __m128i blue_sum = _mm_adds_epu16(
        _mm_slli_epi16(d, 11), _mm_loadu_si128(reinterpret_cast<const __m128i*>(&sprite_blue_top[sy][sx])));
    const __m128i merged = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(red_sum, red_mask), _mm_and_si128(_mm_srli_epi16(green_sum, 5), green_mask)),
        _mm_srli_epi16(blue_sum, 11));
    _mm_storeu_si128(at, merged);
  }
}
#endif

// Adds one sprite row with saturation per field, pixel by pixel.
void add_sprite_row_plain(std::uint16_t* pixels, int sy) {
  const std::uint16_t* colours = sprite_block[sy];
  for (int sx = 0; sx < sprite_width; ++sx) {
    const std::uint32_t d = pixels[sx];
    const std::uint32_t s = colours[sx];
    std::uint32_t red = (d >> 11) + (s >> 11);
    std::uint32_t green = ((d >> 5) & 63) + ((s >> 5) & 63);
    std::uint32_t blue = (d & 31) + (s & 31);
    red = red < 31 ? red : 31;
    green = green < 63 ? green : 63;
    blue = blue < 31 ? blue : 31;
    pixels[sx] = static_cast<std::uint16_t>(red << 11 | green << 5 | blue);
  }
}

}  // namespace

void draw_object(const Object3D& object) {
  if (object.vertices == nullptr || object.faces == nullptr) {
    return;  // not resolved: build_reciprocal_table has not run
  }
  set_projection(300, 160, 100);
  set_rotation(object_angle_a, object_angle_b, object_angle_c);
  set_translation(object_x, object_y, object_z);
  build_matrix();

  // One read: the whole frame is drawn for the same position.
  const std::uint32_t p = song_position();
  std::uint32_t pulses = 0;
  for (std::uint32_t k = 0; k < object_pulse_count; ++k) {
    pulses += pulse_position(k) == p ? 1 : 0;
  }
  // The model is saved once, before any scaling, and restored once: with a
  // position listed twice it is scaled twice for this frame but still
  // comes back unchanged.
  Point3* const model = object.vertices;
  if (pulses > 0) {
    std::memcpy(vertex_backup, model, sizeof vertex_backup);
    for (std::uint32_t pulse = 0; pulse < pulses; ++pulse) {
      for (std::uint32_t v = 0; v < object_vertex_count; ++v) {
        model[v].x *= object_pulse_scale;
        model[v].y *= object_pulse_scale;
        model[v].z *= object_pulse_scale;
      }
    }
  }
  transform_points(object_vertex_count, model, camera_vertices);
  if (pulses > 0) {
    std::memcpy(model, vertex_backup, sizeof vertex_backup);
  }
  project_points(object_vertex_count, camera_vertices, screen_vertices);
  draw_faces(object_face_count, object.faces, camera_vertices, screen_vertices);
}

void build_sprite_block() {
  for (int sy = 0; sy < sprite_height; ++sy) {
    const std::uint8_t* picture_row = sprite_picture + sy * screen_width;
    for (int sx = 0; sx < sprite_width; ++sx) {
      sprite_block[sy][sx] = sprite_colours[picture_row[sx]];
    }
  }
#if defined(VORNA_SSE2)
  split_sprite_block();
#endif
  sprite_block_ready = true;
}

void draw_sprite(std::int32_t x, std::int32_t y) {
  // Unsigned, so that negative positions fail too.
  if (static_cast<std::uint32_t>(x) > screen_width - sprite_width ||
      static_cast<std::uint32_t>(y) > screen_height - sprite_height) {
    return;
  }
  if (!sprite_block_ready) {
    build_sprite_block();
  }
  render3d_kernels.add_sprite(frame_buffer + static_cast<std::uint32_t>(y) * screen_width +
                              static_cast<std::uint32_t>(x));
}

// --- The kernels -------------------------------------------------------------

void add_sprite_plain(std::uint16_t* pixels) {
  for (int sy = 0; sy < sprite_height; ++sy, pixels += screen_width) {
    add_sprite_row_plain(pixels, sy);
  }
}

#if defined(VORNA_SSE2)
void add_sprite_sse2(std::uint16_t* pixels) {
  for (int sy = 0; sy < sprite_height; ++sy, pixels += screen_width) {
    add_sprite_row_sse2(pixels, sy);
  }
}
#endif
