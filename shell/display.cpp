// The full-screen 320 x 200 x 16 display and the presentation of frames.
//
// Everything draws into frame_buffer, plain memory that this file owns. Once
// per frame present_frame copies it into the back buffer of the flip chain
// and blits that onto the visible surface; the chain is never flipped.
// Main thread only.
#include <ddraw.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "shell/shell.h"

namespace {

IDirectDraw* direct_draw = nullptr;
IDirectDrawSurface* primary_surface = nullptr;
IDirectDrawSurface* back_surface = nullptr;
std::uint32_t display_width = 0;
std::uint32_t display_height = 0;
std::uint32_t row_bytes = 0;   // bytes per frame-buffer row
std::uint32_t frame_rows = 0;  // rows in frame_buffer
LONG locked_pitch = 0;         // pitch reported by the last successful Lock

// How often one present restores lost surfaces before it gives up on the
// frame. Lost surfaces come back when the display does; a frame that still
// cannot be shown is skipped rather than retried for ever.
constexpr int max_restores_per_frame = 3;

}  // namespace

void open_display() {
  if (DirectDrawCreate(nullptr, &direct_draw, nullptr) != DD_OK) {
    fatal_error("Sorry, I can't init DirectDraw");
  }
}

void set_display_mode(std::uint32_t width, std::uint32_t height, std::uint32_t bits_per_pixel) {
  // 0x51: full screen, exclusive, mode X allowed.
  if (direct_draw->SetCooperativeLevel(main_window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX) != DD_OK) {
    fatal_error("Sorry, I can't set the CooperativeLevel");
  }
  if (direct_draw->SetDisplayMode(width, height, bits_per_pixel & 0xFF) != DD_OK) {
    fatal_error("Sorry, I can't set this video mode");
  }

  DDSURFACEDESC desc = {};
  desc.dwSize = sizeof(DDSURFACEDESC);
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.dwBackBufferCount = 1;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  // A failure here leaves the surfaces null; present_frame then shows
  // nothing instead of crashing.
  direct_draw->CreateSurface(&desc, &primary_surface, nullptr);
  if (primary_surface != nullptr) {
    DDSCAPS caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    primary_surface->GetAttachedSurface(&caps, &back_surface);
  }

  display_width = width;
  display_height = height;
}

namespace {

std::uint32_t bytes_per_pixel(std::uint32_t bits_per_pixel) {
  switch (bits_per_pixel) {
    case 15:
    case 16:
      return 2;
    case 24:
      return 3;
    case 32:
      return 4;
    default:
      return 1;
  }
}

}  // namespace

void alloc_frame_buffer(std::uint32_t width, std::uint32_t height, std::uint32_t bits_per_pixel) {
  row_bytes = width * bytes_per_pixel(bits_per_pixel);
  frame_bytes = height * row_bytes;
  frame_rows = height;
  // Not cleared: every frame of every scene rewrites all pixels.
  frame_buffer = static_cast<std::uint16_t*>(std::malloc(frame_bytes > 0 ? frame_bytes : 1));
  if (frame_buffer == nullptr) {
    // Everything draws into the frame buffer unchecked, so carrying on
    // without one would crash.
    fatal_error("Sorry, there is not enough memory for the frame buffer");
  }
  for (std::uint32_t y = 0; y < height && y < max_frame_rows; ++y) {
    row_offset[y] = y * row_bytes;
  }
}

void free_frame_buffer() {
  std::free(frame_buffer);
  frame_buffer = nullptr;
}

void* lock_back_buffer() {
  if (back_surface == nullptr) {
    return nullptr;
  }
  for (int restores = 0;; ++restores) {
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(DDSURFACEDESC);
    HRESULT result;
    do {
      // A busy surface is waited for by asking again at once.
      result = back_surface->Lock(nullptr, &desc, 0, nullptr);
    } while (result == DDERR_WASSTILLDRAWING);
    if (result == DD_OK) {
      locked_pitch = desc.lPitch;
      return desc.lpSurface;
    }
    if (result != DDERR_SURFACELOST || restores == max_restores_per_frame || primary_surface->Restore() != DD_OK) {
      return nullptr;
    }
  }
}

void unlock_back_buffer() { back_surface->Unlock(nullptr); }

void show_back_buffer() {
  if (primary_surface == nullptr || back_surface == nullptr) {
    return;
  }
  RECT source = {0, 0, static_cast<LONG>(display_width), static_cast<LONG>(display_height)};
  int restores = 0;
  for (;;) {
    HRESULT result = primary_surface->BltFast(0, 0, back_surface, &source, DDBLTFAST_NOCOLORKEY);
    if (result == DD_OK) {
      return;
    }
    if (result == DDERR_WASSTILLDRAWING || result == DDERR_SURFACEBUSY) {
      continue;  // busy: repeat at once
    }
    if (result != DDERR_SURFACELOST || restores == max_restores_per_frame || primary_surface->Restore() != DD_OK) {
      return;  // give up on this frame; the next one tries again
    }
    ++restores;
  }
}

void present_frame() {
  auto* destination = static_cast<std::uint8_t*>(lock_back_buffer());
  if (destination != nullptr) {
    const auto* source = reinterpret_cast<const std::uint8_t*>(frame_buffer);
    std::uint32_t whole_words = frame_bytes / 4 * 4;
    if (locked_pitch == static_cast<LONG>(row_bytes)) {
      std::memcpy(destination, source, whole_words);
    } else if (locked_pitch > 0) {
      // The surface's rows are further apart than ours: copy row by row.
      std::uint32_t copy = row_bytes < static_cast<std::uint32_t>(locked_pitch) ? row_bytes : locked_pitch;
      for (std::uint32_t y = 0; y < frame_rows; ++y) {
        std::memcpy(destination + static_cast<std::size_t>(y) * locked_pitch, source + y * row_bytes, copy);
      }
    }
    unlock_back_buffer();
  }
  show_back_buffer();
}

void close_display() {
  if (direct_draw == nullptr) {
    return;
  }
  if (primary_surface != nullptr) {
    // The back buffer belongs to the complex primary surface and goes with it.
    primary_surface->Release();
    primary_surface = nullptr;
    back_surface = nullptr;
  }
  direct_draw->Release();
  direct_draw = nullptr;
}
