// The demo's timeline: the entry point with its start-up and shutdown, the
// scene sequence, the scenes' frame steps and the captions.
// Main thread only.
#pragma once

#include <cstdint>

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
                          std::uint32_t text_area_offset, std::uint32_t text_area_bytes,
                          CaptionEvent* records);

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
