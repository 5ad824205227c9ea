// Runs a piece of the program in a child process on the headless backend.
//
// The demo's state is process-wide and its start-up is meant to run once
// (it converts the object in place, marks captions as shown), so every
// whole-program test gets a fresh process of its own. The child reports
// what happened through a pipe, including when it ends through ExitProcess.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "headless/headless.h"

struct ChildRun {
  bool exited = false;  // ended by exit, not by a signal
  int exit_code = -1;
  std::vector<std::string> calls;          // the platform call log
  std::vector<std::string> message_boxes;  // texts of the boxes shown
  std::vector<std::string> frames;         // one note per presented frame
};

// A child that presents this many frames is stopped with runaway_exit_code.
inline constexpr std::uint32_t max_child_frames = 200000;
inline constexpr int runaway_exit_code = 99;

// Describes a frame in one line; the default gives "pixel0 hash" with the
// first pixel as four hex digits and the FNV-1a hash of the 128000 bytes.
using FrameNote = std::function<std::string(const std::uint16_t* pixels, std::uint32_t frame)>;

std::string default_frame_note(const std::uint16_t* pixels, std::uint32_t frame);

// Forks; the child configures the headless backend with the script (call
// logging on), runs body and exits with its result.
ChildRun run_in_child(HeadlessScript script, const std::function<int()>& body, FrameNote note = default_frame_note);

// Runs the whole demo from its entry point in a child.
ChildRun run_demo_in_child(HeadlessScript script, FrameNote note = default_frame_note);

// The calls of a log whose line starts with any of the given names, in order.
std::vector<std::string> calls_named(const std::vector<std::string>& calls, const std::vector<std::string>& names);
