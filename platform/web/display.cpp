// DirectDraw in a web page: the display mode is the page's canvas, and a
// blit onto the primary surface hands the frame to the page.
//
// The page draws a handed-over frame at its next animation frame, as the
// largest 4:3 rectangle that fits the canvas, with sharp pixels (see
// js/vorna_page.js). A new frame is handed over only once the page has
// drawn the previous one, so the demo, which steps its animation once per
// frame, runs at the page's frame rate: the display's, or an even part of
// it at most 75 per second, as on the desktop.
#include <ddraw.h>
#include <emscripten/emscripten.h>

#include <cstring>
#include <new>
#include <vector>

#include "common/com_object.h"
#include "common/fake_surface.h"
#include "web/web_state.h"

namespace {

std::uint32_t mode_width = 0;
std::uint32_t mode_height = 0;
bool have_cooperative_level = false;

struct Surface;
Surface* primary = nullptr;

// Waits until the page has drawn the last frame handed over, then hands
// over this one. While the page is hidden it draws nothing, and the demo
// waits here.
void hand_over_frame(const std::uint16_t* pixels) {
  for (;;) {
    const std::uint32_t shown = web_shared.shown_serial.load();
    if (shown == web_shared.frame_serial.load()) {
      break;
    }
    wait_while_equal(web_shared.shown_serial, shown, 100.0);
  }
  std::memcpy(web_shared.pixels, pixels, static_cast<std::size_t>(mode_width) * mode_height * 2);
  web_shared.frame_serial.fetch_add(1);
}

struct Surface final : ComObject<Surface, IDirectDrawSurface> {
  std::vector<std::uint16_t> words;  // 16-bit pixels, the only depth offered
  std::uint32_t pitch;
  Surface* back = nullptr;
  bool locked = false;

  Surface(std::uint32_t width, std::uint32_t height)
      : words(static_cast<std::size_t>(width) * height), pitch(width * 2) {}
  std::uint8_t* memory_bytes() { return reinterpret_cast<std::uint8_t*>(words.data()); }
  FakeSurfaceMemory memory() { return {memory_bytes(), mode_width, mode_height, pitch, locked}; }

  void on_last_release() {
    if (this == primary) {
      primary = nullptr;
    }
    delete back;
  }

  HRESULT BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE source, LPRECT source_rect, DWORD) override {
    auto* from = static_cast<Surface*>(source);
    const FakeSurfaceMemory from_memory = from != nullptr ? from->memory() : FakeSurfaceMemory{};
    const HRESULT copied = fake_blt_fast(memory(), x, y, from != nullptr ? &from_memory : nullptr, source_rect, 2);
    if (copied != DD_OK) {
      return copied;
    }
    if (this == primary) {
      hand_over_frame(words.data());
    }
    return DD_OK;
  }

  HRESULT GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* attached) override {
    if (back == nullptr || (caps->dwCaps & DDSCAPS_BACKBUFFER) == 0) {
      *attached = nullptr;
      return DDERR_INVALIDPARAMS;
    }
    *attached = back;
    return DD_OK;
  }

  HRESULT IsLost() override { return DD_OK; }

  HRESULT Lock(LPRECT, LPDDSURFACEDESC desc, DWORD, HANDLE) override { return fake_lock(locked, memory(), desc); }

  HRESULT Restore() override { return DD_OK; }

  HRESULT Unlock(LPVOID) override { return fake_unlock(locked); }
};

struct DirectDraw final : ComObject<DirectDraw, IDirectDraw> {
  void on_last_release() {
    // Releasing the DirectDraw object gives the display back: the page
    // shows its own content again.
    web_shared.frame_width.store(0);
    web_shared.frame_height.store(0);
    mode_width = mode_height = 0;
    have_cooperative_level = false;
    MAIN_THREAD_ASYNC_EM_ASM({ Module.vornaPage.displayClosed(); });
  }

  HRESULT CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface, IUnknown*) override {
    *surface = nullptr;
    const DWORD wanted = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    if ((desc->ddsCaps.dwCaps & wanted) != wanted || desc->dwBackBufferCount != 1 || mode_width == 0 ||
        primary != nullptr) {
      return DDERR_INVALIDPARAMS;
    }
    auto* created = new (std::nothrow) Surface(mode_width, mode_height);
    if (created == nullptr) {
      return DDERR_OUTOFMEMORY;
    }
    created->back = new (std::nothrow) Surface(mode_width, mode_height);
    primary = created;
    *surface = created;
    return DD_OK;
  }

  HRESULT RestoreDisplayMode() override { return DD_OK; }

  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
    if (window == nullptr) {
      return DDERR_INVALIDPARAMS;
    }
    have_cooperative_level = (flags & DDSCL_EXCLUSIVE) != 0 && (flags & DDSCL_FULLSCREEN) != 0;
    return DD_OK;
  }

  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bits_per_pixel) override {
    if (!have_cooperative_level) {
      return DDERR_NOEXCLUSIVEMODE;
    }
    if (bits_per_pixel != 16 || width == 0 || height == 0 || width * height > web_max_pixels) {
      return DDERR_UNSUPPORTEDMODE;
    }
    mode_width = width;
    mode_height = height;
    web_shared.frame_width.store(width);
    web_shared.frame_height.store(height);
    MAIN_THREAD_ASYNC_EM_ASM({ Module.vornaPage.displayOpened(); });
    return DD_OK;
  }
};

}  // namespace

HRESULT WINAPI DirectDrawCreate(GUID*, LPDIRECTDRAW* direct_draw, IUnknown*) {
  *direct_draw = nullptr;
  // The page must have a canvas that draws in two dimensions.
  const int can_draw = MAIN_THREAD_EM_ASM_INT({ return Module.vornaPage ? Module.vornaPage.canDraw() : 0; });
  if (can_draw == 0) {
    return DDERR_NODIRECTDRAWHW;
  }
  auto* created = new (std::nothrow) DirectDraw;
  if (created == nullptr) {
    return DDERR_OUTOFMEMORY;
  }
  *direct_draw = created;
  return DD_OK;
}
