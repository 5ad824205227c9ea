// Writes a few frames of each effect to PNG files, for looking at the
// effects by eye, drawn from the stand-in artwork or, with --built-in, from
// the asset block as built into the program:
//   fx2d_frames OUTPUT_DIRECTORY [--built-in]

#include <cstdio>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "fx2d/fx2d.h"
#include "shell/shell.h"
#include "synthetic_assets.h"
#include "tools/png/frame_png.h"

namespace {}  // namespace

int main(int argc, char** argv) {
  const bool built_in = argc == 3 && std::string(argv[2]) == "--built-in";
  if (argc != 2 && !built_in) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY [--built-in]\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  std::vector<std::uint16_t> pixels(effect_pixels);
  frame_buffer = pixels.data();
  if (!built_in) write_synthetic_assets();
  build_warp_table();

  bool ok = true;
  const auto save = [&](const std::string& name, const std::uint16_t* image) {
    ok = write_frame_png(directory + "/" + name + ".png", image) && ok;
  };

  for (int frame = 0; frame < 40; ++frame) {
    draw_warp();
    if (frame % 20 == 0) save("warp_" + std::to_string(frame), pixels.data());
  }
  draw_tunnel(tunnel_plain);
  save("tunnel_plain", second_buffer);
  for (int frame = 0; frame < 30; ++frame) draw_tunnel(tunnel_distorted);
  save("tunnel_distorted", second_buffer);

  for (std::uint32_t weight : {4u, 16u, 28u}) {
    draw_warp();
    draw_tunnel(tunnel_plain);
    cross_blend(weight, blend_full);
    save("blend_full_" + std::to_string(weight), pixels.data());
  }
  for (int level : {254, 160, 81}) {
    draw_warp();
    fade_through_mask(static_cast<std::uint8_t>(level));
    save("fade_" + std::to_string(level), pixels.data());
  }
  copy_picture_shifted(opening_picture, 4);
  save("opening_shifted", pixels.data());
  blur_frame();
  save("opening_blurred", pixels.data());
  copy_picture_shifted(alternating_picture_1, 3);
  blur_frame();
  save("alternating_blurred", pixels.data());
  fill_frame(0x00000C05);
  copy_picture_keyed(end_picture);
  save("keyed_over_fill", pixels.data());
  return ok ? 0 : 1;
}
