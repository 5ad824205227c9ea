// The player's process-wide state, in one place. Who may touch what is
// documented with each declaration in music/music.h.
#include "music/internal.h"

Sample empty_sample = {};
Instrument empty_instrument = {};
Song* demo_song = nullptr;

LoadResult last_load_result = load_ok;
MissingParts last_load_missing = {0, -1, 0, 0, 0, 0};

std::atomic<std::size_t> music_bytes_in_use{0};
std::atomic<std::int64_t> music_blocks_in_use{0};
bool (*music_allocation_hook)(std::size_t bytes) = nullptr;

MusicFileCallbacks music_file_callbacks = {};

// Both list heads start empty: linked to themselves.
SoundOutput::SoundOutput() {
  voice_list.next = voice_list.prev = &voice_list;
  playing_songs.next = playing_songs.prev = &playing_songs;
}

SoundOutput default_output;
constinit thread_local SoundOutput* current_output = &default_output;
