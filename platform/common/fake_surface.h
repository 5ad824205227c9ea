// What the backends' DirectDraw surfaces share: surfaces in plain memory,
// whole-surface locks, and BltFast's checks and copy. Each backend keeps its
// own Surface object (what a blit onto the primary surface does differs:
// a presented frame, a window's picture, a page's canvas) and calls these
// for the rest, so that every backend refuses the same calls the same way.
#pragma once

#include <ddraw.h>
#include <windows.h>

#include <cstdint>

// One surface's memory as BltFast and Lock see it: the surface's own
// fields, gathered for the call.
struct FakeSurfaceMemory {
  std::uint8_t* bytes;
  std::uint32_t width;   // pixels: the display mode's
  std::uint32_t height;  // rows
  std::uint32_t pitch;   // bytes per row
  bool locked;
};

// BltFast of source_rect of from (the whole surface when null) to (x, y) of
// to, both in the display mode of width x height pixels: DDERR_SURFACEBUSY
// when there is no source or either surface is locked, DDERR_INVALIDPARAMS
// when the rectangle is inverted or either side lies outside the mode (the
// copy then touches nothing), else the rows are copied and DD_OK returned.
HRESULT fake_blt_fast(const FakeSurfaceMemory& to, DWORD x, DWORD y, const FakeSurfaceMemory* from,
                      const RECT* source_rect, std::uint32_t bytes_per_pixel);

// Lock of the whole surface: DDERR_SURFACEBUSY when it is locked already;
// else sets locked and describes the memory in desc.
HRESULT fake_lock(bool& locked, const FakeSurfaceMemory& surface, LPDDSURFACEDESC desc);

// Unlock: DDERR_NOTLOCKED when the surface is not locked; else clears locked.
HRESULT fake_unlock(bool& locked);
