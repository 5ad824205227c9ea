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
