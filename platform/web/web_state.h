// What the web backend's files share, and the block of memory through which
// the program and its page meet.
//
// The program runs on a worker thread of the page (a pthread), so that it
// may block like a desktop program; the page's own thread draws, listens to
// the keyboard and runs Web Audio. They share the WebAssembly memory. The
// page finds the WebShared block through web_shared_block() and reads and
// writes its fields at the byte offsets pinned below; js/vorna_page.js and
// js/ring_worklet.js use the same offsets.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t web_max_pixels = 640 * 480;  // largest display mode offered

struct WebShared {
  // --- The display (demo thread writes, page reads) ----------------------
  // Counts the frames handed over; the page draws when it changes.
  std::atomic<std::uint32_t> frame_serial;
  // The last frame_serial the page has drawn (page writes, then wakes the
  // futex on this word). The demo thread hands over a new frame only after
  // the page has drawn the previous one: one frame per animation frame.
  std::atomic<std::uint32_t> shown_serial;
  std::atomic<std::uint32_t> frame_width;  // pixels, 0 while no display mode is set
  std::atomic<std::uint32_t> frame_height;
  std::atomic<std::uint32_t> cursor_shown;  // ShowCursor's counter is >= 0

  // --- The wave device (demo side writes the ring, the worklet reads) -----
  std::atomic<std::uint32_t> ring_address;  // byte address of the looping buffer, 0 = silence
  std::atomic<std::uint32_t> ring_frames;   // its length in 16-bit stereo frames
  std::atomic<std::uint32_t> ring_serial;   // bumped whenever the two above change
  // Written by the worklet after each render quantum: the ring frame it
  // reads next (the play position), the frames it has taken in all
  // (wrapping), and the ring_serial it last saw.
  std::atomic<std::uint32_t> ring_read;
  std::atomic<std::uint32_t> frames_taken;
  std::atomic<std::uint32_t> seen_ring_serial;
  std::atomic<std::uint32_t> audio_rate;   // the page's audio rate, 0 = no audio running
  std::atomic<std::uint32_t> ring_paused;  // 1: the worklet plays silence and holds its place

  // --- The message box (page writes 1 when it is closed) -------------------
  std::atomic<std::uint32_t> box_closed;

  std::atomic<std::uint32_t> audio_quanta;  // render quanta the worklet has run (wrapping)
  std::uint32_t reserved;

  // The frame handed over: frame_width x frame_height RGB565 pixels, rows
  // without gaps. At byte offset 64.
  std::uint16_t pixels[web_max_pixels];
};

static_assert(offsetof(WebShared, frame_serial) == 0);
static_assert(offsetof(WebShared, shown_serial) == 4);
static_assert(offsetof(WebShared, frame_width) == 8);
static_assert(offsetof(WebShared, frame_height) == 12);
static_assert(offsetof(WebShared, cursor_shown) == 16);
static_assert(offsetof(WebShared, ring_address) == 20);
static_assert(offsetof(WebShared, ring_frames) == 24);
static_assert(offsetof(WebShared, ring_serial) == 28);
static_assert(offsetof(WebShared, ring_read) == 32);
static_assert(offsetof(WebShared, frames_taken) == 36);
static_assert(offsetof(WebShared, seen_ring_serial) == 40);
static_assert(offsetof(WebShared, audio_rate) == 44);
static_assert(offsetof(WebShared, ring_paused) == 48);
static_assert(offsetof(WebShared, box_closed) == 52);
static_assert(offsetof(WebShared, audio_quanta) == 56);
static_assert(offsetof(WebShared, pixels) == 64);

extern WebShared web_shared;

// Keyboard state kept by input.cpp from the page's key events.
// Counts how often the page lost the keyboard focus; a device acquired
// before the last loss has lost its input.
extern std::atomic<std::uint32_t> focus_losses;
extern std::atomic<bool> page_has_focus;

// Waits (on the calling worker thread) until word no longer holds value, or
// milliseconds have passed; the page wakes it with Atomics.notify.
void wait_while_equal(std::atomic<std::uint32_t>& word, std::uint32_t value, double milliseconds);
