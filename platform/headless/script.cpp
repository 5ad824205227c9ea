// The script of a headless run, its call log and its frame counter.
#include <cstdio>
#include <mutex>
#include <utility>

#include "headless/state.h"

namespace {

HeadlessScript current_script;
std::uint32_t frames_so_far = 0;
bool escape_is_held = false;

std::mutex log_mutex;  // guards the two logs below
std::vector<std::string> call_log;
std::vector<std::string> message_boxes;

}  // namespace

HeadlessScript& script() { return current_script; }
std::uint32_t presented_frames() { return frames_so_far; }
bool escape_held() { return escape_is_held; }

void log_call(const std::string& line) {
  if (!current_script.log_calls) {
    return;
  }
  std::lock_guard<std::mutex> lock(log_mutex);
  call_log.push_back(line);
}

void log_message_box(const std::string& text) {
  std::lock_guard<std::mutex> lock(log_mutex);
  message_boxes.push_back(text);
}

void headless_configure(HeadlessScript new_script) {
  current_script = std::move(new_script);
  if (current_script.frames_per_second == 0) {
    current_script.frames_per_second = 60;
  }
  frames_so_far = 0;
  escape_is_held = false;
  {
    std::lock_guard<std::mutex> lock(log_mutex);
    call_log.clear();
    message_boxes.clear();
  }
  reset_display();
  reset_wave();
}

void headless_hold_escape(bool down) { escape_is_held = down; }

std::vector<std::string> headless_call_log() {
  std::lock_guard<std::mutex> lock(log_mutex);
  return call_log;
}

std::vector<std::string> headless_message_boxes() {
  std::lock_guard<std::mutex> lock(log_mutex);
  return message_boxes;
}

std::uint32_t headless_frames_presented() { return frames_so_far; }

void frame_presented(const std::uint16_t* pixels) {
  ++frames_so_far;
  wave_frame_passed();
  if (current_script.frame_sink) {
    current_script.frame_sink(pixels, frames_so_far);
  }
}
