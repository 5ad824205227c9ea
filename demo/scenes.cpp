// What each scene draws in one frame.
//
// GAP(scenes): the scenes' real frame steps come with the drawing passes.
// Until then each scene fills the frame with a plain colour of its own, so
// that the sequence can be watched and tested.
#include "demo/demo.h"
#include "fx2d/fx2d.h"

// Two equal RGB565 pixels per 32-bit pattern.
static constexpr std::uint32_t pair(std::uint16_t colour) { return colour | static_cast<std::uint32_t>(colour) << 16; }

void scene_1_frame() { fill_frame(pair(0x001F)); }  // blue
void scene_2_frame() { fill_frame(pair(0x07E0)); }  // green
void scene_3_frame() { fill_frame(pair(0xF800)); }  // red
void scene_4_frame() { fill_frame(pair(0xFFE0)); }  // yellow
void scene_5_frame() { fill_frame(pair(0xF81F)); }  // magenta
void scene_6_frame() { fill_frame(pair(0x07FF)); }  // cyan
void scene_7_frame() { fill_frame(pair(0xFD20)); }  // orange
void scene_8_frame() { fill_frame(pair(0x8410)); }  // grey

void generate_cloud() {}   // GAP(scenes): fills the sprite cloud
void set_up_pictures() {}  // GAP(scenes): picks the two pictures of scene 7
