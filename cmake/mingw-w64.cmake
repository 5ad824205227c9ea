# Shared part of the two Windows cross toolchains. The including file sets
# VORNA_MINGW_TRIPLE (i686-w64-mingw32 or x86_64-w64-mingw32) and
# CMAKE_SYSTEM_PROCESSOR.
#
# The compilers are the "posix" thread variant of mingw-w64's gcc: the
# "win32" variant of gcc 12 has no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VORNA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORNA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_ASM_COMPILER ${VORNA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_RC_COMPILER ${VORNA_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VORNA_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VORNA_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# Headers and libraries come from the mingw-w64 tree only; programs that the
# build runs (none today) would come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VORNA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program links the C and C++ runtimes and the threads library in, so
# that it needs no DLL beyond those that Windows itself ships.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
