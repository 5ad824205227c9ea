// The display: the three fatal set-up failures, the frame buffer's layout
// and the presentation of frames, including busy and lost surfaces.
#include <ddraw.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "shell/shell.h"
#include "support/child_run.h"

namespace {

int count_calls(const std::vector<std::string>& calls, const std::string& name) {
  return static_cast<int>(calls_named(calls, {name}).size());
}

// The display opened on the headless backend, with every presented frame kept.
class Display : public ::testing::Test {
 protected:
  void open(HeadlessScript script = {}) {
    script.log_calls = true;
    script.frame_sink = [this](const std::uint16_t* pixels, std::uint32_t) {
      shown.assign(pixels, pixels + screen_pixels);
      ++frames;
    };
    headless_configure(std::move(script));
    create_app_window();
    open_display();
    set_display_mode(320, 200, 16);
    alloc_frame_buffer(320, 200, 16);
  }
  void TearDown() override {
    free_frame_buffer();
    close_display();
  }

  std::vector<std::uint16_t> shown;
  int frames = 0;
};

TEST_F(Display, SetsTheModeThroughOneFlipChainWithABackBuffer) {
  open();
  std::vector<std::string> expected = {
      "DirectDrawCreate(null)",
      "SetCooperativeLevel(window, 0x51)",
      "SetDisplayMode(320, 200, 16)",
      "CreateSurface(size " + std::to_string(sizeof(DDSURFACEDESC)) + ", flags 0x21, back buffers 1, caps 0x218)",
      "GetAttachedSurface(0x4)",
  };
  EXPECT_EQ(calls_named(headless_call_log(), {"DirectDrawCreate", "SetCooperativeLevel", "SetDisplayMode",
                                              "CreateSurface", "GetAttachedSurface"}),
            expected);
}

TEST_F(Display, FrameBufferRowsAre640BytesWithNoGap) {
  open();
  EXPECT_EQ(frame_bytes, 128000u);
  EXPECT_EQ(row_offset[0], 0u);
  EXPECT_EQ(row_offset[1], 640u);
  EXPECT_EQ(row_offset[199], 199u * 640u);
}

TEST(FrameBuffer, RowLengthFollowsTheBitsPerPixel) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {{8, 320},   {15, 640}, {16, 640}, {24, 960},
                                                           {32, 1280}, {12, 320}, {0, 320}};
  for (auto [bits, row] : cases) {
    alloc_frame_buffer(320, 200, bits);
    EXPECT_EQ(row_offset[1], row) << bits << " bits per pixel";
    EXPECT_EQ(frame_bytes, 200 * row) << bits << " bits per pixel";
    free_frame_buffer();
  }
}

TEST_F(Display, PresentShowsTheWholeFrameAndLeavesTheFrameBufferAsItWas) {
  open();
  std::mt19937 random(5);
  for (std::uint32_t i = 0; i < screen_pixels; ++i) {
    frame_buffer[i] = static_cast<std::uint16_t>(random());
  }
  std::vector<std::uint16_t> before(frame_buffer, frame_buffer + screen_pixels);
  present_frame();
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(shown, before);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), frame_buffer));
  std::vector<std::string> expected = {"Lock(whole, size " + std::to_string(sizeof(DDSURFACEDESC)) + ", 0)", "Unlock",
                                       "BltFast(0, 0, 0, 0, 320, 200, 0)"};
  EXPECT_EQ(calls_named(headless_call_log(), {"Lock", "Unlock", "BltFast"}), expected);
}

TEST_F(Display, BusyBackBufferIsWaitedFor) {
  HeadlessScript script;
  script.lock_busy_count = 5;
  open(script);
  std::fill(frame_buffer, frame_buffer + screen_pixels, 0x1234);
  present_frame();
  EXPECT_EQ(count_calls(headless_call_log(), "Lock"), 6);
  ASSERT_EQ(frames, 1);
  EXPECT_EQ(shown[screen_pixels - 1], 0x1234);
}

TEST_F(Display, BusyBlitIsRepeatedUntilItSucceeds) {
  HeadlessScript script;
  script.blt_busy_count = 4;
  open(script);
  present_frame();
  EXPECT_EQ(count_calls(headless_call_log(), "BltFast"), 5);
  EXPECT_EQ(frames, 1);
}

TEST_F(Display, LostSurfacesAreRestoredAndTheFrameStillShown) {
  HeadlessScript script;
  script.lock_lost_count = 1;
  script.blt_lost_count = 1;
  open(script);
  std::fill(frame_buffer, frame_buffer + screen_pixels, 0x0F0F);
  present_frame();
  EXPECT_EQ(count_calls(headless_call_log(), "Restore"), 2);
  ASSERT_EQ(frames, 1);
  EXPECT_EQ(shown[0], 0x0F0F);
}

TEST_F(Display, SurfacesThatStayLostCostAFrameButNeverHang) {
  HeadlessScript script;
  script.lock_lost_count = 1000;
  script.blt_lost_count = 1000;
  open(script);
  present_frame();
  present_frame();
  EXPECT_EQ(frames, 0);
  EXPECT_LE(count_calls(headless_call_log(), "Restore"), 12);
}

TEST_F(Display, CloseReleasesThePrimarySurfaceThenDirectDrawAndOnlyOnce) {
  open();
  close_display();
  close_display();
  std::vector<std::string> expected = {"Release(primary surface)", "Release(DirectDraw)"};
  EXPECT_EQ(calls_named(headless_call_log(), {"Release"}), expected);
}

// Each failure of the mode set-up ends the process with its own message,
// exit code 0, and nothing released first.
void expect_fatal(HeadlessScript script, const std::string& text) {
  ChildRun run = run_in_child(std::move(script), [] {
    create_app_window();
    open_display();
    set_display_mode(320, 200, 16);
    return 3;
  });
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.message_boxes, std::vector<std::string>{text});
  ASSERT_GE(run.calls.size(), 3u);
  EXPECT_EQ(run.calls[run.calls.size() - 3], "ShowCursor(TRUE)");
  EXPECT_EQ(run.calls[run.calls.size() - 2], "MessageBoxA(" + text + ", VORNA Z-PLORAN V2.2, 0)");
  EXPECT_EQ(run.calls.back(), "ExitProcess(0)");
  EXPECT_TRUE(calls_named(run.calls, {"Release"}).empty());
}

TEST(DisplayFailure, DirectDrawThatCannotStart) {
  HeadlessScript script;
  script.direct_draw_create_result = DDERR_NODIRECTDRAWHW;
  expect_fatal(script, "Sorry, I can't init DirectDraw");
}

TEST(DisplayFailure, CooperativeLevelRefused) {
  HeadlessScript script;
  script.cooperative_level_result = DDERR_EXCLUSIVEMODEALREADYSET;
  expect_fatal(script, "Sorry, I can't set the CooperativeLevel");
}

TEST(DisplayFailure, VideoModeRefused) {
  HeadlessScript script;
  script.display_mode_result = DDERR_UNSUPPORTEDMODE;
  expect_fatal(script, "Sorry, I can't set this video mode");
}

TEST_F(Display, FailedSurfaceCreationShowsNothingInsteadOfCrashing) {
  HeadlessScript script;
  script.create_surface_result = DDERR_OUTOFMEMORY;
  open(script);
  present_frame();
  EXPECT_EQ(frames, 0);
}

}  // namespace
