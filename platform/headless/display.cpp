// A virtual DirectDraw: a primary surface with one attached back buffer in
// plain memory. A blit onto the primary surface is a presented frame.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/fake_surface.h"
#include "headless/state.h"

namespace {

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", static_cast<unsigned>(value));
  return text;
}

std::uint32_t mode_width = 0;
std::uint32_t mode_height = 0;
std::uint32_t mode_bits = 0;
bool have_cooperative_level = false;

struct Surface;
Surface* primary = nullptr;

// Takes one fault from a countdown, if any is left.
bool take(std::uint32_t& countdown) {
  if (countdown == 0) {
    return false;
  }
  --countdown;
  return true;
}

struct Surface final : ComObject<Surface, IDirectDrawSurface> {
  // Pixels are kept as 16-bit words, the mode the demo uses, and addressed
  // as bytes for the others.
  std::vector<std::uint16_t> words;
  std::uint8_t* memory_bytes() { return reinterpret_cast<std::uint8_t*>(words.data()); }
  FakeSurfaceMemory memory() { return {memory_bytes(), mode_width, mode_height, pitch, locked}; }
  std::uint32_t pitch = 0;
  Surface* back = nullptr;  // the attached back buffer (primary only)
  bool locked = false;

  Surface(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_pixel)
      : words((static_cast<std::size_t>(width) * height * bytes_per_pixel + 1) / 2), pitch(width * bytes_per_pixel) {}

  void on_release() { log_call(this == primary ? "Release(primary surface)" : "Release(surface)"); }
  void on_last_release() {
    if (this == primary) {
      primary = nullptr;
    }
    delete back;
  }

  HRESULT BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE source, LPRECT source_rect, DWORD flags) override {
    std::string rect = source_rect != nullptr
                           ? std::to_string(source_rect->left) + ", " + std::to_string(source_rect->top) + ", " +
                                 std::to_string(source_rect->right) + ", " + std::to_string(source_rect->bottom)
                           : std::string("whole");
    log_call("BltFast(" + std::to_string(x) + ", " + std::to_string(y) + ", " + rect + ", " + std::to_string(flags) +
             ")");
    if (take(script().blt_busy_count)) {
      return DDERR_WASSTILLDRAWING;
    }
    if (take(script().blt_lost_count)) {
      return DDERR_SURFACELOST;
    }
    auto* from = static_cast<Surface*>(source);
    const FakeSurfaceMemory from_memory = from != nullptr ? from->memory() : FakeSurfaceMemory{};
    const std::uint32_t bytes_per_pixel = pitch / (mode_width != 0 ? mode_width : 1);
    const HRESULT copied =
        fake_blt_fast(memory(), x, y, from != nullptr ? &from_memory : nullptr, source_rect, bytes_per_pixel);
    if (copied != DD_OK) {
      return copied;
    }
    if (this == primary) {
      frame_presented(words.data());
    }
    return DD_OK;
  }

  HRESULT GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* attached) override {
    log_call("GetAttachedSurface(" + hex(caps->dwCaps) + ")");
    if (back == nullptr || (caps->dwCaps & DDSCAPS_BACKBUFFER) == 0) {
      *attached = nullptr;
      return DDERR_INVALIDPARAMS;
    }
    *attached = back;
    return DD_OK;
  }

  HRESULT IsLost() override { return DD_OK; }

  HRESULT Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE) override {
    log_call(std::string("Lock(") + (rect == nullptr ? "whole" : "rect") + ", size " + std::to_string(desc->dwSize) +
             ", " + std::to_string(flags) + ")");
    if (take(script().lock_busy_count)) {
      return DDERR_WASSTILLDRAWING;
    }
    if (take(script().lock_lost_count)) {
      return DDERR_SURFACELOST;
    }
    return fake_lock(locked, memory(), desc);
  }

  HRESULT Restore() override {
    log_call("Restore");
    return DD_OK;
  }

  HRESULT Unlock(LPVOID) override {
    log_call("Unlock");
    return fake_unlock(locked);
  }
};

struct DirectDraw final : ComObject<DirectDraw, IDirectDraw> {
  void on_release() { log_call("Release(DirectDraw)"); }

  HRESULT CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface, IUnknown*) override {
    log_call("CreateSurface(size " + std::to_string(desc->dwSize) + ", flags " + hex(desc->dwFlags) +
             ", back buffers " + std::to_string(desc->dwBackBufferCount) + ", caps " + hex(desc->ddsCaps.dwCaps) + ")");
    *surface = nullptr;
    if (script().create_surface_result != DD_OK) {
      return script().create_surface_result;
    }
    const DWORD wanted = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    if ((desc->ddsCaps.dwCaps & wanted) != wanted || (desc->dwFlags & DDSD_BACKBUFFERCOUNT) == 0 ||
        desc->dwBackBufferCount != 1 || mode_width == 0 || primary != nullptr) {
      return DDERR_INVALIDPARAMS;
    }
    std::uint32_t bytes = mode_bits <= 8 ? 1 : mode_bits <= 16 ? 2 : mode_bits <= 24 ? 3 : 4;
    auto* created = new (std::nothrow) Surface(mode_width, mode_height, bytes);
    if (created == nullptr) {
      return DDERR_OUTOFMEMORY;
    }
    created->back = new (std::nothrow) Surface(mode_width, mode_height, bytes);
    primary = created;
    *surface = created;
    return DD_OK;
  }

  HRESULT RestoreDisplayMode() override {
    log_call("RestoreDisplayMode");
    return DD_OK;
  }

  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
    log_call("SetCooperativeLevel(" + std::string(window != nullptr ? "window" : "null") + ", " + hex(flags) + ")");
    if (script().cooperative_level_result != DD_OK) {
      return script().cooperative_level_result;
    }
    if (window == nullptr) {
      return DDERR_INVALIDPARAMS;
    }
    have_cooperative_level = (flags & DDSCL_EXCLUSIVE) != 0;
    return DD_OK;
  }

  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bits_per_pixel) override {
    log_call("SetDisplayMode(" + std::to_string(width) + ", " + std::to_string(height) + ", " +
             std::to_string(bits_per_pixel) + ")");
    if (script().display_mode_result != DD_OK) {
      return script().display_mode_result;
    }
    if (!have_cooperative_level) {
      return DDERR_NOEXCLUSIVEMODE;
    }
    if (width == 0 || height == 0 || width > 1600 || height > 1200 ||
        (bits_per_pixel != 8 && bits_per_pixel != 16 && bits_per_pixel != 24 && bits_per_pixel != 32)) {
      return DDERR_INVALIDMODE;
    }
    mode_width = width;
    mode_height = height;
    mode_bits = bits_per_pixel;
    return DD_OK;
  }
};

}  // namespace

HRESULT WINAPI DirectDrawCreate(GUID* device, LPDIRECTDRAW* direct_draw, IUnknown*) {
  log_call(std::string("DirectDrawCreate(") + (device == nullptr ? "null" : "device") + ")");
  *direct_draw = nullptr;
  if (script().direct_draw_create_result != DD_OK) {
    return script().direct_draw_create_result;
  }
  auto* created = new (std::nothrow) DirectDraw;
  if (created == nullptr) {
    return DDERR_OUTOFMEMORY;
  }
  *direct_draw = created;
  return DD_OK;
}

void reset_display() {
  // Surfaces of an earlier run are left to their owners; a new run starts
  // with no mode and no primary surface.
  mode_width = mode_height = mode_bits = 0;
  have_cooperative_level = false;
  primary = nullptr;
}
