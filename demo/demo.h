// The demo's timeline: the entry point with its start-up and shutdown, the
// scene sequence, the scenes' frame steps and the captions.
// Main thread only.
#pragma once

#include <cstdint>

#include "render3d/render3d.h"

// Index into key_state of the Escape key (DIK_ESCAPE).
inline constexpr int escape_key = 1;

// The frame steps of each scene: each one draws a whole frame into
// frame_buffer. The sequence in main.cpp polls the keyboard before them and
// presents the frame after them.
void scene_1_frame();
void scene_2_frame();
void scene_3_frame();
void scene_4_frame();
void scene_5_frame();
void scene_6_frame();
void scene_7_frame();
void scene_8_frame();
// Once, between the flash after scene 5 and scene 6.
void generate_cloud();
// Once, between scenes 6 and 7.
void set_up_pictures();
// Draws a sprite at each of the first count points of point_screen whose
// 64 x 42 glow lies wholly inside the frame, and skips the others.
void sprite_pass(std::uint32_t count);

// --- The scenes' animation state --------------------------------------------
// Owned and stepped by the scenes; nothing is reset between scenes. The
// object's angles and position are render3d's (draw_object applies them).

extern std::int32_t orbit_angle;    // the object's orbit, 1024 steps per turn
extern std::uint8_t fade_level;     // the mask fade's level, from 255
extern std::uint8_t blend_counter;  // the cross-blend's step counter
// Five 1024-step angles that drive scene 5's trail; the first also moves
// the cloud's distance in scene 6.
extern std::int32_t trail_angle_1, trail_angle_2, trail_angle_3, trail_angle_4, trail_angle_5;
extern std::int32_t trail_radius_1;  // from 120
extern std::int32_t trail_radius_2;  // from 200
inline constexpr std::uint32_t trail_capacity = 100;
extern std::uint32_t trail_count;
extern Point3 trail_points[trail_capacity];
inline constexpr std::uint32_t cloud_capacity = 1000;
inline constexpr std::uint32_t cloud_sprites = 999;  // points of the cloud that are drawn
extern std::uint16_t cloud_seed;                     // the cloud's generator, from 9273
extern Point3 cloud_points[cloud_capacity];
// The first two rotation angles of the trail and the cloud (512 steps per
// turn); the third is always 0.
extern std::int32_t cloud_angle_a, cloud_angle_b;
extern Point3 point_camera[cloud_capacity];       // the trail's and the cloud's points after the transform
extern ScreenPoint point_screen[cloud_capacity];  // ... and on the screen
// Scene 7's two pictures; the front one is shown.
extern const std::uint8_t* picture_front;
extern const std::uint8_t* picture_back;

// --- Captions --------------------------------------------------------------

// A caption on screen: its text (also its identity) and where it is drawn.
struct ActiveCaption {
  const char* text;
  std::uint32_t x;
  std::uint32_t y;
};

inline constexpr int active_caption_capacity = 99;

// The captions on screen, packed at the front: entries before
// caption_list_end are in use, every later entry has a null text.
extern ActiveCaption active_captions[active_caption_capacity];
extern ActiveCaption* caption_list_end;

// One timed caption. The block stores each row as five 32-bit little-endian
// fields with the text as an offset from the block's start; start-up turns
// them into these records once (resolve_caption_table).
struct CaptionEvent {
  std::uint32_t start;  // song position (order << 8 | row) at which it comes up; 0xFFFF once it has
  std::uint32_t end;    // it goes at the first update whose position is above this
  const char* text;     // zero-terminated, inside the block's caption texts; also its identity
  std::uint32_t x;      // pixel column of the first character cell
  std::uint32_t y;      // pixel row of the top of the glyphs
};

inline constexpr int caption_count = 40;
inline constexpr std::uint32_t caption_row_bytes = 20;  // five 32-bit fields per stored row

extern CaptionEvent caption_table[caption_count];

// Builds caption_table from the rows stored in the asset block. Returns
// false if any stored row is malformed (see resolve_caption_rows).
bool resolve_caption_table();

// Builds count records from stored rows (count x 20 bytes). text_area is the
// block's caption texts, which lie at block offset text_area_offset and are
// text_area_bytes long. A row whose text offset lies outside that area, or
// whose text has no terminating zero inside it, gets an empty text and a
// start of 0xFFFF, so that it never comes up; the result is then false.
bool resolve_caption_rows(const std::uint8_t* stored_rows, int count, const char* text_area,
                          std::uint32_t text_area_offset, std::uint32_t text_area_bytes, CaptionEvent* records);

// Empties the caption list (caption_list_end back to entry 0, every entry
// cleared), then converts the font and sprite palettes. Once at start-up,
// before the window opens.
void init_captions_and_palettes();
// Once per frame of a caption scene: brings up the captions whose start is
// the song's position and takes down those whose end it has passed.
void update_captions();
// Draws every caption on screen over the frame, later entries over earlier ones.
void draw_captions();
// Draws text with its first character cell at the given pixel index of
// frame_buffer (y x 320 + x), with the writer's proportional advance.
void draw_text(const char* text, std::uint32_t destination);
// Draws one character's glyph (columns 1..23, rows 1..27 of its cell) at a
// pixel index; transparent where the font holds 0.
void draw_glyph(char c, std::uint32_t destination);
