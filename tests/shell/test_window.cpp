// The window, the hidden pointer and the fatal-error path.
#include <gtest/gtest.h>
#include <windows.h>

#include "shell/shell.h"
#include "support/child_run.h"

namespace {

TEST(Window, IsATinyPopupShownWithTheGivenCommandThenFocusedWithThePointerHidden) {
  ChildRun run = run_in_child({}, [] {
    show_command = 7;
    create_app_window();
    return main_window != nullptr ? 0 : 1;
  });
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
  const std::string class_line =
      "RegisterClassExA(VORNA Z-PLORAN V2.2, style 3, size " + std::to_string(sizeof(WNDCLASSEXA)) + ", no cursor)";
  std::vector<std::string> expected = {
      "GetStockObject(4)", class_line,     "CreateWindowExA(0, VORNA Z-PLORAN V2.2, null, 0x80880000, 10, 10, 31, 31)",
      "ShowWindow(7)",     "UpdateWindow", "SetFocus",
      "ShowCursor(FALSE)",
  };
  EXPECT_EQ(run.calls, expected);
}

TEST(Window, AnswersSetCursorItselfAndPassesEverythingElseOn) {
  ChildRun run = run_in_child({}, [] {
    if (app_window_proc(nullptr, WM_SETCURSOR, 0, 0) != TRUE) {
      return 1;
    }
    app_window_proc(nullptr, WM_ACTIVATEAPP, 1, 0);
    app_window_proc(nullptr, WM_DESTROY, 0, 0);
    return 0;
  });
  EXPECT_EQ(run.exit_code, 0);
  std::vector<std::string> expected = {"DefWindowProcA(28)", "PostQuitMessage(0)", "DefWindowProcA(2)"};
  EXPECT_EQ(run.calls, expected);
}

TEST(Window, FatalErrorShowsThePointerThenTheBoxThenExitsWithZero) {
  ChildRun run = run_in_child({}, [] {
    fatal_error("Something went wrong");
    return 3;  // never reached
  });
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
  std::vector<std::string> expected = {"ShowCursor(TRUE)", "MessageBoxA(Something went wrong, VORNA Z-PLORAN V2.2, 0)",
                                       "ExitProcess(0)"};
  EXPECT_EQ(run.calls, expected);
  EXPECT_EQ(run.message_boxes, std::vector<std::string>{"Something went wrong"});
}

TEST(Window, RequestQuitPostsCloseToTheWindowThenTheQuitMessage) {
  ChildRun run = run_in_child({}, [] {
    request_quit();
    return 0;
  });
  std::vector<std::string> expected = {"PostMessageA(16, 0, 0)", "PostQuitMessage(0)"};
  EXPECT_EQ(run.calls, expected);
}

}  // namespace
