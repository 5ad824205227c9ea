// The scene sequence as a whole run: its start-up and shutdown orders, the
// white flashes, and how Escape ends scenes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child_run.h"
#include "tools/capture/fnv1a.h"

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

TEST(Sequence, WithoutASongEachEscapeEndsOnlyTheSceneInWhichItWasSeen) {
  // Scene 1 ends at frame 1; an Escape during a flash (frame 3) is never
  // seen; scenes 2 to 5 end at 7, 9, 12 and 16; after the second flash,
  // scenes 6 and 7 at 20 and 23, and scene 8 at 30.
  HeadlessScript script;
  script.escape_frames = {1, 3, 7, 9, 12, 16, 20, 23, 30};
  ChildRun run = run_demo_in_child(script);
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.frames.size(), 30u);
  EXPECT_EQ(white_frames(run), (std::vector<std::size_t>{2, 3, 4, 17, 18, 19}));
}

TEST(Sequence, StartsUpInItsFixedOrder) {
  HeadlessScript script;
  script.hold_escape = true;
  ChildRun run = run_demo_in_child(script);
  std::vector<std::string> expected = {
      "CreateWindowExA", "ShowWindow",       "DirectInputCreateA", "Acquire(keyboard)", "Acquire(mouse)",
      "DirectDrawCreate", "SetDisplayMode",  "CreateSurface",      "GetAttachedSurface",
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
  std::vector<std::string> tail = calls_named(run.calls, {"BltFast", "Release", "PostMessageA", "PostQuitMessage"});
  ASSERT_GE(tail.size(), 4u);
  std::vector<std::string> last(tail.end() - 4, tail.end());
  std::vector<std::string> expected = {"Release(primary surface)", "Release(DirectDraw)", "PostMessageA(16, 0, 0)",
                                       "PostQuitMessage(0)"};
  EXPECT_EQ(last, expected);
  EXPECT_EQ(tail[tail.size() - 5].substr(0, 7), "BltFast");
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
