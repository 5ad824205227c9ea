// The entry point: start-up, the scene sequence and shutdown.
//
// There is no timer. Each scene renders and presents frames as fast as the
// display takes them, and ends when the song reaches the scene's threshold
// or Escape is down. The song plays on the music thread; this file only
// reads its position.
#include <windows.h>

#include <cstdint>

#include "demo/demo.h"
#include "demo/memfile.h"
#include "fx2d/fx2d.h"
#include "music/music.h"
#include "render3d/render3d.h"
#include "shell/shell.h"

namespace {

// A scene's threshold that no song position reaches: scene 8 ends on Escape only.
constexpr std::uint32_t escape_only = 0x10000;

// One scene: frames until the position reaches the threshold or Escape is
// down. The test comes after the frame, so a scene always runs at least one.
void run_scene(void (*frame_steps)(), std::uint32_t threshold) {
  for (;;) {
    poll_keyboard();
    frame_steps();
    present_frame();
    if (threshold != escape_only && song_position() >= threshold) {
      return;
    }
    if (key_state[escape_key] != 0) {
      return;
    }
  }
}

// Three plain white frames. A flash neither polls the keyboard nor asks
// for the song's position.
void white_flash() {
  for (int frame = 0; frame < 3; ++frame) {
    fill_frame(white_fill_pattern);
    present_frame();
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*command_line*/, int show) {
  app_instance = instance;
  show_command = show;

  // The player reads the built-in song through a memory file over the
  // asset block. The results of open_output and load_song are not tested:
  // without sound or song the show still runs, each scene until Escape.
  set_music_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
  set_output_buffer_length(100);
  open_output(44100);
  demo_song = load_song("tolvanes.xm");
  build_rotation_tables();
  build_sin_cos_tables();
  build_reciprocal_table();  // also resolves and converts the built-in object
  // The caption rows hold their texts as offsets into the asset block:
  // turn them into the records the caption writer uses, once.
  resolve_caption_table();
  init_captions_and_palettes();

  create_app_window();
  open_input(main_window);
  open_display();
  set_display_mode(screen_width, screen_height, 16);
  alloc_frame_buffer(screen_width, screen_height, 16);

  build_warp_table();
  play_song(demo_song);

  run_scene(scene_1_frame, 0x0500);
  white_flash();
  run_scene(scene_2_frame, 0x0700);
  run_scene(scene_3_frame, 0x0800);
  run_scene(scene_4_frame, 0x0900);
  run_scene(scene_5_frame, 0x0B00);
  white_flash();
  generate_cloud();
  run_scene(scene_6_frame, 0x0E00);
  set_up_pictures();
  run_scene(scene_7_frame, 0x1200);
  run_scene(scene_8_frame, escape_only);

  free_frame_buffer();
  close_display();
  free_song(demo_song);  // stops it first
  close_output();
  request_quit();
  return 0;
}
