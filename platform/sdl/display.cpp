// DirectDraw on SDL: the display mode becomes a borderless full-screen
// window, and a blit onto the primary surface shows the frame.
//
// The 320 x 200 frame is shown at the 4:3 shape it had on a monitor (its
// pixels 1.2 times taller than wide), as large as the screen allows, with
// black bars. For sharp yet even pixels it is first scaled by whole numbers
// with nearest-neighbour sampling, then linearly down to its final size.
//
// Pacing: the demo renders as fast as it can and steps every animation once
// per frame, so frames are shown at a steady rate between 60 and 75 per
// second: vsync where the display gives it, and a clock here in any case,
// so that a display that does not wait (or waits too little) cannot make the
// show run fast.
#include <ddraw.h>

#include <cstring>
#include <new>
#include <vector>

#include "common/com_object.h"
#include "sdl/sdl_state.h"

namespace {

std::uint32_t mode_width = 0;
std::uint32_t mode_height = 0;
bool have_cooperative_level = false;

SDL_Renderer* renderer = nullptr;
SDL_Texture* frame_texture = nullptr;   // the frame at its own size
SDL_Texture* scaled_texture = nullptr;  // the frame scaled up by whole numbers
int scaled_width = 0;
int scaled_height = 0;

Uint64 frame_period = 0;  // performance-counter ticks per shown frame
Uint64 next_frame = 0;    // when the next frame may be shown

struct Surface;
Surface* primary = nullptr;

// Frames per second for the display's refresh rate: the rate itself, or
// halved until it is at most 75, and never below 60.
int pacing_rate(int refresh) {
  int rate = refresh > 0 ? refresh : 60;
  while (rate > 75) {
    rate /= 2;
  }
  return rate < 60 ? 60 : rate;
}

void start_pacing() {
  SDL_DisplayMode mode;
  int refresh = 0;
  if (SDL_GetCurrentDisplayMode(SDL_GetWindowDisplayIndex(sdl_window), &mode) == 0) {
    refresh = mode.refresh_rate;
  }
  frame_period = SDL_GetPerformanceFrequency() / static_cast<Uint64>(pacing_rate(refresh));
  next_frame = SDL_GetPerformanceCounter();
}

void wait_for_frame_time() {
  Uint64 now = SDL_GetPerformanceCounter();
  if (now < next_frame) {
    Uint64 left = next_frame - now;
    Uint64 frequency = SDL_GetPerformanceFrequency();
    Uint64 milliseconds = left * 1000 / frequency;
    if (milliseconds > 1) {
      SDL_Delay(static_cast<Uint32>(milliseconds - 1));
    }
    while (SDL_GetPerformanceCounter() < next_frame) {
    }
    next_frame += frame_period;
  } else if (now - next_frame > frame_period) {
    next_frame = now + frame_period;  // fell behind: start the rhythm again
  } else {
    next_frame += frame_period;
  }
}

// The largest 4:3 rectangle in the output, centred.
SDL_Rect picture_rect(int output_width, int output_height) {
  SDL_Rect rect;
  if (output_width * 3 >= output_height * 4) {
    rect.h = output_height;
    rect.w = output_height * 4 / 3;
  } else {
    rect.w = output_width;
    rect.h = output_width * 3 / 4;
  }
  rect.x = (output_width - rect.w) / 2;
  rect.y = (output_height - rect.h) / 2;
  return rect;
}

void show_frame(const std::uint8_t* pixels, std::uint32_t pitch) {
  if (renderer == nullptr || frame_texture == nullptr) {
    return;
  }
  void* texture_pixels = nullptr;
  int texture_pitch = 0;
  if (SDL_LockTexture(frame_texture, nullptr, &texture_pixels, &texture_pitch) == 0) {
    // Write-only memory at the texture's own pitch: row by row.
    for (std::uint32_t y = 0; y < mode_height; ++y) {
      std::memcpy(static_cast<std::uint8_t*>(texture_pixels) + static_cast<std::size_t>(y) * texture_pitch,
                  pixels + static_cast<std::size_t>(y) * pitch, mode_width * 2);
    }
    SDL_UnlockTexture(frame_texture);
  }

  int output_width = 0;
  int output_height = 0;
  SDL_GetRendererOutputSize(renderer, &output_width, &output_height);
  SDL_Rect target = picture_rect(output_width, output_height);

  int wanted_width = static_cast<int>(mode_width) * ((target.w + mode_width - 1) / mode_width);
  int wanted_height = static_cast<int>(mode_height) * ((target.h + mode_height - 1) / mode_height);
  if (scaled_texture != nullptr && (wanted_width != scaled_width || wanted_height != scaled_height)) {
    SDL_DestroyTexture(scaled_texture);
    scaled_texture = nullptr;
  }
  if (scaled_texture == nullptr && wanted_width > 0 && wanted_height > 0) {
    scaled_texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, wanted_width, wanted_height);
    if (scaled_texture != nullptr) {
      SDL_SetTextureScaleMode(scaled_texture, SDL_ScaleModeLinear);
      scaled_width = wanted_width;
      scaled_height = wanted_height;
    }
  }

  SDL_Texture* shown = frame_texture;
  if (scaled_texture != nullptr && SDL_SetRenderTarget(renderer, scaled_texture) == 0) {
    SDL_RenderCopy(renderer, frame_texture, nullptr, nullptr);
    SDL_SetRenderTarget(renderer, nullptr);
    shown = scaled_texture;
  }
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, shown, nullptr, &target);
  wait_for_frame_time();
  SDL_RenderPresent(renderer);
}

bool open_mode(std::uint32_t width, std::uint32_t height) {
  if (sdl_window == nullptr) {
    return false;
  }
  // Cover the desktop first: without a window manager, asking for full
  // screen alone leaves the window at its old size.
  SDL_DisplayMode desktop;
  if (SDL_GetDesktopDisplayMode(SDL_GetWindowDisplayIndex(sdl_window), &desktop) == 0) {
    SDL_SetWindowPosition(sdl_window, 0, 0);
    SDL_SetWindowSize(sdl_window, desktop.w, desktop.h);
  }
  SDL_SetWindowFullscreen(sdl_window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  SDL_ShowWindow(sdl_window);
  SDL_SetWindowPosition(sdl_window, 0, 0);
  SDL_RaiseWindow(sdl_window);
  if (renderer == nullptr) {
    renderer = SDL_CreateRenderer(sdl_window, -1,
                                  SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC | SDL_RENDERER_TARGETTEXTURE);
  }
  if (renderer == nullptr) {
    renderer = SDL_CreateRenderer(sdl_window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
  }
  if (renderer == nullptr) {
    return false;
  }
  if (frame_texture != nullptr) {
    SDL_DestroyTexture(frame_texture);
  }
  frame_texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                                    static_cast<int>(width), static_cast<int>(height));
  if (frame_texture == nullptr) {
    return false;
  }
  SDL_SetTextureScaleMode(frame_texture, SDL_ScaleModeNearest);
  start_pacing();
  return true;
}

struct Surface final : ComObject<Surface, IDirectDrawSurface> {
  std::vector<std::uint16_t> words;  // 16-bit pixels, the only depth offered
  std::uint32_t pitch;
  Surface* back = nullptr;
  bool locked = false;

  Surface(std::uint32_t width, std::uint32_t height) : words(static_cast<std::size_t>(width) * height), pitch(width * 2) {}
  std::uint8_t* memory_bytes() { return reinterpret_cast<std::uint8_t*>(words.data()); }

  void on_last_release() {
    if (this == primary) {
      primary = nullptr;
    }
    delete back;
  }

  HRESULT BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE source, LPRECT source_rect, DWORD) override {
    auto* from = static_cast<Surface*>(source);
    if (from == nullptr || from->locked || locked) {
      return DDERR_SURFACEBUSY;
    }
    RECT area = {0, 0, static_cast<LONG>(mode_width), static_cast<LONG>(mode_height)};
    if (source_rect != nullptr) {
      area = *source_rect;
    }
    if (area.left < 0 || area.top < 0 || area.right < area.left || area.bottom < area.top ||
        static_cast<std::uint32_t>(area.right) > mode_width || static_cast<std::uint32_t>(area.bottom) > mode_height ||
        x + static_cast<std::uint32_t>(area.right - area.left) > mode_width ||
        y + static_cast<std::uint32_t>(area.bottom - area.top) > mode_height) {
      return DDERR_INVALIDPARAMS;
    }
    std::size_t row = static_cast<std::size_t>(area.right - area.left) * 2;
    for (LONG r = area.top; r < area.bottom; ++r) {
      std::memcpy(memory_bytes() + (y + (r - area.top)) * pitch + x * 2,
                  from->memory_bytes() + r * from->pitch + area.left * 2, row);
    }
    if (this == primary) {
      show_frame(memory_bytes(), pitch);
      pump_events();
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

  HRESULT Lock(LPRECT, LPDDSURFACEDESC desc, DWORD, HANDLE) override {
    if (locked) {
      return DDERR_SURFACEBUSY;
    }
    locked = true;
    desc->dwWidth = mode_width;
    desc->dwHeight = mode_height;
    desc->lPitch = static_cast<LONG>(pitch);
    desc->lpSurface = memory_bytes();
    desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE;
    return DD_OK;
  }

  HRESULT Restore() override { return DD_OK; }

  HRESULT Unlock(LPVOID) override {
    if (!locked) {
      return DDERR_NOTLOCKED;
    }
    locked = false;
    return DD_OK;
  }

};

struct DirectDraw final : ComObject<DirectDraw, IDirectDraw> {

  void on_last_release() {
    // Releasing the DirectDraw object gives the display back.
    if (sdl_window != nullptr) {
      SDL_SetWindowFullscreen(sdl_window, 0);
      SDL_HideWindow(sdl_window);
    }
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
    if (window == nullptr || sdl_window == nullptr) {
      return DDERR_INVALIDPARAMS;
    }
    have_cooperative_level = (flags & DDSCL_EXCLUSIVE) != 0 && (flags & DDSCL_FULLSCREEN) != 0;
    return DD_OK;
  }

  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bits_per_pixel) override {
    if (!have_cooperative_level) {
      return DDERR_NOEXCLUSIVEMODE;
    }
    if (bits_per_pixel != 16 || width == 0 || height == 0 || width > 4096 || height > 4096) {
      return DDERR_UNSUPPORTEDMODE;
    }
    if (!open_mode(width, height)) {
      return DDERR_UNSUPPORTEDMODE;
    }
    mode_width = width;
    mode_height = height;
    return DD_OK;
  }

};

}  // namespace

HRESULT WINAPI DirectDrawCreate(GUID*, LPDIRECTDRAW* direct_draw, IUnknown*) {
  *direct_draw = nullptr;
  if (!start_video()) {
    return DDERR_NODIRECTDRAWHW;
  }
  auto* created = new (std::nothrow) DirectDraw;
  if (created == nullptr) {
    return DDERR_OUTOFMEMORY;
  }
  *direct_draw = created;
  return DD_OK;
}
