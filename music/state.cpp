// The player's process-wide state, in one place. Who may touch what is
// documented with each declaration in music/music.h.
#include "music/music.h"

Sample empty_sample = {};
Instrument empty_instrument = {};
Song* demo_song = nullptr;

LoadResult last_load_result = load_ok;

std::atomic<std::size_t> music_bytes_in_use{0};
std::atomic<std::int64_t> music_blocks_in_use{0};
bool (*music_allocation_hook)(std::size_t bytes) = nullptr;

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
bool mixer_vector_loops = __builtin_cpu_supports("avx2");
#else
bool mixer_vector_loops = false;
#endif

MusicFileCallbacks music_file_callbacks = {};
std::int32_t memfile_position = 0;
std::int32_t memfile_size = 0;

std::int32_t output_buffer_ms = 200;
std::int32_t output_rate = 0;
std::int32_t chunk_frames = 0;
std::int32_t ring_frames = 0;
std::int32_t fill_chunk = 0;
HWAVEOUT wave_device = nullptr;
std::int16_t* wave_ring = nullptr;
WAVEHDR wave_header = {};
float* mix_buffer = nullptr;
void* mix_buffer_block = nullptr;
std::int32_t ramp_length = 0;
float ramp_step = 0.0f;
Voice* voice_table = nullptr;
Voice voice_list = {};
Song playing_songs = {};
// Both list heads start empty: linked to themselves.
static const bool list_heads_linked = [] {
  voice_list.next = voice_list.prev = &voice_list;
  playing_songs.next = playing_songs.prev = &playing_songs;
  return true;
}();
HANDLE output_thread_handle = nullptr;

std::atomic<std::uint8_t> mixing_busy{0};
std::atomic<std::uint8_t> stop_request{0};
std::atomic<std::uint8_t> thread_finished{1};
std::mutex chunk_lock;
