// One pass of the song rendered by the player itself, measured the way the
// song was mixed: almost nothing at full scale, a loudness in the range of
// the show, and sound from the first bars to the last row.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "demo/memfile.h"
#include "music/internal.h"

namespace {

constexpr std::int64_t frames_per_row = 5604;  // 6 ticks of 934 frames
constexpr std::int64_t rows_per_pass = 19 * 64;

// The 16-bit stereo frames of one pass, rendered once for all the tests.
const std::vector<std::int16_t>& pass() {
  static std::vector<std::int16_t> pcm;
  if (!pcm.empty()) return pcm;
  set_music_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
  Song* song = load_song("tolvanes.xm");
  EXPECT_NE(song, nullptr);
  if (!song || !open_offline_output(44100) || !play_song(song)) return pcm;
  const std::int64_t frames = rows_per_pass * frames_per_row;
  pcm.reserve(2 * (frames + current_output->chunk_frames));
  while (static_cast<std::int64_t>(pcm.size()) < 2 * frames) {
    const std::int16_t* chunk = render_next_chunk();
    pcm.insert(pcm.end(), chunk, chunk + 2 * current_output->chunk_frames);
  }
  pcm.resize(2 * frames);
  close_output();
  free_song(song);
  return pcm;
}

double rms_db(const std::vector<std::int16_t>& pcm, std::int64_t first_frame, std::int64_t frames) {
  double sum = 0;
  for (std::int64_t i = 2 * first_frame; i < 2 * (first_frame + frames); ++i)
    sum += static_cast<double>(pcm[i]) * pcm[i];
  return 10 * std::log10(sum / (2.0 * static_cast<double>(frames)) / (32768.0 * 32768.0) + 1e-30);
}

}  // namespace

TEST(SongRender, AlmostNothingReachesFullScale) {
  const std::vector<std::int16_t>& pcm = pass();
  ASSERT_FALSE(pcm.empty());
  std::int64_t at_full_scale = 0;
  for (std::int16_t v : pcm) at_full_scale += v >= 32767 || v <= -32768;
  EXPECT_LE(at_full_scale * 10000, static_cast<std::int64_t>(pcm.size())) << at_full_scale << " samples clip";
}

TEST(SongRender, TheLoudnessSuitsTheShow) {
  const std::vector<std::int16_t>& pcm = pass();
  ASSERT_FALSE(pcm.empty());
  const double db = rms_db(pcm, 0, rows_per_pass * frames_per_row);
  EXPECT_GE(db, -16.0);
  EXPECT_LE(db, -10.0);
}

TEST(SongRender, NoRowFallsSilent) {
  const std::vector<std::int16_t>& pcm = pass();
  ASSERT_FALSE(pcm.empty());
  // The drone swells in from nothing over its first rows; after that every
  // row of the pass, and every order as a whole, carries sound.
  for (std::int64_t row = 4; row < rows_per_pass; ++row)
    EXPECT_GT(rms_db(pcm, row * frames_per_row, frames_per_row), -45.0) << "order " << row / 64 << " row " << row % 64;
  for (std::int64_t order = 0; order < 19; ++order)
    EXPECT_GT(rms_db(pcm, order * 64 * frames_per_row, 64 * frames_per_row), -26.0) << "order " << order;
}
