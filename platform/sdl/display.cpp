// DirectDraw on SDL: the display mode becomes a borderless full-screen
// window (Alt+Enter turns it into a resizable window and back), and a blit
// onto the primary surface shows the frame.
//
// The 320 x 200 frame is shown at the 4:3 shape it had on a monitor (its
// pixels 1.2 times taller than wide), as large as the window allows, with
// black bars. For sharp yet even pixels it is first scaled by whole numbers
// with nearest-neighbour sampling, then linearly down to its final size.
//
// Two ways to do that scale, chosen at start-up by what each costs here:
// - on the renderer: the frame goes up as a small texture, the renderer
//   scales it into a texture of the whole multiple and from there linearly
//   onto the screen. Next to nothing for a graphics card, with vsync.
// - on the CPU: both steps at once with precomputed weights
//   (common/picture_scale.h) into a streaming texture of the picture's
//   size, which SDL's software renderer copies to the window as it is.
//   Far cheaper where the renderer itself runs on the CPU (a software
//   OpenGL, as on a machine without a graphics card).
// SDL_RENDER_DRIVER, where set, picks the renderer instead.
//
// Pacing: the demo renders as fast as it can and steps every animation once
// per frame, so frames are shown at a steady rate between 60 and 75 per
// second: vsync where the display gives it, and a clock here in any case,
// so that a display that does not wait (or waits too little) cannot make the
// show run fast.
#include <ddraw.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <new>
#include <thread>
#include <vector>

#include "common/com_object.h"
#include "common/fake_surface.h"
#include "common/picture_scale.h"
#include "sdl/sdl_state.h"

namespace {

std::uint32_t mode_width = 0;
std::uint32_t mode_height = 0;
bool have_cooperative_level = false;

// How frames reach the window; all of it main thread only.
struct Presenter {
  SDL_Renderer* renderer = nullptr;
  bool scale_on_cpu = false;
  // Scaling on the renderer: the frame at its own size, and scaled up.
  SDL_Texture* frame_texture = nullptr;
  SDL_Texture* scaled_texture = nullptr;
  int scaled_width = 0;
  int scaled_height = 0;
  // Scaling on the CPU: the picture at its final size.
  SDL_Texture* picture_texture = nullptr;
  PictureScale scale;
};
Presenter presenter;

using Clock = std::chrono::steady_clock;
Clock::duration frame_period{};  // between two shown frames
Clock::time_point next_frame{};  // when the next frame may be shown

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
  frame_period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / pacing_rate(refresh);
  next_frame = Clock::now();
}

// Sleeps until the next frame's time. A sleep, not a spin: the system wakes
// us a few tens of microseconds late, which no one sees, and a spin would
// cost as much CPU as the whole presentation.
void wait_for_frame_time() {
  Clock::time_point now = Clock::now();
  if (now < next_frame) {
    std::this_thread::sleep_until(next_frame);
    next_frame += frame_period;
  } else if (now - next_frame > frame_period) {
    next_frame = now + frame_period;  // fell behind: start the rhythm again
  } else {
    next_frame += frame_period;
  }
}

void drop_textures(Presenter& shown) {
  for (SDL_Texture** texture : {&shown.frame_texture, &shown.scaled_texture, &shown.picture_texture}) {
    if (*texture != nullptr) {
      SDL_DestroyTexture(*texture);
      *texture = nullptr;
    }
  }
  shown.scaled_width = shown.scaled_height = 0;
  plan_picture_scale(shown.scale, 0, 0, 0, 0);
}

void drop_presenter(Presenter& shown) {
  drop_textures(shown);
  if (shown.renderer != nullptr) {
    SDL_DestroyRenderer(shown.renderer);
    shown.renderer = nullptr;
  }
}

// Paints the output outside the picture black.
void fill_bars(SDL_Renderer* renderer, int output_width, int output_height, const PictureRect& target) {
  SDL_Rect bars[4] = {
      {0, 0, output_width, target.y},
      {0, target.y + target.height, output_width, output_height - target.y - target.height},
      {0, target.y, target.x, target.height},
      {target.x + target.width, target.y, output_width - target.x - target.width, target.height},
  };
  SDL_Rect shown_bars[4];
  int count = 0;
  for (const SDL_Rect& bar : bars) {
    if (bar.w > 0 && bar.h > 0) {
      shown_bars[count++] = bar;
    }
  }
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  if (count > 0) {
    SDL_RenderFillRects(renderer, shown_bars, count);
  }
}

// Scales the frame on the CPU straight into the picture texture, which the
// renderer then copies one to one.
void draw_scaled_on_cpu(Presenter& shown, const std::uint8_t* pixels, std::uint32_t pitch, const PictureRect& target) {
  if (shown.picture_texture == nullptr || shown.scale.width != target.width || shown.scale.height != target.height) {
    drop_textures(shown);
    shown.picture_texture = SDL_CreateTexture(shown.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                              target.width, target.height);
    if (shown.picture_texture == nullptr) {
      return;
    }
    plan_picture_scale(shown.scale, static_cast<int>(mode_width), static_cast<int>(mode_height), target.width,
                       target.height);
  }
  void* texture_pixels = nullptr;
  int texture_pitch = 0;
  if (SDL_LockTexture(shown.picture_texture, nullptr, &texture_pixels, &texture_pitch) != 0) {
    return;
  }
  scale_picture(shown.scale, reinterpret_cast<const std::uint16_t*>(pixels), pitch / 2,
                static_cast<std::uint32_t*>(texture_pixels), static_cast<std::size_t>(texture_pitch) / 4);
  SDL_UnlockTexture(shown.picture_texture);
  SDL_Rect place = {target.x, target.y, target.width, target.height};
  SDL_RenderCopy(shown.renderer, shown.picture_texture, nullptr, &place);
}

// Uploads the frame and lets the renderer scale it: nearest-neighbour into
// a texture of the whole multiple, then linearly onto the screen.
void draw_scaled_on_renderer(Presenter& shown, const std::uint8_t* pixels, std::uint32_t pitch,
                             const PictureRect& target) {
  if (shown.frame_texture == nullptr) {
    shown.frame_texture = SDL_CreateTexture(shown.renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                                            static_cast<int>(mode_width), static_cast<int>(mode_height));
    if (shown.frame_texture == nullptr) {
      return;
    }
    SDL_SetTextureScaleMode(shown.frame_texture, SDL_ScaleModeNearest);
  }
  void* texture_pixels = nullptr;
  int texture_pitch = 0;
  if (SDL_LockTexture(shown.frame_texture, nullptr, &texture_pixels, &texture_pitch) == 0) {
    // Write-only memory at the texture's own pitch: row by row.
    for (std::uint32_t y = 0; y < mode_height; ++y) {
      std::memcpy(static_cast<std::uint8_t*>(texture_pixels) + static_cast<std::size_t>(y) * texture_pitch,
                  pixels + static_cast<std::size_t>(y) * pitch, mode_width * 2);
    }
    SDL_UnlockTexture(shown.frame_texture);
  }
  int wanted_width = static_cast<int>(mode_width) * ((target.width + mode_width - 1) / mode_width);
  int wanted_height = static_cast<int>(mode_height) * ((target.height + mode_height - 1) / mode_height);
  if (shown.scaled_texture != nullptr && (wanted_width != shown.scaled_width || wanted_height != shown.scaled_height)) {
    SDL_DestroyTexture(shown.scaled_texture);
    shown.scaled_texture = nullptr;
  }
  if (shown.scaled_texture == nullptr && wanted_width > 0 && wanted_height > 0) {
    shown.scaled_texture = SDL_CreateTexture(shown.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                             wanted_width, wanted_height);
    if (shown.scaled_texture != nullptr) {
      SDL_SetTextureScaleMode(shown.scaled_texture, SDL_ScaleModeLinear);
      shown.scaled_width = wanted_width;
      shown.scaled_height = wanted_height;
    }
  }
  SDL_Texture* drawn = shown.frame_texture;
  if (shown.scaled_texture != nullptr && SDL_SetRenderTarget(shown.renderer, shown.scaled_texture) == 0) {
    SDL_RenderCopy(shown.renderer, shown.frame_texture, nullptr, nullptr);
    SDL_SetRenderTarget(shown.renderer, nullptr);
    drawn = shown.scaled_texture;
  }
  SDL_Rect place = {target.x, target.y, target.width, target.height};
  SDL_RenderCopy(shown.renderer, drawn, nullptr, &place);
}

// Draws one frame and shows it, paced or not.
void present_with(Presenter& shown, const std::uint8_t* pixels, std::uint32_t pitch, bool paced) {
  if (shown.renderer == nullptr) {
    return;
  }
  int output_width = 0;
  int output_height = 0;
  SDL_GetRendererOutputSize(shown.renderer, &output_width, &output_height);
  PictureRect target = picture_rect(output_width, output_height);
  if (target.width > 0 && target.height > 0) {
    if (shown.scale_on_cpu) {
      draw_scaled_on_cpu(shown, pixels, pitch, target);
    } else {
      draw_scaled_on_renderer(shown, pixels, pitch, target);
    }
  }
  fill_bars(shown.renderer, output_width, output_height, target);
  if (paced) {
    wait_for_frame_time();
  }
  SDL_RenderPresent(shown.renderer);
}

void show_frame(const std::uint8_t* pixels, std::uint32_t pitch) { present_with(presenter, pixels, pitch, true); }

bool make_presenter(Presenter& made, bool software) {
  made = Presenter{};
  made.scale_on_cpu = software;
  made.renderer =
      software ? SDL_CreateRenderer(sdl_window, -1, SDL_RENDERER_SOFTWARE)
               : SDL_CreateRenderer(sdl_window, -1,
                                    SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC | SDL_RENDERER_TARGETTEXTURE);
  return made.renderer != nullptr;
}

// CPU seconds (all threads of the process, the renderer's included) that
// one presented frame costs, after a few frames to warm up. The frames are
// black, as the screen is before the show starts.
double cpu_per_frame(Presenter& trial) {
  static const std::vector<std::uint8_t> black(static_cast<std::size_t>(mode_width) * mode_height * 2, 0);
  const int warm_up = 3;
  const int measured = 8;
  for (int i = 0; i < warm_up; ++i) {
    present_with(trial, black.data(), mode_width * 2, false);
  }
  std::clock_t start = std::clock();
  for (int i = 0; i < measured; ++i) {
    present_with(trial, black.data(), mode_width * 2, false);
  }
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / measured;
}

// Picks the cheaper way to present. The renderer's own scale wins unless
// the CPU's costs less than half as much: it has vsync and spares the CPU
// wherever there is a graphics card.
bool choose_presenter() {
  const char* asked = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
  if (asked != nullptr && asked[0] != '\0') {
    presenter.renderer = SDL_CreateRenderer(sdl_window, -1, SDL_RENDERER_TARGETTEXTURE);
    SDL_RendererInfo info;
    presenter.scale_on_cpu = presenter.renderer != nullptr && SDL_GetRendererInfo(presenter.renderer, &info) == 0 &&
                             SDL_strcmp(info.name, "software") == 0;
    return presenter.renderer != nullptr;
  }
  // The software renderer draws into the window's own memory, shared with
  // the X server where it can be, rather than through OpenGL again.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  double software_cost = -1.0;
  {
    Presenter trial;
    if (make_presenter(trial, true)) {
      software_cost = cpu_per_frame(trial);
    }
    drop_presenter(trial);
  }
  if (make_presenter(presenter, false)) {
    double renderer_cost = cpu_per_frame(presenter);
    drop_textures(presenter);
    if (software_cost < 0.0 || software_cost * 2.0 >= renderer_cost) {
      return true;
    }
    drop_presenter(presenter);
  }
  return make_presenter(presenter, true);
}

}  // namespace

void toggle_full_screen() {
  if (presenter.renderer == nullptr || sdl_window == nullptr) {
    return;
  }
  if (shown_in_window()) {
    enter_full_screen();
  } else {
    enter_window();
  }
}

namespace {

bool open_mode(std::uint32_t width, std::uint32_t height) {
  if (sdl_window == nullptr) {
    return false;
  }
  mode_width = width;
  mode_height = height;
  enter_full_screen();
  SDL_RaiseWindow(sdl_window);
  if (presenter.renderer == nullptr && !choose_presenter()) {
    return false;
  }
  drop_textures(presenter);
  start_pacing();
  return true;
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

  HRESULT Lock(LPRECT, LPDDSURFACEDESC desc, DWORD, HANDLE) override { return fake_lock(locked, memory(), desc); }

  HRESULT Restore() override { return DD_OK; }

  HRESULT Unlock(LPVOID) override { return fake_unlock(locked); }
};

struct DirectDraw final : ComObject<DirectDraw, IDirectDraw> {
  void on_last_release() {
    // Releasing the DirectDraw object gives the display back.
    drop_presenter(presenter);
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
      mode_width = mode_height = 0;
      return DDERR_UNSUPPORTEDMODE;
    }
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
