// The backends' shared surface checks (see common/fake_surface.h).
#include "common/fake_surface.h"

#include <cstddef>
#include <cstring>

HRESULT fake_blt_fast(const FakeSurfaceMemory& to, DWORD x, DWORD y, const FakeSurfaceMemory* from,
                      const RECT* source_rect, std::uint32_t bytes_per_pixel) {
  if (from == nullptr || from->locked || to.locked) {
    return DDERR_SURFACEBUSY;
  }
  RECT area = {0, 0, static_cast<LONG>(to.width), static_cast<LONG>(to.height)};
  if (source_rect != nullptr) {
    area = *source_rect;
  }
  // In 64 bits, so that no position or size wraps past the checks.
  if (area.left < 0 || area.top < 0 || area.right < area.left || area.bottom < area.top ||
      static_cast<std::uint64_t>(area.right) > to.width || static_cast<std::uint64_t>(area.bottom) > to.height ||
      std::uint64_t{x} + static_cast<std::uint64_t>(area.right - area.left) > to.width ||
      std::uint64_t{y} + static_cast<std::uint64_t>(area.bottom - area.top) > to.height) {
    return DDERR_INVALIDPARAMS;
  }
  const std::size_t row = static_cast<std::size_t>(area.right - area.left) * bytes_per_pixel;
  for (LONG r = area.top; r < area.bottom; ++r) {
    std::memcpy(
        to.bytes + (y + static_cast<std::size_t>(r - area.top)) * to.pitch + x * bytes_per_pixel,
        from->bytes + static_cast<std::size_t>(r) * from->pitch + static_cast<std::size_t>(area.left) * bytes_per_pixel,
        row);
  }
  return DD_OK;
}

HRESULT fake_lock(bool& locked, const FakeSurfaceMemory& surface, LPDDSURFACEDESC desc) {
  if (locked) {
    return DDERR_SURFACEBUSY;
  }
  locked = true;
  desc->dwWidth = surface.width;
  desc->dwHeight = surface.height;
  desc->lPitch = static_cast<LONG>(surface.pitch);
  desc->lpSurface = surface.bytes;
  desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE;
  return DD_OK;
}

HRESULT fake_unlock(bool& locked) {
  if (!locked) {
    return DDERR_NOTLOCKED;
  }
  locked = false;
  return DD_OK;
}
