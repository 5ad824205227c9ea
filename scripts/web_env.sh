# Sourced by the web scripts: what Debian's emscripten needs to run, and
# where its libraries are cached. The cache fills on the first build (which
# takes a while: the C and C++ libraries are compiled for threads) and is
# reused by later builds of any checkout; EM_CACHE chooses another place,
# and removing the folder makes the next build fill it again.
export NODE_PATH=/usr/share/nodejs
export EM_CACHE="${EM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vorna-emscripten}"
# Debian's configuration freezes the cache in place; ours fills its own.
export EM_FROZEN_CACHE=
