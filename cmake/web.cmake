# Initial cache for the WebAssembly build (scripts/web_build.sh passes it
# with -C, under emcmake): no SDL, no tests or benchmarks that need
# libraries the web does not have. Every object is built for threads
# (shared memory) and with WebAssembly SIMD for the compiler's own
# vectorising; the x86 vector paths are left out (no __SSE2__).
set(VORNA_SDL OFF CACHE BOOL "")
set(VORNA_TESTS OFF CACHE BOOL "")
set(VORNA_BENCH OFF CACHE BOOL "")
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(CMAKE_C_FLAGS "-pthread -msimd128" CACHE STRING "")
set(CMAKE_CXX_FLAGS "-pthread -msimd128" CACHE STRING "")
set(CMAKE_ASM_FLAGS "-pthread" CACHE STRING "")
# Without assertions also for the configure checks, which would otherwise
# need debug builds of the system libraries.
set(CMAKE_EXE_LINKER_FLAGS "-pthread -sASSERTIONS=0" CACHE STRING "")
