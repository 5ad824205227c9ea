// Control of the headless backend: the script a run follows and what it
// produced. Tests, the capture tool and benchmarks use this; the demo's own
// code never does.
//
// The virtual display hands every presented frame to a sink; the virtual
// keyboard answers from the script; the virtual wave device plays its ring
// against a virtual clock that advances by one video frame per presented
// frame. The output thread's Sleep calls advance that thread's own clock,
// and it may only run up to the time of the last presented frame, so a run
// is a pure function of its script: the same frames and the same audio on
// every run.
//
// Configure before WinMain (or before the first platform call) on the main
// thread; the sinks are called on the main thread.
#pragma once

#include <ddraw.h>
#include <mmsystem.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct HeadlessScript {
  // Virtual video frames per second; the wave device's clock follows it.
  std::uint32_t frames_per_second = 60;
  // Instead of the virtual clock, let Sleep really sleep and the wave device
  // play in real time, so that the output thread runs freely beside the
  // main thread (for tests of the locking between the two). Such a run is
  // not repeatable.
  bool real_time = false;

  // The keyboard. Frames are counted from 1: frame F is the frame being
  // prepared after F - 1 presented frames, and a poll during it sees the
  // keys the script gives for F.
  bool hold_escape = false;                  // Escape down from the start
  std::vector<std::uint32_t> escape_frames;  // Escape down during these frames
  // Optional: decides all 256 keys (bit 7 = down) for a frame, replacing
  // the two fields above.
  std::function<void(std::uint32_t frame, BYTE keys[256])> keyboard;

  // Fault injection: results the platform calls give instead of success.
  HRESULT direct_draw_create_result = DD_OK;
  HRESULT cooperative_level_result = DD_OK;
  HRESULT display_mode_result = DD_OK;
  HRESULT create_surface_result = DD_OK;
  std::uint32_t lock_busy_count = 0;  // the next N Locks answer DDERR_WASSTILLDRAWING
  std::uint32_t lock_lost_count = 0;  // then the next N answer DDERR_SURFACELOST
  std::uint32_t blt_busy_count = 0;   // the next N BltFasts answer DDERR_WASSTILLDRAWING
  std::uint32_t blt_lost_count = 0;   // then the next N answer DDERR_SURFACELOST
  // For frame F, the results of the keyboard's successive GetDeviceState
  // and Acquire calls during that frame; once used up, calls succeed.
  std::map<std::uint32_t, std::vector<HRESULT>> device_state_results;
  std::map<std::uint32_t, std::vector<HRESULT>> acquire_results;
  MMRESULT wave_open_result = MMSYSERR_NOERROR;

  // Called after every presented frame, once the music thread has caught up
  // with the frame's time: the 320 x 200 RGB565 pixels shown and the frame's
  // number (from 1).
  std::function<void(const std::uint16_t* pixels, std::uint32_t frame)> frame_sink;
  // Called once per presented frame, before it is shown, with the sound the
  // device played since the previous frame: interleaved 16-bit stereo
  // frames at the device's rate (silence while no device plays).
  std::function<void(const std::int16_t* samples, std::uint32_t frames)> audio_sink;
  // Called by ExitProcess before the process ends, with the exit code.
  std::function<void(UINT exit_code)> exit_hook;
  // Record the platform calls of the run (see headless_call_log).
  bool log_calls = false;
};

// Replaces the script and resets the virtual devices, the clock and the log.
void headless_configure(HeadlessScript script);

// Holds Escape down from the frame after the current one on (or releases
// it): for callers that decide while the run goes on, such as a frame sink.
void headless_hold_escape(bool down);

// The platform calls made so far, one line each, such as
// "SetDisplayMode(320, 200, 16)" or "waveOutClose".
std::vector<std::string> headless_call_log();

std::uint32_t headless_frames_presented();
// The text of every message box shown, in order.
std::vector<std::string> headless_message_boxes();

// Lets virtual time pass on the main thread without a frame, as a Sleep of
// the main thread does: the output thread runs up to the new time.
void headless_run_for(DWORD milliseconds);
