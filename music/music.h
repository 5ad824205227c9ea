// The music player's public interface: the file callbacks it reads
// through, the song records, loading, and the controls that play songs on
// an output. The player's own files share the rest (channels, voices, the
// mixer, the sequencer, the output record) in music/internal.h.
//
// Threads. The main thread makes every control call (load_song, free_song,
// play_song, stop_song, open_output, close_output, set_output_buffer_length)
// and reads the song position. The output thread renders chunks: it runs
// the sequencer (song_tick and everything below it) and the mixer. A chunk
// is rendered with its output's chunk_lock held, and every control call
// that changes or releases what the thread reads takes the same lock, so
// the two never overlap. The only state read across threads without the
// lock is marked std::atomic below.
//
// Outputs. What belongs to one rendering (ring, mix buffer, voices, playing
// songs, the mixer's and the sequencer's memories, the thread and its lock)
// lives in a SoundOutput. The demo and live play use default_output; any
// other thread can render songs of its own at the same time on an output
// of its own (select_output), for example a WAV file written while a song
// plays. Loading goes through the one set of file callbacks, so songs are
// loaded by one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>

struct Channel;
struct SoundOutput;

// ---------------------------------------------------------------------------
// File access. The player reads files only through five callbacks that the
// application registers; all five are set or none is.

using MusicOpenCallback = std::uint32_t (*)(const char* name);  // handle, 0 = failure
using MusicCloseCallback = void (*)(std::uint32_t handle);
// Copies up to count bytes to destination; returns the bytes copied.
using MusicReadCallback = std::int32_t (*)(void* destination, std::int32_t count, std::uint32_t handle);
// mode: 0 from the start, 1 from the current position, 2 back from the end.
using MusicSeekCallback = void (*)(std::uint32_t handle, std::int32_t offset, std::uint8_t mode);
using MusicTellCallback = std::int32_t (*)(std::uint32_t handle);

struct MusicFileCallbacks {
  MusicOpenCallback open;
  MusicCloseCallback close;
  MusicReadCallback read;
  MusicSeekCallback seek;
  MusicTellCallback tell;
};

void set_music_file_callbacks(MusicOpenCallback open, MusicCloseCallback close, MusicReadCallback read,
                              MusicSeekCallback seek, MusicTellCallback tell);

// ---------------------------------------------------------------------------
// The song records. Every record is allocated zero-filled.

inline constexpr std::uint8_t key_off_note = 0xFF;

struct Cell {                  // 5 bytes
  std::uint8_t note;           // 0 none, 1..96 a note, key_off_note
  std::uint8_t instrument;     // 0 none, 1..128, 1-based
  std::uint8_t volume_column;  // as stored
  std::uint8_t effect;
  std::uint8_t parameter;
};

struct Pattern {
  std::int32_t rows;
  // cell_rows x channel_count cells, row-major; owned. The rows from
  // cell_rows on have no cells and read as empty: all rows of a pattern
  // stored without data, and those its data does not reach in a file that
  // ends early. Null when cell_rows is 0.
  Cell* cells;
  std::int32_t cell_rows;
};

struct EnvelopePoint {
  std::uint16_t x;  // ticks
  std::uint16_t y;  // 0..64
};

inline constexpr int envelope_point_limit = 12;
inline constexpr int samples_per_instrument = 16;

// Sample loop_type values; the mixer tests the masks 2 and 4.
inline constexpr std::uint8_t loop_none = 1;
inline constexpr std::uint8_t loop_forward = 2;
inline constexpr std::uint8_t loop_ping_pong = 4;

struct Sample {
  // 16-bit mono frames, or null when length is 0; owned. Frames -1 and
  // length .. length + 7 exist too: frame -1 is 0, the frame that a
  // position a fraction of a frame before frame 0 interpolates from, and
  // frame loop_start + loop_length is the guard frame that follows the loop.
  std::int16_t* data;
  std::uint32_t length;       // frames
  std::uint32_t loop_start;   // frames; 0 without a loop
  std::uint32_t loop_length;  // frames; length without a loop
  std::uint8_t volume;        // 0..64
  std::int8_t finetune;       // -128..127
  std::int32_t panning;       // 0..255
  std::uint8_t bits;          // 16 once loaded
  std::uint8_t loop_type;     // loop_none, loop_forward or loop_ping_pong
  std::int8_t relative_note;  // semitones
};

struct Instrument {
  std::int32_t sample_count;                // own samples, 0..16
  Sample* samples[samples_per_instrument];  // own ones first, the rest empty_sample
  std::uint8_t keymap[96];                  // sample slot for each note 1..96
  EnvelopePoint volume_envelope[envelope_point_limit];
  EnvelopePoint panning_envelope[envelope_point_limit];
  std::uint8_t volume_points;   // 0..12
  std::uint8_t panning_points;  // 0..12
  std::uint8_t volume_sustain;
  std::uint8_t volume_loop_start;
  std::uint8_t volume_loop_end;
  std::uint8_t panning_sustain;
  std::uint8_t panning_loop_start;
  std::uint8_t panning_loop_end;
  std::uint8_t volume_type;   // bit 0 on, bit 1 sustain, bit 2 loop
  std::uint8_t panning_type;  // same bits
  std::uint8_t vibrato_type;
  std::uint8_t vibrato_sweep;
  std::uint8_t vibrato_depth;
  std::uint8_t vibrato_rate;
  std::uint16_t fadeout;  // twice the stored value, kept to 16 bits
};

struct Song;
using TickHandler = void (*)(Song* song);

struct Song {
  Song* next;  // playing_songs links; self when not linked
  Song* prev;
  Pattern* patterns;              // pattern_count records; owned
  Instrument* instruments;        // instrument_count records; owned
  Channel* channels;              // channel_count records while playing, else null; owned
  std::int32_t tick_countdown;    // output frames before the next tick; 0 = now
  std::int32_t samples_per_tick;  // output frames per tick
  std::int16_t song_length;       // orders played, 1..256 once loaded
  std::int16_t restart_position;
  std::int16_t channel_count;  // 0..256
  std::int32_t used_pattern_count;
  std::int32_t pattern_count;
  std::int16_t instrument_count;
  std::uint16_t flags;  // linear_frequency_table; other bits ignored
  std::int16_t default_tempo;
  std::int16_t default_bpm;
  std::uint8_t order_table[256];
  std::uint8_t initial_global_volume;
  std::int32_t global_volume;  // 0..64
  std::uint8_t global_volume_slide;
  std::uint8_t playing;  // changed and read only with chunk_lock held
  // Set when play runs past the last order; written by the output thread,
  // read by the main thread (a player that stops after one pass).
  std::atomic<std::uint8_t> wrapped;
  std::int32_t tick;
  std::int32_t tempo;
  std::int32_t bpm;
  // The position: written by the output thread, read by the main thread
  // without a lock (relaxed order; a reader may pair a row with the order
  // before or after it).
  std::atomic<std::int32_t> row;
  std::atomic<std::int32_t> order;
  std::int32_t pattern_delay_ticks;
  std::int32_t next_row;    // -1 = none pending
  std::int32_t next_order;  // -1 = none pending
  TickHandler tick_handler;
  // The output whose playing_songs hold the song; null while it does not
  // play. Written by play_song and stop_song with that output's chunk_lock.
  SoundOutput* output;
};

// Song flags: periods and frequencies follow the linear table (else the
// Amiga table).
inline constexpr std::uint16_t linear_frequency_table = 0x0001;
inline bool linear_frequencies(const Song* song) { return (song->flags & linear_frequency_table) != 0; }

// Placeholders for what a note may name but the song lacks; never released.
extern Sample empty_sample;
extern Instrument empty_instrument;

// The song that the demo's start-up loaded, or null; song_position reads it.
extern Song* demo_song;

// ---------------------------------------------------------------------------
// Loading.

// Why the last load_song failed (or load_ok).
enum LoadResult : std::uint8_t {
  load_ok,
  load_cannot_open,       // the open callback refused the name
  load_not_module,        // the identification text is wrong
  load_truncated,         // the file ends inside the module header
  load_bad_header,        // a count or size no player can use
  load_too_many_samples,  // an instrument with more than 16 samples
  load_out_of_memory,     // an allocation failed
};
extern LoadResult last_load_result;
const char* load_result_text(LoadResult result);

// What the file of the last load_song lacked because it ends early; all
// counts 0 after a complete file. What is missing plays as silence.
struct MissingParts {
  std::int32_t patterns;           // stored patterns with rows (or the header) missing
  std::int32_t first_pattern;      // the first of them, or -1
  std::int32_t first_pattern_row;  // its first row without data (0: all of it)
  std::int32_t instruments;        // instruments whose header the file ends in or before
  std::int32_t samples;            // samples with frames (or the header) missing
  std::int64_t sample_frames;      // frames missing from samples whose header is there
};
extern MissingParts last_load_missing;

Song* load_song(const char* name);
bool free_song(Song* song);

// ---------------------------------------------------------------------------
// Playing.

bool set_output_buffer_length(std::int32_t ms);
bool open_output(std::int32_t rate);
void close_output();
bool play_song(Song* song);
bool stop_song(Song* song);
// Holds a playing song where it is (paused) or lets it go on: while held
// its ticks do not run and its voices are not mixed, so its position and
// sound continue from the same frame. False when the song does not play.
bool pause_song(Song* song, bool paused);
std::int32_t song_order(const Song* song);
std::int32_t song_row(const Song* song);
std::uint16_t song_position();

// Offline rendering: the same output state as open_output (ring, mix
// buffer, voices) without a device or a thread. close_output tears it down.
bool open_offline_output(std::int32_t rate);
// Renders the chunk at fill_chunk, advances fill_chunk and returns the
// chunk's chunk_frames stereo frames in wave_ring.
const std::int16_t* render_next_chunk();
// The same chunk, converted into destination (chunk_frames stereo frames)
// instead of the ring; false when no output is open.
bool render_next_chunk_into(std::int16_t* destination);

// Makes output the calling thread's output (null: default_output).
void select_output(SoundOutput* output);

// The song's tick handler: tick 0 of a row reads the row's Cells, later
// ticks run the effects; then the row and order position moves.
void song_tick(Song* song);
