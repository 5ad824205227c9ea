// What the demo's page may ask the program while the show runs, for its
// own display and for the browser tests: the song's position.
#include <emscripten/emscripten.h>

#include "music/music.h"

// (order << 8) | row of the demo's song, as the scenes read it.
extern "C" EMSCRIPTEN_KEEPALIVE int web_song_position() { return song_position(); }
