// The music player's internals, shared by its own files (and by the
// tools and tests that look inside it): file access through the handle
// record, the heap, the channels, the voices and the mixer, the output
// record, and the sequencer with its effects and envelopes. Who may touch
// what is written with each declaration; the threads are described in
// music/music.h.
#pragma once

#include <windows.h>
// (after windows.h, which it builds on)
#include <mmsystem.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "music/music.h"

struct Voice;

// ---------------------------------------------------------------------------
// File access through the callbacks of music.h.

extern MusicFileCallbacks music_file_callbacks;

// The player's handle record for one open file.
struct MusicFile {
  std::uint32_t handle;
};

MusicFile* music_file_open(const char* name);
void music_file_close(MusicFile* file);
std::int32_t music_file_read(void* destination, std::int32_t count, MusicFile* file);
void music_file_seek(MusicFile* file, std::int32_t offset, std::uint8_t mode);
std::int32_t music_file_tell(MusicFile* file);

// ---------------------------------------------------------------------------
// Loading, below load_song.

bool read_module(Song* song, MusicFile* file);
void free_sample(Sample* sample);

// ---------------------------------------------------------------------------
// The player's own heap. Every record and buffer comes zero-filled from here.
// Requests beyond music_memory_budget bytes in all (live) fail like a full
// heap, so no file can make the player take all of the machine's memory.

void* music_allocate(std::size_t count, std::size_t size);  // null on failure or overflow
void music_release(void* block);                            // null does nothing
inline constexpr std::size_t music_memory_budget = std::size_t{1} << 30;
extern std::atomic<std::size_t> music_bytes_in_use;
extern std::atomic<std::int64_t> music_blocks_in_use;
// For tests: when set, asked before every allocation; false makes it fail.
extern bool (*music_allocation_hook)(std::size_t bytes);

// ---------------------------------------------------------------------------
// Sequencer state per pattern channel; one record per channel while playing.

// update_flags bits: what update_voice sends at the end of a tick.
inline constexpr std::uint8_t UPDATE_FREQUENCY = 0x01;
inline constexpr std::uint8_t UPDATE_VOLUME = 0x02;
inline constexpr std::uint8_t UPDATE_PANNING = 0x04;
inline constexpr std::uint8_t START_SAMPLE = 0x08;
inline constexpr std::uint8_t STOP_VOICE = 0x20;

struct Channel {
  std::uint8_t note_index;    // last note, 0-based; keymap index
  std::uint8_t update_flags;  // UPDATE_* and the two voice commands
  Voice* voice;               // voice_table entry of this channel
  std::int32_t voice_index;
  std::int32_t period;        // linear: 64 units per semitone; or an Amiga period
  std::int32_t volume;        // 0..64
  std::int32_t panning;       // 0..255
  std::int32_t volume_delta;  // this tick only
  std::int32_t period_delta;  // this tick only
  std::int32_t volume_envelope_tick;
  std::int32_t volume_envelope_point;
  std::int32_t volume_envelope_value;  // 16.16 fixed point
  std::int32_t envelope_volume;        // 0..64
  std::int32_t volume_envelope_step;   // 16.16 fixed point per tick
  std::uint8_t volume_envelope_done;
  std::int32_t panning_envelope_tick;
  std::int32_t panning_envelope_point;
  std::int32_t panning_envelope_value;  // 16.16 fixed point
  std::int32_t envelope_panning;        // 0..64, 32 = centre
  std::int32_t panning_envelope_step;   // 16.16 fixed point per tick
  std::uint8_t panning_envelope_done;
  std::int32_t fadeout_volume;         // 0..65536
  std::int32_t auto_vibrato_position;  // 0..255
  std::int32_t auto_vibrato_ticks;
  std::uint8_t key_released;
  std::uint8_t instrument_index;  // 0-based
  std::uint8_t real_note;         // note - 1 + relative note, modulo 256
  std::int32_t note_period;       // period of the last note; tone portamento target
  std::int32_t sample_offset;     // last non-zero 9xx parameter
  std::uint8_t portamento_down_speed;
  std::uint8_t portamento_up_speed;
  std::uint8_t extra_fine_down_speed;
  std::uint8_t extra_fine_up_speed;
  std::uint8_t volume_slide;
  std::uint8_t panning_slide;
  std::uint8_t retrigger_action;    // 0..15
  std::uint8_t retrigger_interval;  // ticks
  std::int32_t portamento_target;
  std::uint8_t portamento_speed;
  std::int8_t vib_position;  // -32..31
  std::uint8_t vib_speed;
  std::uint8_t vib_depth;
  std::uint8_t tremor_counter;
  std::uint8_t tremor_on_ticks;
  std::uint8_t tremor_off_ticks;
  std::int32_t loop_row;
  std::int32_t loop_counter;
  std::uint8_t waveform_control;  // bits 0..1 waveform, bit 2 keep phase at trigger
  std::uint8_t fine_volume_slide;
};

// ---------------------------------------------------------------------------
// Mixer voices. All of this runs on the output thread.

// Which way a voice moves through its sample: backward only in the second
// half of a ping-pong loop. Stored as a signed 32-bit value, 1 or 2.
enum VoiceDirection : std::int32_t {
  direction_forward = 1,
  direction_backward = 2,
};

struct Voice {
  Voice* next;  // voice_list links
  Voice* prev;
  std::int32_t index;          // place in voice_table
  std::int32_t volume;         // 0..255 (the sequencer sends 0..127)
  std::int32_t frequency;      // Hz, as given
  std::int32_t panning;        // 0..256
  std::uint32_t start_offset;  // frame where the next start begins
  Sample* sample;              // null = silent; set only by voice_start_sample
  std::uint8_t gain_left;      // targets, 0..255
  std::uint8_t gain_right;
  std::uint32_t position;           // 32.32 fixed point: whole frames
  std::uint32_t position_fraction;  // and 1/2^32 frames
  std::uint32_t step_fraction;      // 32.32 fixed point step: fraction
  std::uint32_t step;               // and whole frames, 0..16
  VoiceDirection direction;
  std::uint8_t seen_gain_left;  // targets at the last ramp set-up
  std::uint8_t seen_gain_right;
  std::uint8_t current_gain_left;  // gains reached, 0..255
  std::uint8_t current_gain_right;
  float gain_step_left;  // per output frame during a ramp; 1.0 = gain 255
  float gain_step_right;
  std::int32_t ramp_frames_left;  // 0 = no ramp
};

inline constexpr int voice_count = 256;

std::int32_t voice_start_sample(std::int32_t voice_index, Sample* sample);  // voice index or -1
void voice_reset(std::int32_t voice_index);
void voice_set_frequency(Voice* voice, std::int32_t hertz);
void voice_set_volume(Voice* voice, std::int32_t volume);
void voice_set_panning(Voice* voice, std::int32_t panning);

// Adds frames output frames of every voice in the list to out (interleaved
// left/right floats in 16-bit sample units).
void mix_voices(float* out, Voice* list_head, std::int32_t frames);
// Nearest integer, halves to even, limited to -32768..32767.
void convert_mix_to_pcm16(std::int16_t* destination, const float* source, std::int32_t frames);

// ---------------------------------------------------------------------------
// The output.

// Recent results of one of the frequency tables' powers of two, by the
// integer they depend on: a direct-mapped memory, so that the same pitch on
// the next tick costs no power. A slot counts only once it is filled.
template <typename Value>
struct PowerMemory {
  static constexpr std::size_t size = 1024;
  std::int64_t keys[size];
  Value values[size];
  bool filled[size];
};

// The vector mixer's gains for the first ramp pass of up to
// max_ramp_voices voices at once, ramps of up to max_table_ramp frames.
inline constexpr int max_ramp_voices = 32;
inline constexpr std::int32_t max_table_ramp = 256;
using RampTable = float[max_ramp_voices + 1][2 * (max_table_ramp + 8)];

// One output: everything that belongs to a rendering of sound. The process
// has default_output, which the demo and xmplay's live play use; a thread
// that renders on its own (an offline render beside live play, a measuring
// pass) makes another and selects it with select_output. Every operation of
// the output, the songs' controls, the sequencer and the mixer works on the
// calling thread's current_output; an output's thread selects its output.
//
// Who touches what: the fields up to voice_list are set by open_output or
// open_offline_output and close_output, on the thread that owns the output
// (the main thread for default_output), while no chunk renders; the output
// thread reads them. playing_songs and the Songs in it, the voices and the
// mixer's and sequencer's memories are changed by the thread rendering a
// chunk, and by the controls only with chunk_lock held. The three flags are
// read across threads.
struct SoundOutput {
  SoundOutput();  // closed, with both list heads empty
  SoundOutput(const SoundOutput&) = delete;
  SoundOutput& operator=(const SoundOutput&) = delete;

  std::int32_t output_buffer_ms = 200;  // multiple of 20, at least 20
  std::int32_t output_rate = 0;         // Hz
  std::int32_t chunk_frames = 0;        // 20 ms rounded up to a multiple of 4
  std::int32_t ring_frames = 0;         // twice the buffer length
  std::int32_t fill_chunk = 0;          // next chunk to render
  HWAVEOUT wave_device = nullptr;       // null while no device is open
  std::int16_t* wave_ring = nullptr;    // ring_frames interleaved stereo frames
  WAVEHDR wave_header = {};
  float* mix_buffer = nullptr;       // ring_frames x 2 floats, 16-byte aligned
  void* mix_buffer_block = nullptr;  // the allocation mix_buffer lies in
  std::int32_t ramp_length = 0;      // frames; 128 at 44100 Hz
  float ramp_step = 0.0f;            // 1 / ramp_length
  Voice* voice_table = nullptr;      // voice_count records while the output is open
  Voice voice_list = {};             // list head; only next and prev are used
  Song playing_songs = {};           // list head; only next and prev are used
  HANDLE output_thread_handle = nullptr;

  // The thread's flags: written on one thread and polled on the other.
  std::atomic<std::uint8_t> mixing_busy{0};      // 1 while a chunk renders
  std::atomic<std::uint8_t> stop_request{0};     // set by close_output
  std::atomic<std::uint8_t> thread_finished{1};  // 1 while no output thread runs
  // Called by the rendering thread, with chunk_lock held, on each chunk's
  // mix (chunk_frames interleaved left/right floats in 16-bit sample units)
  // just before it becomes PCM: a player's volume, stereo width or meters.
  // Null: the mix is converted as it is. Set while no chunk renders (before
  // open_output, or with chunk_lock held).
  void (*finish_mix)(float* mix, std::int32_t frames, void* context) = nullptr;
  void* finish_mix_context = nullptr;
  // Held by the output thread for each chunk and by the control calls that
  // change or release what it reads.
  std::mutex chunk_lock;

  // The mixer's: one more than the highest voice_table entry that
  // voice_start_sample has started since the table was made (the entries
  // above it have no sample), and the vector loops' ramp gains: per voice,
  // left and right of frames 0..max_table_ramp, and a spare row.
  std::int32_t started_voices_end = 0;
  alignas(32) RampTable ramp_table = {};
  // The sequencer's memories of the two tables' powers of two.
  PowerMemory<std::int32_t> linear_powers = {};
  PowerMemory<std::int64_t> amiga_powers = {};
};

extern SoundOutput default_output;
// The calling thread's output; &default_output until select_output.
// constinit: it needs no dynamic initialisation, so other files read it
// directly rather than through the compiler's thread-local init wrapper
// (GCC 12's null check after that wrapper misfires under -fsanitize=null).
extern thread_local constinit SoundOutput* current_output;
template <typename Node>
void list_append(Node* node, Node* head) {
  node->prev = head->prev;
  node->next = head;
  head->prev->next = node;
  head->prev = node;
}

template <typename Node>
void list_remove(Node* node) {
  node->prev->next = node->next;
  node->next->prev = node->prev;
  node->next = node;
  node->prev = node;
}

// The output thread's rule: with the device playing chunk playing, chunk
// fill may be rendered.
bool chunk_is_due(std::int32_t fill, std::int32_t playing);
// Renders chunk k of the ring exactly as the output thread does.
void render_chunk(std::int32_t k);

// ---------------------------------------------------------------------------
// Sequencer, effects and envelopes. Output thread only (and set_song_bpm
// from the control calls while the thread is kept out).

void set_song_bpm(Song* song, std::int32_t bpm);

// What one row's Cells share on its first tick.
struct RowState {
  bool jumped;               // an effect B was read in this row
  std::int32_t loop_target;  // the row a pattern loop (E6) goes back to, or -1
};

// A channel's values from before its Cell was read, for the note delay.
struct ChannelCopies {
  std::int32_t volume;
  std::int32_t period;
  std::int32_t panning;
};

// The Cells of the current row, or null when the row lies outside its
// pattern or has no cells (then every Cell reads as empty).
const Cell* row_cells(const Song* song);
// The channel's instrument and sample, or empty_instrument and empty_sample
// where the song has none.
void find_instrument_and_sample(const Song* song, const Channel& channel, const Instrument*& instrument,
                                Sample*& sample);

void process_row(Song* song);
void process_tick(Song* song);
void trigger_instrument(Channel& channel, const Sample& sample);
void update_voice(Channel& channel, Sample* sample, const Song* song);
std::int32_t amiga_period(std::int32_t note, std::int32_t finetune);
std::int32_t note_frequency(const Channel& channel, const Song* song);

// The powers of two behind both frequency tables, computed by the player
// itself so that every platform gets the same results (music/powers.cpp).
// trunc(scale x 2^exponent), limited to 0..limit, for 1 <= scale < 2^32.
std::int64_t truncated_power(double scale, double exponent, std::int64_t limit);
// The linear table's frequency in Hz for 4608 - period + period_delta steps:
// trunc(8363 x 2^(steps x k)) with k = 1/768 as a single-precision constant
// and the product rounded to double, limited to 0..INT32_MAX.
std::int32_t linear_frequency(std::int64_t steps);
// The Amiga table's trunc(13.375 x 2^(steps x t)) with t = 1/12 as a
// single-precision constant, limited to amiga_power_limit.
inline constexpr std::int64_t amiga_power_limit = 1'000'000'000'000'000;
std::int64_t amiga_power(std::int64_t steps);

// The effects and the volume column.
void apply_tick_zero_effect(Song* song, Channel& channel, const Cell& cell, const Instrument& instrument,
                            Sample* sample, RowState& row, const ChannelCopies& copies);
void apply_volume_column(Channel& channel, std::uint8_t column);
// The later-tick halves of the effect and of the volume column.
void apply_later_tick_effect(Song* song, Channel& channel, const Cell& cell, const Instrument& instrument,
                             Sample* sample);
void apply_later_volume_column(Channel& channel, std::uint8_t column);
void tone_portamento_step(Channel& channel);
void apply_vibrato(Channel& channel);
void tremor_step(Channel& channel);

// One envelope of an instrument as a channel runs it.
struct EnvelopeSide {
  const EnvelopePoint* points;
  std::uint8_t point_count;
  std::uint8_t type;  // bit 0 on, bit 1 sustain, bit 2 loop
  std::uint8_t sustain;
  std::uint8_t loop_start;
  std::uint8_t loop_end;
  std::int32_t* tick;
  std::int32_t* point;
  std::int32_t* value;  // 16.16 fixed point
  std::int32_t* output;
  std::int32_t* step;  // 16.16 fixed point per tick
  std::uint8_t* done;
  std::uint8_t update_bit;
};
EnvelopeSide volume_envelope_side(Channel& channel, const Instrument& instrument);
EnvelopeSide panning_envelope_side(Channel& channel, const Instrument& instrument);
void envelope_step(Channel& channel, const EnvelopeSide& envelope);
// Both envelopes and the fadeout for one tick; on tick 0 a released
// channel without a volume envelope is also cut.
void run_envelopes(Channel& channel, const Instrument& instrument, bool tick_zero);
void apply_auto_vibrato(Channel& channel, const Instrument& instrument);
