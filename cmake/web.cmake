# Initial cache for the WebAssembly build, which scripts/web_build.sh passes
# with -C under emcmake at every configure (the values are forced, so that a
# change here reaches an existing build-web/): no SDL, no tests or
# benchmarks that need libraries the web does not have. Every object is
# built for threads (shared memory) and with WebAssembly SIMD, into which
# emscripten turns the SSE2 intrinsics of the vector paths: they give the
# same bits as the plain loops and make the heaviest scene about four times
# faster in Chromium.
set(VORNA_SDL OFF CACHE BOOL "" FORCE)
set(VORNA_TESTS OFF CACHE BOOL "" FORCE)
set(VORNA_BENCH OFF CACHE BOOL "" FORCE)
set(CMAKE_BUILD_TYPE Release CACHE STRING "" FORCE)
set(CMAKE_C_FLAGS "-pthread -msimd128 -msse2" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS "-pthread -msimd128 -msse2" CACHE STRING "" FORCE)
set(CMAKE_ASM_FLAGS "-pthread" CACHE STRING "" FORCE)
# Without assertions also for the configure checks, which would otherwise
# need debug builds of the system libraries.
set(CMAKE_EXE_LINKER_FLAGS "-pthread -sASSERTIONS=0" CACHE STRING "" FORCE)
