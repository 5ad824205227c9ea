# Sourced by the web scripts: what Debian's emscripten needs to run, and
# where its libraries are cached. The cache fills on the first build (which
# takes a while) and is reused after; EM_CACHE chooses another place.
export NODE_PATH=/usr/share/nodejs
export EM_CACHE="${EM_CACHE:-$(pwd)/.cache/emscripten}"
# Debian's configuration freezes the cache in place; ours fills its own.
export EM_FROZEN_CACHE=
