// The wave output, the ring of chunks, the output thread and the player
// controls, on the headless backend's virtual wave device.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "headless/headless.h"
#include "music/module_writer.h"
#include "support/child_run.h"

namespace {

// A song with no patterns whose tick handler counts its ticks and can
// change the BPM on a chosen tick.
std::int32_t ticks_seen = 0;
std::int32_t bpm_change_tick = -1;
std::int32_t bpm_change_to = 0;

void counting_tick(Song* song) {
  if (ticks_seen == bpm_change_tick) {
    set_song_bpm(song, bpm_change_to);
  }
  ++ticks_seen;
}

Song* counting_song(std::int16_t bpm, std::int16_t channels = 0) {
  Song* song = new (music_allocate(1, sizeof(Song))) Song{};
  song->next = song->prev = song;
  song->default_bpm = bpm;
  song->default_tempo = 6;
  song->channel_count = channels;
  song->tick_handler = counting_tick;
  return song;
}

TestModule small_song() {
  TestModule module = one_pattern_module(4, 16, {});
  TestPattern& pattern = module.patterns[0];
  pattern.cells[0] = {49, 1, 0, 0, 0};
  pattern.cells[4 * 4 + 1] = {61, 1, 0x30, 0, 0};
  pattern.cells[8 * 4 + 2] = {37, 1, 0, 0, 0};
  return module;
}

// A tone on voice 5, which the song's four channels leave alone.
void start_tone(Song* song) {
  voice_start_sample(5, song->instruments[0].samples[0]);
  voice_set_frequency(&current_output->voice_table[5], 7000);
  voice_set_panning(&current_output->voice_table[5], 100);
  voice_set_volume(&current_output->voice_table[5], 90);
}

struct OutputTest : ::testing::Test {
  std::int64_t blocks_before = 0;
  void SetUp() override {
    blocks_before = music_blocks_in_use.load();
    HeadlessScript script;
    script.log_calls = true;
    headless_configure(script);
    use_buffer_file({});
    set_output_buffer_length(100);
    ticks_seen = 0;
    bpm_change_tick = -1;
  }
  void TearDown() override {
    close_output();
    music_allocation_hook = nullptr;
    set_output_buffer_length(200);
    EXPECT_EQ(music_blocks_in_use.load(), blocks_before);
  }
};

TEST_F(OutputTest, BufferLengthsAreWholeChunksOfAtLeast20Ms) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {{100, 100}, {19, 20},  {0, 20}, {59, 40},
                                                         {200, 200}, {-40, 20}, {61, 60}};
  for (const auto& [asked, stored] : cases) {
    EXPECT_TRUE(set_output_buffer_length(asked));
    EXPECT_EQ(current_output->output_buffer_ms, stored) << asked;
  }
}

TEST_F(OutputTest, OpenSizesTheChunksTheRingAndTheRamp) {
  ASSERT_TRUE(open_output(44100));
  EXPECT_EQ(current_output->output_rate, 44100);
  EXPECT_EQ(current_output->chunk_frames, 884);
  EXPECT_EQ(current_output->ring_frames, 8840);
  EXPECT_EQ(current_output->wave_header.dwBufferLength, 35360u);
  EXPECT_EQ(current_output->wave_header.lpData, reinterpret_cast<LPSTR>(current_output->wave_ring));
  EXPECT_EQ(current_output->wave_header.dwFlags & (WHDR_BEGINLOOP | WHDR_ENDLOOP),
            static_cast<DWORD>(WHDR_BEGINLOOP | WHDR_ENDLOOP));
  EXPECT_EQ(current_output->wave_header.dwLoops, 0xFFFFFFFFu);
  EXPECT_EQ(current_output->ramp_length, 128);
  EXPECT_EQ(current_output->ramp_step, 1.0f / 128);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(current_output->mix_buffer) % 16, 0u);
  ASSERT_NE(current_output->voice_table, nullptr);
  int linked = 0;
  for (Voice* v = current_output->voice_list.next; v != &current_output->voice_list; v = v->next, ++linked) {
    ASSERT_EQ(v, &current_output->voice_table[linked]);
    ASSERT_EQ(v->index, linked);
  }
  EXPECT_EQ(linked, 256);
  for (std::int32_t k = 0; k < current_output->ring_frames * 2; ++k) {
    ASSERT_EQ(current_output->wave_ring[k], 0);
  }
  EXPECT_NE(current_output->output_thread_handle, nullptr);
  const auto calls = calls_named(headless_call_log(), {"waveOutOpen", "waveOutPrepareHeader", "waveOutWrite"});
  const std::string header_size = std::to_string(sizeof(WAVEHDR));
  EXPECT_EQ(calls, (std::vector<std::string>{"waveOutOpen(-1, 1, 2, 44100, 176400, 4, 16, 0)",
                                             "waveOutPrepareHeader(" + header_size + ")",
                                             "waveOutWrite(" + header_size + ", 35360, 12, 4294967295)"}));

  set_output_buffer_length(200);
  ASSERT_TRUE(open_output(44100));
  EXPECT_EQ(current_output->ring_frames, 17680);
  EXPECT_EQ(current_output->ring_frames / current_output->chunk_frames, 20);
  ASSERT_TRUE(open_output(22050));
  EXPECT_EQ(current_output->chunk_frames, 444);
  EXPECT_EQ(current_output->ramp_length, 64);
}

TEST_F(OutputTest, OpeningWithoutFileCallbacksTouchesNoDevice) {
  set_music_file_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_FALSE(open_output(44100));
  EXPECT_TRUE(calls_named(headless_call_log(), {"waveOutOpen"}).empty());
  EXPECT_EQ(current_output->voice_table, nullptr);
}

TEST_F(OutputTest, AFailedDeviceOrAllocationLeavesTheOutputClosed) {
  HeadlessScript script;
  script.wave_open_result = MMSYSERR_ALLOCATED;
  headless_configure(script);
  EXPECT_FALSE(open_output(44100));
  EXPECT_EQ(current_output->wave_device, nullptr);
  EXPECT_EQ(current_output->voice_table, nullptr);
  headless_configure(HeadlessScript{});

  // The three buffers in turn: mix buffer, voices, ring.
  for (int failing = 1; failing <= 3; ++failing) {
    static int allocation;
    static int fail_at;
    allocation = 0;
    fail_at = failing;
    music_allocation_hook = [](std::size_t) { return ++allocation != fail_at; };
    EXPECT_FALSE(open_output(44100)) << failing;
    music_allocation_hook = nullptr;
    EXPECT_EQ(current_output->wave_device, nullptr);
    EXPECT_EQ(current_output->wave_ring, nullptr);
    EXPECT_EQ(current_output->mix_buffer, nullptr);
    EXPECT_EQ(current_output->voice_table, nullptr);
    EXPECT_EQ(current_output->output_thread_handle, nullptr);
    EXPECT_EQ(music_blocks_in_use.load(), blocks_before);
    // The device was given back: it opens again.
    ASSERT_TRUE(open_output(44100));
    close_output();
  }
  EXPECT_FALSE(open_output(0));
  EXPECT_FALSE(open_output(-44100));
}

TEST_F(OutputTest, CloseEndsTheThreadAndReleasesEverythingOnce) {
  ASSERT_TRUE(open_output(44100));
  headless_run_for(30);
  close_output();
  EXPECT_EQ(current_output->output_thread_handle, nullptr);
  EXPECT_EQ(current_output->thread_finished.load(), 1);
  EXPECT_EQ(current_output->wave_device, nullptr);
  EXPECT_EQ(current_output->wave_ring, nullptr);
  EXPECT_EQ(current_output->voice_list.next, &current_output->voice_list);
  EXPECT_EQ(current_output->wave_header.dwFlags & WHDR_PREPARED, 0u);
  close_output();
  const auto calls = calls_named(headless_call_log(), {"waveOutUnprepareHeader", "waveOutReset", "waveOutClose"});
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1], "waveOutReset");
  EXPECT_EQ(calls[2], "waveOutClose");
}

TEST_F(OutputTest, TheChunkRuleRendersTheChunksTheDeviceHasPlayed) {
  // With ten chunks: playing chunk 0 or 1, every other chunk may be
  // rendered; playing a later one, only the chunks before it.
  for (std::int32_t playing = 0; playing < 10; ++playing) {
    for (std::int32_t fill = 0; fill < 10; ++fill) {
      const bool expected = fill != playing && (playing <= 1 || fill < playing);
      EXPECT_EQ(chunk_is_due(fill, playing), expected) << fill << " while " << playing;
    }
  }
  EXPECT_TRUE(chunk_is_due(9, 0));
  EXPECT_TRUE(chunk_is_due(0, 1));
  EXPECT_TRUE(chunk_is_due(4, 5));
  EXPECT_FALSE(chunk_is_due(6, 5));
  EXPECT_FALSE(chunk_is_due(5, 5));
}

TEST_F(OutputTest, NullSongsAreAcceptedByEveryControl) {
  EXPECT_FALSE(play_song(nullptr));
  EXPECT_FALSE(stop_song(nullptr));
  EXPECT_FALSE(free_song(nullptr));
  free_sample(nullptr);
  EXPECT_EQ(song_order(nullptr), 0);
}

TEST_F(OutputTest, PlayResetsThePlayingStateAndBindsChannelsToVoices) {
  ASSERT_TRUE(open_offline_output(44100));
  Song* song = counting_song(118, 5);
  song->global_volume_slide = 7;
  song->row = 9;
  song->order = 3;
  song->tick = 2;
  song->wrapped = 1;
  song->initial_global_volume = 64;
  ASSERT_TRUE(play_song(song));
  EXPECT_EQ(song->playing, 1);
  EXPECT_EQ(current_output->playing_songs.next, song);
  EXPECT_EQ(song->row.load(), 0);
  EXPECT_EQ(song->order.load(), 0);
  EXPECT_EQ(song->tick, 0);
  EXPECT_EQ(song->wrapped.load(), 0);
  EXPECT_EQ(song->next_row, -1);
  EXPECT_EQ(song->next_order, -1);
  EXPECT_EQ(song->tempo, 6);
  EXPECT_EQ(song->global_volume, 64);
  EXPECT_EQ(song->global_volume_slide, 7);
  EXPECT_EQ(song->samples_per_tick, 934);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(song->channels[i].voice, &current_output->voice_table[i]);
    EXPECT_EQ(song->channels[i].voice_index, i);
  }
  // Playing again restarts; stopping releases the channels and the voices.
  current_output->voice_table[2].sample = &empty_sample;
  ASSERT_TRUE(play_song(song));
  EXPECT_EQ(current_output->playing_songs.next, song);
  EXPECT_EQ(current_output->playing_songs.prev, song);
  EXPECT_EQ(current_output->voice_table[2].sample, nullptr);
  EXPECT_TRUE(stop_song(song));
  EXPECT_EQ(song->playing, 0);
  EXPECT_EQ(song->channels, nullptr);
  EXPECT_EQ(current_output->playing_songs.next, &current_output->playing_songs);
  EXPECT_EQ(song->next, song);
  free_song(song);
}

TEST_F(OutputTest, PlayingWithoutAnOutputWaitsForTheNextOpen) {
  Song* song = counting_song(125, 3);
  EXPECT_TRUE(play_song(song));
  EXPECT_EQ(song->channels[0].voice, nullptr);
  ASSERT_TRUE(open_output(44100));
  EXPECT_EQ(song->samples_per_tick, 882);
  EXPECT_EQ(song->channels[2].voice, &current_output->voice_table[2]);
  close_output();
  EXPECT_EQ(song->channels[2].voice, nullptr) << "no channel keeps a released voice";
  EXPECT_EQ(ticks_seen, 0);
  free_song(song);
}

// Ticks fall on exact frames of the output stream, chunk after chunk, and
// a BPM change made by a tick applies to the very next one.
TEST_F(OutputTest, TicksFollowTheTickLengthAcrossChunks) {
  ASSERT_TRUE(open_offline_output(44100));
  Song* song = counting_song(118);
  bpm_change_tick = 5;
  bpm_change_to = 125;
  ASSERT_TRUE(play_song(song));
  std::int64_t next_tick = 0;
  std::int32_t expected_ticks = 0;
  std::int32_t length = 934;
  for (int chunk = 0; chunk < 40; ++chunk) {
    ASSERT_NE(render_next_chunk(), nullptr);
    const std::int64_t chunk_end = static_cast<std::int64_t>(chunk + 1) * 884;
    while (next_tick < chunk_end) {
      if (expected_ticks == 5) {
        length = 882;
      }
      next_tick += length;
      ++expected_ticks;
    }
    ASSERT_EQ(ticks_seen, expected_ticks) << chunk;
    ASSERT_EQ(song->tick_countdown, next_tick - chunk_end) << chunk;
  }
  EXPECT_EQ(current_output->fill_chunk, 0);  // 40 chunks are four times round the ring
  free_song(song);
}

TEST_F(OutputTest, TickLengthsFromTheBpm) {
  current_output->output_rate = 44100;
  Song song = {};
  const std::pair<std::int32_t, std::int32_t> cases[] = {{118, 934}, {125, 882}, {32, 3445}, {255, 432}};
  for (const auto& [bpm, frames] : cases) {
    set_song_bpm(&song, bpm);
    EXPECT_EQ(song.samples_per_tick, frames) << bpm;
    EXPECT_EQ(song.samples_per_tick, 5 * 44100 / (2 * bpm)) << bpm;
  }
  set_song_bpm(&song, 0);
  EXPECT_EQ(song.bpm, 125);
  EXPECT_EQ(song.samples_per_tick, 882);
  set_song_bpm(&song, 1000000);
  EXPECT_EQ(song.samples_per_tick, 1);
  current_output->output_rate = 0;
}

// The live thread plays exactly what offline rendering produces: each chunk
// it renders, as the device finishes it, equals the offline chunk of the
// same number.
TEST_F(OutputTest, TheThreadRendersWhatOfflineRenderingGives) {
  const std::vector<std::uint8_t> bytes = write_module(small_song());
  ASSERT_TRUE(open_offline_output(44100));
  use_buffer_file(bytes);
  Song* song = load_song("song.xm");
  ASSERT_NE(song, nullptr);
  ASSERT_TRUE(play_song(song));
  start_tone(song);
  std::vector<std::vector<std::int16_t>> offline;
  for (int chunk = 0; chunk < 25; ++chunk) {
    const std::int16_t* pcm = render_next_chunk();
    offline.emplace_back(pcm, pcm + 2 * current_output->chunk_frames);
  }
  free_song(song);

  ASSERT_TRUE(open_output(44100));
  song = load_song("song.xm");
  ASSERT_TRUE(play_song(song));
  start_tone(song);
  // Chunk k is rendered at the first 2 ms poll after the device has played
  // 884 (k + 1) frames, and the next one not before 884 frames later.
  std::int64_t now_ms = 0;
  for (int chunk = 0; chunk < 25; ++chunk) {
    std::int64_t poll_ms = now_ms;
    while (poll_ms * 441 / 10 < 884 * (chunk + 1)) {
      poll_ms += 2;
    }
    headless_run_for(static_cast<DWORD>(poll_ms - now_ms));
    now_ms = poll_ms;
    const std::int32_t k = chunk % 10;
    ASSERT_EQ(current_output->fill_chunk, (chunk + 1) % 10) << chunk;
    const std::int16_t* ring_chunk = current_output->wave_ring + 2 * k * current_output->chunk_frames;
    ASSERT_TRUE(std::equal(offline[chunk].begin(), offline[chunk].end(), ring_chunk)) << chunk;
  }
  bool sound = false;
  for (const auto& chunk : offline) {
    sound = sound || std::any_of(chunk.begin(), chunk.end(), [](std::int16_t v) { return v != 0; });
  }
  EXPECT_TRUE(sound);
  free_song(song);
}

// The chunks of the small song, rendered offline: n chunks, with the song
// held for the chunks in paused (pause_song before, release after).
std::vector<std::int16_t> render_small_song(int n, const std::vector<int>& paused = {}) {
  EXPECT_TRUE(open_offline_output(44100));
  Song* song = load_song("song.xm");
  EXPECT_TRUE(play_song(song));
  std::vector<std::int16_t> pcm;
  for (int chunk = 0; chunk < n; ++chunk) {
    const bool hold = std::find(paused.begin(), paused.end(), chunk) != paused.end();
    EXPECT_TRUE(pause_song(song, hold));
    const std::int16_t* frames = render_next_chunk();
    pcm.insert(pcm.end(), frames, frames + 2 * current_output->chunk_frames);
  }
  free_song(song);
  close_output();
  return pcm;
}

// A paused song renders silence and keeps its place: the chunks played
// around a pause are those of a song never paused, bit for bit.
TEST_F(OutputTest, APausedSongHoldsItsPlaceAndIsSilent) {
  use_buffer_file(write_module(small_song()));
  const std::vector<std::int16_t> straight = render_small_song(20);
  const std::vector<std::int16_t> held = render_small_song(25, {3, 4, 5, 6, 7});
  const std::size_t chunk = straight.size() / 20;
  ASSERT_EQ(held.size(), 25 * chunk);
  EXPECT_TRUE(std::equal(straight.begin(), straight.begin() + 3 * chunk, held.begin()));
  EXPECT_TRUE(std::all_of(held.begin() + 3 * chunk, held.begin() + 8 * chunk, [](std::int16_t v) { return v == 0; }));
  EXPECT_TRUE(std::equal(straight.begin() + 3 * chunk, straight.end(), held.begin() + 8 * chunk));
  EXPECT_TRUE(std::any_of(straight.begin(), straight.end(), [](std::int16_t v) { return v != 0; }));
  Song* song = load_song("song.xm");
  EXPECT_FALSE(pause_song(song, true)) << "not playing";
  EXPECT_FALSE(pause_song(nullptr, true));
  free_song(song);
}

// The hook sees each chunk's mix before conversion and what it changes is
// what the PCM holds; without it the PCM is as before.
TEST_F(OutputTest, TheFinishMixHookChangesTheMixBeforeConversion) {
  use_buffer_file(write_module(small_song()));
  const std::vector<std::int16_t> plain = render_small_song(10);
  static std::int32_t frames_seen = 0;
  frames_seen = 0;
  current_output->finish_mix = [](float* mix, std::int32_t frames, void* context) {
    frames_seen += frames;
    const float factor = *static_cast<float*>(context);
    for (std::int32_t k = 0; k < 2 * frames; ++k) {
      mix[k] *= factor;
    }
  };
  float half = 0.5f;
  current_output->finish_mix_context = &half;
  const std::vector<std::int16_t> halved = render_small_song(10);
  current_output->finish_mix = nullptr;
  current_output->finish_mix_context = nullptr;
  EXPECT_EQ(frames_seen, 10 * 884);
  ASSERT_EQ(plain.size(), halved.size());
  int differing = 0;
  for (std::size_t k = 0; k < plain.size(); ++k) {
    // Half the float mix, rounded: within one unit of half the PCM.
    EXPECT_LE(std::abs(plain[k] / 2.0 - halved[k]), 1.0) << k;
    differing += plain[k] != halved[k];
  }
  EXPECT_GT(differing, 1000);
  EXPECT_EQ(render_small_song(10), plain);
}

TEST_F(OutputTest, SongsKeepPlayingAcrossACloseAndReopen) {
  use_buffer_file(write_module(small_song()));
  Song* song = load_song("song.xm");
  ASSERT_TRUE(open_offline_output(44100));
  ASSERT_TRUE(play_song(song));
  render_next_chunk();
  close_output();
  ASSERT_TRUE(open_offline_output(22050));
  EXPECT_EQ(song->samples_per_tick, 441);
  EXPECT_EQ(song->channels[1].voice, &current_output->voice_table[1]);
  for (int chunk = 0; chunk < 30; ++chunk) {
    render_next_chunk();
  }
  EXPECT_GT(song_row(song), 0);
  free_song(song);
}

// Play, stop, free and the position queries race the rendering thread in
// real time. Run under ThreadSanitizer in CI; here it also checks that
// nothing breaks.
TEST_F(OutputTest, ControlsRaceTheRenderingThreadSafely) {
  HeadlessScript script;
  script.real_time = true;
  headless_configure(script);
  const std::vector<std::uint8_t> bytes = write_module(small_song());
  use_buffer_file(bytes);
  set_output_buffer_length(20);  // 2 chunks: the thread renders often
  ASSERT_TRUE(open_output(44100));
  demo_song = load_song("song.xm");
  ASSERT_NE(demo_song, nullptr);
  // A fixed number of rounds, however busy the machine: each one lets the
  // thread render while the controls change what it reads.
  int rounds = 0;
  while (rounds < 60) {
    ASSERT_TRUE(play_song(demo_song));
    for (int k = 0; k < 50; ++k) {
      const std::uint16_t position = song_position();
      ASSERT_LT(position >> 8, 1);
      ASSERT_LT(position & 0xFF, 16);
      std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    if (++rounds % 3 == 0) {
      stop_song(demo_song);
    }
    if (rounds % 5 == 0) {
      free_song(demo_song);
      demo_song = load_song("song.xm");
      ASSERT_NE(demo_song, nullptr);
    }
  }
  free_song(demo_song);
  demo_song = nullptr;
  close_output();
}

// Renders chunks of a song on the calling thread's own output and returns
// the FNV-1a hash of the PCM.
std::uint64_t render_on_own_output(Song* song, std::int32_t rate, int chunks) {
  SoundOutput output;
  select_output(&output);
  std::uint64_t hash = 0xCBF29CE484222325ull;
  if (open_offline_output(rate) && play_song(song)) {
    std::vector<std::int16_t> pcm(2 * static_cast<std::size_t>(output.chunk_frames));
    for (int chunk = 0; chunk < chunks; ++chunk) {
      render_next_chunk_into(pcm.data());
      for (const std::int16_t value : pcm) {
        hash = (hash ^ static_cast<std::uint16_t>(value)) * 0x100000001B3ull;
      }
    }
  }
  stop_song(song);
  close_output();
  select_output(nullptr);
  return hash;
}

// Two songs rendered offline on two threads, each on its own output (one
// at 44100 Hz with the linear table, one at 22050 Hz with the Amiga table,
// so that their ramps and powers differ), while the default output's
// thread plays a third song live: each thread's sound is what the song
// gives when rendered alone. Run under ThreadSanitizer in CI.
TEST_F(OutputTest, TwoOutputsRenderTwoSongsAtOnceBesideLivePlay) {
  // Playing changes a song (effect E5 rewrites finetunes): each rendering
  // gets a song fresh from its file.
  TestModule amiga = every_effect_song();
  amiga.flags = 0;
  const std::vector<std::uint8_t> linear_bytes = write_module(every_effect_song());
  const std::vector<std::uint8_t> amiga_bytes = write_module(amiga);
  Song* first = load_bytes(linear_bytes);
  Song* second = load_bytes(amiga_bytes);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  const std::uint64_t first_alone = render_on_own_output(first, 44100, 150);
  const std::uint64_t second_alone = render_on_own_output(second, 22050, 150);
  EXPECT_NE(first_alone, second_alone);
  free_song(first);
  free_song(second);
  first = load_bytes(linear_bytes);
  second = load_bytes(amiga_bytes);

  HeadlessScript script;
  script.real_time = true;
  headless_configure(script);
  use_buffer_file(write_module(small_song()));
  set_output_buffer_length(20);
  ASSERT_TRUE(open_output(44100));
  Song* live = load_song("live.xm");
  ASSERT_TRUE(play_song(live));
  std::uint64_t first_hash = 0;
  std::uint64_t second_hash = 0;
  std::thread first_thread([&] { first_hash = render_on_own_output(first, 44100, 150); });
  std::thread second_thread([&] { second_hash = render_on_own_output(second, 22050, 150); });
  first_thread.join();
  second_thread.join();
  EXPECT_EQ(first_hash, first_alone);
  EXPECT_EQ(second_hash, second_alone);
  EXPECT_EQ(live->output, &default_output);
  free_song(live);
  free_song(first);
  free_song(second);
  close_output();
}

// A song plays on one output at a time: played on another, it leaves the
// first, whose voices it no longer drives, and stop_song and free_song find
// it wherever it plays.
TEST_F(OutputTest, ASongMovesBetweenOutputs) {
  use_buffer_file(write_module(small_song()));
  Song* song = load_song("song.xm");
  ASSERT_TRUE(open_offline_output(44100));
  ASSERT_TRUE(play_song(song));
  render_next_chunk();
  EXPECT_NE(default_output.voice_table[0].sample, nullptr);
  SoundOutput other;
  select_output(&other);
  ASSERT_TRUE(open_offline_output(22050));
  ASSERT_TRUE(play_song(song));
  EXPECT_EQ(song->output, &other);
  EXPECT_EQ(song->channels[0].voice, &other.voice_table[0]);
  EXPECT_EQ(default_output.playing_songs.next, &default_output.playing_songs);
  EXPECT_EQ(default_output.voice_table[0].sample, nullptr);
  EXPECT_EQ(other.playing_songs.next, song);
  render_next_chunk();
  select_output(nullptr);
  EXPECT_TRUE(stop_song(song));
  EXPECT_EQ(other.playing_songs.next, &other.playing_songs);
  EXPECT_EQ(other.voice_table[0].sample, nullptr);
  EXPECT_EQ(song->output, nullptr);
  select_output(&other);
  ASSERT_TRUE(play_song(song));
  render_next_chunk();
  select_output(nullptr);
  EXPECT_TRUE(free_song(song));  // from the default output's thread
  EXPECT_EQ(other.playing_songs.next, &other.playing_songs);
  select_output(&other);
  close_output();
  select_output(nullptr);
}

}  // namespace
