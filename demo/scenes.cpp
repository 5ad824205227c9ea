// What each scene draws in one frame, and how the scenes' animation state
// moves from frame to frame.
//
// Every value steps by a fixed amount per frame, so animation speed follows
// the frame rate; beat-synchronous events come from the sync tables, song
// positions compared for equality with the position of the moment. Nothing
// is reset between scenes: each one continues from where the previous one
// left the state. Main thread only.
#include <cmath>
#include <utility>

#include "assets/assets.h"
#include "assets/little_endian.h"
#include "demo/demo.h"
#include "fx2d/fx2d.h"
#include "music/music.h"
#include "render3d/render3d.h"
#include "shell/shell.h"

namespace {

constexpr std::int32_t focal = 300;  // every projection: focal length, centre column, centre row
constexpr std::int32_t centre_column = 160;
constexpr std::int32_t centre_row = 100;

constexpr std::uint32_t flash_count = 10;
constexpr std::uint32_t swap_count = 60;

// Adds to a 32-bit counter with wrap-around (the counters run for as long
// as the show does, so they must not overflow into undefined behaviour).
void step(std::int32_t& counter, std::int32_t amount) {
  counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + static_cast<std::uint32_t>(amount));
}

// The integer nearest to a value, halves to even.
std::int32_t nearest(double value) { return static_cast<std::int32_t>(std::nearbyint(value)); }

// Entry i of a table of 32-bit song positions in the block (not aligned).
std::uint32_t position_entry(const std::uint8_t* table, std::uint32_t i) { return read_le32(table + 4 * i); }

void object_step() {
  step(object_angle_a, 8);
  step(object_angle_b, 4);
  step(object_angle_c, 1);
  lookup_sin_cos(orbit_angle);
  object_y = nearest(70.0 * sin_value);
  object_x = nearest(120.0 * cos_value);
  step(orbit_angle, 10);
  object_z = 300;
}

// The mask fade's level falls to 81 and stops there.
void fade_down() {
  const auto next = static_cast<std::uint8_t>(fade_level - 1);
  if (next != 80) {
    fade_level = next;
  }
  fade_through_mask(fade_level);
}

// ... and rises to 254 and stops there.
void fade_up() {
  const auto next = static_cast<std::uint8_t>(fade_level + 1);
  if (next != 255) {
    fade_level = next;
  }
  fade_through_mask(fade_level);
}

// The weight rises to the limit; the counter stops one below it, so the
// frame's weight is the limit from then on.
void blend_step(std::uint32_t limit, BlendForm form) {
  const std::uint32_t weight = blend_counter + 1u;
  if (weight != limit) {
    blend_counter = static_cast<std::uint8_t>(weight);
  }
  cross_blend(weight, form);
}

void set_up_points(std::uint32_t count, const Point3* points, std::int32_t distance) {
  set_projection(focal, centre_column, centre_row);
  set_rotation(cloud_angle_a, cloud_angle_b, 0);
  set_translation(0, 0, distance);
  build_matrix();
  transform_points(count, points, point_camera);
  project_points(count, point_camera, point_screen);
}

}  // namespace

// A sprite wherever the whole 64 x 42 glow fits; other points are skipped,
// never clipped. Compared unsigned, so that negative coordinates fail.
void sprite_pass(std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto x = static_cast<std::uint32_t>(point_screen[i].x);
    const auto y = static_cast<std::uint32_t>(point_screen[i].y);
    if (x <= 255 && y <= 157) {
      draw_sprite(point_screen[i].x, point_screen[i].y);
    }
  }
}

namespace {

// Scene 5's trail: one point a frame from five angles, up to 100 points.
void trail_step() {
  lookup_sin_cos(trail_angle_1);
  const std::int32_t y = nearest(70.0 * sin_value);
  lookup_sin_cos(trail_angle_2);
  const std::int32_t x = nearest(trail_radius_1 * static_cast<double>(cos_value));
  lookup_sin_cos(trail_angle_3);
  const std::int32_t z = nearest(trail_radius_2 * static_cast<double>(cos_value));
  // The radii made here move the next frame's point.
  lookup_sin_cos(trail_angle_4);
  trail_radius_1 = nearest(120.0 * cos_value) + 60;
  lookup_sin_cos(trail_angle_5);
  trail_radius_2 = nearest(120.0 * sin_value) + 60;
  step(trail_angle_1, 20);
  step(trail_angle_2, 14);
  step(trail_angle_3, 12);
  step(trail_angle_4, 35);
  step(trail_angle_5, 18);
  if (trail_count + 1 <= trail_capacity) {
    trail_points[trail_count] = Point3{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    ++trail_count;
  }
}

void captions() {
  update_captions();
  draw_captions();
}

}  // namespace

void scene_1_frame() {
  span_colour = object_span_colour;
  copy_picture_shifted(opening_picture, 4);  // blue levels 0..15
  blur_frame();
  // Only when the song passed the threshold after the last end test.
  if (song_position() > 0x0500) {
    draw_warp();
  }
  object_step();
  for (std::uint32_t i = 0; i < flash_count; ++i) {
    if (song_position() == position_entry(object_flash_positions, i)) {
      draw_object(demo_object);
    }
  }
  captions();
}

void scene_2_frame() {
  draw_warp();
  object_step();
  draw_object(demo_object);
}

void scene_3_frame() {
  captions();  // drawn under the warp: no caption is up in this part of the song
  draw_warp();
  object_step();
  draw_object(demo_object);
  fade_down();
}

void scene_4_frame() {
  draw_warp();
  object_step();
  draw_object(demo_object);
  fade_up();
  draw_tunnel(tunnel_plain);
  blend_step(15, blend_halved);
}

void scene_5_frame() {
  draw_warp();
  object_step();
  draw_object(demo_object);
  fade_up();
  draw_tunnel(tunnel_distorted);
  blend_step(31, blend_full);
  trail_step();
  step(cloud_angle_a, 4);
  step(cloud_angle_b, 8);
  step(object_angle_c, 18);
  set_up_points(trail_count, trail_points, 400);
  sprite_pass(trail_count);
}

void generate_cloud() {
  float* values = &cloud_points[0].x;
  for (std::uint32_t i = 0; i < 3 * cloud_capacity; ++i) {
    const std::uint32_t t = 75u * cloud_seed;
    const std::uint32_t low = t & 0xFFFF;
    const std::uint32_t high = t >> 16;
    std::uint32_t value = low + 74 - high;
    if (low + 74 < high) {
      value += 1;
    }
    cloud_seed = static_cast<std::uint16_t>(value);
    values[i] = static_cast<float>(static_cast<std::int16_t>(cloud_seed));
  }
}

void scene_6_frame() {
  lookup_sin_cos(trail_angle_1);
  const std::int32_t distance = nearest(70.0 * sin_value) + 400;
  const std::uint32_t position = song_position();
  if (position > 0x0D00) {
    step(trail_angle_1, 10);  // the cloud starts to move
  }
  step(cloud_angle_a, 4);
  step(cloud_angle_b, 8);
  step(object_angle_c, 18);
  set_up_points(cloud_sprites, cloud_points, distance);
  blur_frame();          // overwritten below; the noise still scrolls
  fill_frame(position);  // each even pixel the position as a colour, each odd one black
  sprite_pass(cloud_sprites);
  captions();
}

void set_up_pictures() {
  picture_front = alternating_picture_1;
  picture_back = alternating_picture_2;
}

void scene_7_frame() {
  copy_picture_shifted(picture_front, 3);  // blue levels 0..31
  // Every matching entry swaps once; a row listed twice swaps back.
  for (std::uint32_t i = 0; i < swap_count; ++i) {
    if (song_position() == position_entry(picture_swap_positions, i)) {
      std::swap(picture_front, picture_back);
    }
  }
  blur_frame();
  captions();
}

void scene_8_frame() {
  fill_frame(black_fill_pattern);
  step(object_angle_b, 1);
  object_x = 0;
  object_y = 0;
  object_z = 300;
  draw_object(demo_object);
  span_colour = end_span_colour;  // from the second frame on
  copy_picture_keyed(end_picture);
  blur_frame();
  captions();
}
