#include "fuzz/fuzz_bodies.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cpu/vector_level.h"
#include "music/module_writer.h"

namespace {

void check_no_leak(std::int64_t blocks) {
  if (music_blocks_in_use.load() != blocks) {
    std::fprintf(stderr, "the player's heap leaked\n");
    std::abort();
  }
}

std::uint64_t hash_pcm(std::uint64_t hash, const std::int16_t* pcm, std::size_t values) {
  for (std::size_t k = 0; k < values; ++k) {
    hash = (hash ^ static_cast<std::uint16_t>(pcm[k])) * 0x100000001B3ull;
  }
  return hash;
}

// Renders frames output frames of the playing song into pcm as the output
// thread renders a chunk, but of any length: ticks at their exact frames,
// the voices mixed in between, the mix converted.
void render_frames(Song* song, std::int32_t frames, std::vector<float>& mix, std::vector<std::int16_t>& pcm) {
  SoundOutput& output = *current_output;
  mix.assign(2 * static_cast<std::size_t>(frames), 0.0f);
  pcm.resize(mix.size());
  std::int32_t done = 0;
  if (song->playing != 0) {
    std::int32_t left = song->tick_countdown;
    while (done < frames) {
      if (left <= 0) {
        song->tick_handler(song);
        left = std::max<std::int32_t>(1, song->samples_per_tick);
      }
      const std::int32_t run = std::min(left, frames - done);
      mix_voices(mix.data() + 2 * static_cast<std::size_t>(done), &output.voice_list, run);
      done += run;
      left -= run;
    }
    song->tick_countdown = left;
  } else {
    mix_voices(mix.data(), &output.voice_list, frames);
  }
  convert_mix_to_pcm16(pcm.data(), mix.data(), frames);
}

}  // namespace

void fuzz_load_and_render(const std::uint8_t* data, std::size_t size) {
  const std::int64_t blocks = music_blocks_in_use.load();
  const std::vector<std::uint8_t> bytes(data, data + size);
  const VectorLevel available = vector_level();
  std::uint64_t hashes[2] = {};
  bool rendered[2] = {};
  for (int vector = 0; vector < (available > vector_plain ? 2 : 1); ++vector) {
    use_vector_level(vector == 1 ? available : vector_plain);
    Song* song = load_bytes(bytes);
    if (song != nullptr && open_offline_output(44100) && play_song(song)) {
      std::uint64_t hash = 0xCBF29CE484222325ull;
      for (int chunk = 0; chunk < 100; ++chunk) {
        hash = hash_pcm(hash, render_next_chunk(), 2 * static_cast<std::size_t>(current_output->chunk_frames));
      }
      hashes[vector] = hash;
      rendered[vector] = true;
    }
    free_song(song);
    close_output();
  }
  use_vector_level(available);
  if (rendered[0] && rendered[1] && hashes[0] != hashes[1]) {
    std::fprintf(stderr, "the vector mixer loops differ from the plain ones\n");
    std::abort();
  }
  check_no_leak(blocks);
}

void fuzz_play_in_odd_buffers(const std::uint8_t* data, std::size_t size) {
  const std::int64_t blocks = music_blocks_in_use.load();
  Song* song = load_bytes(std::vector<std::uint8_t>(data, data + size));
  if (song != nullptr && open_offline_output(22050) && play_song(song)) {
    // Buffer sizes that are not whole chunks, the same for the same input.
    std::uint32_t seed = 2166136261u;
    for (std::size_t k = 0; k < std::min<std::size_t>(size, 64); ++k) {
      seed = (seed ^ data[k]) * 16777619u;
    }
    const std::int32_t sizes[] = {450, 1, 449, 37, 1023, 2, 450, 3001};
    std::size_t next_size = seed % 8;
    std::vector<float> mix;
    std::vector<std::int16_t> pcm;
    const auto play_for = [&](std::int32_t frames) {
      while (frames > 0) {
        const std::int32_t piece = std::min(frames, sizes[next_size++ % 8]);
        render_frames(song, piece, mix, pcm);
        frames -= piece;
      }
    };
    play_for(22050);
    // Jumps, as effects B and D make them: any order of the song, and rows
    // at and beyond the ends of the patterns. The sequencer takes them at
    // the next row, which is made to come at once.
    const std::int32_t last_order = song->song_length - 1;
    const std::int32_t orders[] = {0, last_order, last_order, 0,
                                   static_cast<std::int32_t>(seed % 256) % song->song_length};
    const std::int32_t rows[] = {0, 0xFFFF, 63, 0xFF, -1};
    for (int jump = 0; jump < 5; ++jump) {
      song->next_order = orders[jump];
      const Pattern& pattern = song->patterns[song->order_table[orders[jump]]];
      song->next_row = rows[jump] >= 0 ? rows[jump] : std::max(pattern.rows - 1, 0);
      song->tick = 0;
      song->pattern_delay_ticks = 0;
      song->tick_countdown = 0;
      play_for(2205);
    }
    stop_song(song);
    play_for(900);
  }
  free_song(song);
  close_output();
  check_no_leak(blocks);
}
