# Cross build for 32-bit Windows (x86), the demo's designed target:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
# `make windows` does this and packages the result.
set(VORNA_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Floating point in SSE2 registers, as on x64, instead of the x87 stack:
# x87 keeps intermediate results in 80 bits and rounds them wherever the
# compiler spills, so the same source would mix (and draw) different low
# bits than every other build. Every PC that runs a current 32-bit Windows
# has SSE2 (Pentium 4, Athlon 64 and later).
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
