// The whole demo in a child, apart from the rest of child_run.cpp: only the
// tests that run the demo link its library, and only they pull this in.
#include <windows.h>

#include <utility>

#include "support/child_run.h"

ChildRun run_demo_in_child(HeadlessScript script, FrameNote note) {
  return run_in_child(
      std::move(script),
      [] {
        static char command_line[] = "";
        static HINSTANCE__ instance = {};
        return WinMain(&instance, nullptr, command_line, SW_SHOWDEFAULT);
      },
      std::move(note));
}
