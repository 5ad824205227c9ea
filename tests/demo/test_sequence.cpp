// The scene sequence as a whole run: its start-up and shutdown orders, the
// white flashes, and how Escape ends scenes.
#include <gtest/gtest.h>

#include <mmsystem.h>

#include <string>
#include <vector>

#include "assets/assets.h"
#include "music/module_writer.h"
#include "music/music.h"
#include "support/child_run.h"

namespace {

std::string white_frame_note() {
  static std::vector<std::uint16_t> white(64000, 0xFFFF);
  return default_frame_note(white.data(), 0);
}

// The frames (from 1) of a run that were the white flash.
std::vector<std::size_t> white_frames(const ChildRun& run) {
  std::vector<std::size_t> white;
  for (std::size_t i = 0; i < run.frames.size(); ++i) {
    if (run.frames[i] == white_frame_note()) {
      white.push_back(i + 1);
    }
  }
  return white;
}

TEST(Sequence, EscapeHeldFromTheStartGivesOneFramePerSceneAndBothFlashes) {
  HeadlessScript script;
  script.hold_escape = true;
  ChildRun run = run_demo_in_child(script);
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.frames.size(), 14u);
  EXPECT_EQ(white_frames(run), (std::vector<std::size_t>{2, 3, 4, 9, 10, 11}));
}

// Runs the demo with the built-in module replaced by these bytes (none: a
// module that does not load).
ChildRun run_demo_with_module(HeadlessScript script, std::vector<std::uint8_t> module, FrameNote note) {
  return run_in_child(
      std::move(script),
      [module] {
        std::uint8_t* slot = asset_block + embedded_module_offset;
        std::fill(slot, slot + embedded_module_size, 0);
        std::copy(module.begin(), module.begin() + std::min<std::size_t>(module.size(), embedded_module_size), slot);
        static char command_line[] = "";
        static HINSTANCE__ instance = {};
        return WinMain(&instance, nullptr, command_line, SW_SHOWDEFAULT);
      },
      std::move(note));
}

TEST(Sequence, WithoutASongEachEscapeEndsOnlyTheSceneInWhichItWasSeen) {
  // Scene 1 ends at frame 1; an Escape during a flash (frame 3) is never
  // seen; scenes 2 to 5 end at 7, 9, 12 and 16; after the second flash,
  // scenes 6 and 7 at 20 and 23, and scene 8 at 30.
  HeadlessScript script;
  script.escape_frames = {1, 3, 7, 9, 12, 16, 20, 23, 30};
  ChildRun run = run_demo_with_module(script, {}, default_frame_note);
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.frames.size(), 30u);
  EXPECT_EQ(white_frames(run), (std::vector<std::size_t>{2, 3, 4, 17, 18, 19}));
}

// A song of six empty 64-row patterns whose rows pass faster than the
// frames: about ten rows a frame at 10 frames per second.
std::vector<std::uint8_t> fast_song() {
  TestModule module = one_pattern_module(4, 64, {});
  module.tempo = 1;
  module.bpm = 255;
  module.song_length = 6;
  module.orders = {0, 0, 0, 0, 0, 0};
  return write_module(module);
}

std::string position_note(const std::uint16_t* pixels, std::uint32_t frame) {
  char text[8];
  std::snprintf(text, sizeof(text), "%04x ", song_position());
  return text + default_frame_note(pixels, frame);
}

TEST(Sequence, APositionThatJumpsOverTheThresholdStillEndsTheScene) {
  HeadlessScript script;
  script.frames_per_second = 10;
  // Escape held from frame 40 ends the rest, which the short song never reaches.
  script.keyboard = [](std::uint32_t frame, BYTE keys[256]) { keys[1] = frame >= 40 ? 0x80 : 0; };
  ChildRun run = run_demo_with_module(script, fast_song(), position_note);
  ASSERT_GT(run.frames.size(), 10u);
  // Scene 1 runs until the first frame at or past order 5, row 0; the
  // flash follows at once.
  std::size_t first_past = 0;
  while (first_past < run.frames.size() && std::stoul(run.frames[first_past].substr(0, 4), nullptr, 16) < 0x0500) {
    ++first_past;
  }
  ASSERT_LT(first_past + 1, run.frames.size());
  EXPECT_NE(run.frames[first_past].substr(0, 4), "0500") << "the song should skip the threshold's own row";
  EXPECT_EQ(run.frames[first_past + 1].substr(5), white_frame_note());
  EXPECT_NE(run.frames[first_past].substr(5), white_frame_note());
  for (std::size_t i = 1; i <= first_past; ++i) {
    EXPECT_NE(run.frames[i].substr(5), white_frame_note()) << "frame " << i + 1;
  }
}

TEST(Sequence, StartsUpInItsFixedOrder) {
  HeadlessScript script;
  script.hold_escape = true;
  ChildRun run = run_demo_in_child(script);
  // The sound output first (the music thread starts with it), then the
  // window, the input, and the display.
  std::vector<std::string> expected = {
      "waveOutOpen",      "waveOutPrepareHeader", "waveOutWrite",      "CreateWindowExA",
      "ShowWindow",       "DirectInputCreateA",   "Acquire(keyboard)", "Acquire(mouse)",
      "DirectDrawCreate", "SetDisplayMode",       "CreateSurface",     "GetAttachedSurface",
  };
  std::vector<std::string> seen;
  for (const std::string& call : calls_named(run.calls, expected)) {
    seen.push_back(call.substr(0, call.find('(')) == "Acquire" ? call : call.substr(0, call.find('(')));
  }
  EXPECT_EQ(seen, expected);
}

TEST(Sequence, ShutsDownInItsFixedOrderAfterTheLastFrame) {
  HeadlessScript script;
  script.hold_escape = true;
  ChildRun run = run_demo_in_child(script);
  ASSERT_EQ(run.exit_code, 0);
  std::vector<std::string> tail =
      calls_named(run.calls, {"BltFast", "Release", "waveOutUnprepareHeader", "waveOutReset", "waveOutClose",
                              "PostMessageA", "PostQuitMessage"});
  ASSERT_GE(tail.size(), 8u);
  std::vector<std::string> last(tail.end() - 7, tail.end());
  // The display goes first, then the song and the sound output (the song's
  // release shows no platform call), then the quit messages.
  std::vector<std::string> expected = {"Release(primary surface)",
                                       "Release(DirectDraw)",
                                       "waveOutUnprepareHeader(" + std::to_string(sizeof(WAVEHDR)) + ")",
                                       "waveOutReset",
                                       "waveOutClose",
                                       "PostMessageA(16, 0, 0)",
                                       "PostQuitMessage(0)"};
  EXPECT_EQ(last, expected);
  EXPECT_EQ(tail[tail.size() - 8].substr(0, 7), "BltFast");
}

TEST(Sequence, TwoRunsOfTheSameScriptGiveTheSameFrames) {
  HeadlessScript script;
  script.escape_frames = {2, 8, 9, 10, 11, 20, 21, 22};
  ChildRun first = run_demo_in_child(script);
  ChildRun second = run_demo_in_child(script);
  ASSERT_FALSE(first.frames.empty());
  EXPECT_EQ(first.frames, second.frames);
}

}  // namespace
