// The song through the player's own loader: the figures the demo relies on,
// every pattern and sample coming back as written, and the length of one
// pass as the player counts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "demo/memfile.h"
#include "music/internal.h"
#include "tools/song/instrument_set.h"
#include "tools/song/song_builder.h"
#include "tools/song/xm_writer.h"

namespace {

const XmModule& module() {
  static XmModule m;
  static const bool built = [] {
    const char* dir = std::getenv("VORNA_SOURCE_DIR");
    Score score;
    std::string problem = read_score(std::string(dir ? dir : ".") + "/tools/song/score", score);
    if (problem.empty()) problem = build_module(score, m);
    EXPECT_EQ(problem, "");
    return true;
  }();
  (void)built;
  return m;
}

// A file served from a byte vector, for loading what the writer just made.
std::vector<std::uint8_t> served;
std::int32_t served_at = 0;
std::uint32_t serve_open(const char*) {
  served_at = 0;
  return 1;
}
void serve_close(std::uint32_t) {}
std::int32_t serve_read(void* destination, std::int32_t count, std::uint32_t) {
  const std::int32_t n = std::clamp<std::int32_t>(count, 0, static_cast<std::int32_t>(served.size()) - served_at);
  if (n > 0) std::memcpy(destination, served.data() + served_at, n);
  served_at += n;
  return n;
}
void serve_seek(std::uint32_t, std::int32_t offset, std::uint8_t mode) {
  const std::int32_t size = static_cast<std::int32_t>(served.size());
  served_at = std::clamp(mode == 0 ? offset : mode == 1 ? served_at + offset : size - offset, 0, size);
}
std::int32_t serve_tell(std::uint32_t) { return served_at; }

class LoadedSong : public ::testing::Test {
 protected:
  void TearDown() override { free_song(song); }
  void load_embedded() {
    set_music_file_callbacks(memfile_open, memfile_close, memfile_read, memfile_seek, memfile_tell);
    song = load_song("tolvanes.xm");
    ASSERT_NE(song, nullptr) << load_result_text(last_load_result);
  }
  void load_written() {
    served = write_module(module());
    set_music_file_callbacks(serve_open, serve_close, serve_read, serve_seek, serve_tell);
    song = load_song("tolvanes.xm");
    ASSERT_NE(song, nullptr) << load_result_text(last_load_result);
    EXPECT_EQ(served_at, static_cast<std::int32_t>(served.size()));
  }
  Song* song = nullptr;
};

std::uint8_t loop_type_of(XmLoop loop) {
  return loop == XmLoop::forward ? loop_forward : loop == XmLoop::ping_pong ? loop_ping_pong : loop_none;
}

}  // namespace

TEST_F(LoadedSong, TheEmbeddedModuleHasTheDemosFigures) {
  load_embedded();
  EXPECT_EQ(memfile_position, 431134);  // the last sample ends at the last byte
  EXPECT_EQ(song->song_length, 19);
  EXPECT_EQ(song->restart_position, 0);
  EXPECT_EQ(song->channel_count, 12);
  EXPECT_EQ(song->used_pattern_count, 17);
  EXPECT_EQ(song->pattern_count, 17);
  for (int p = 0; p < song->pattern_count; ++p) EXPECT_EQ(song->patterns[p].rows, 64);
  EXPECT_EQ(song->instrument_count, 27);
  int without_samples = 0;
  int fadeout_522 = 0;
  for (int i = 0; i < song->instrument_count; ++i) {
    const Instrument& instrument = song->instruments[i];
    without_samples += instrument.sample_count == 0;
    fadeout_522 += instrument.fadeout == 522;
    for (int s = instrument.sample_count; s < samples_per_instrument; ++s)
      EXPECT_EQ(instrument.samples[s], &empty_sample);
  }
  EXPECT_EQ(without_samples, 6);
  EXPECT_EQ(fadeout_522, 1);  // stored as 261
  EXPECT_EQ(song->flags, 1);
  EXPECT_EQ(song->default_tempo, 6);
  EXPECT_EQ(song->default_bpm, 118);
  EXPECT_EQ(song->initial_global_volume, 64);
  EXPECT_EQ(song->order_table[0], 10);
  const Cell* first = song->patterns[song->order_table[0]].cells;
  for (int c = 0; c < 12; ++c) {
    const bool drone = c == 7;
    EXPECT_EQ(first[c].note, drone ? 25 : 0);
    EXPECT_EQ(first[c].instrument, drone ? 16 : 0);
    EXPECT_EQ(first[c].volume_column, 0);
    EXPECT_EQ(first[c].effect, 0);
    EXPECT_EQ(first[c].parameter, 0);
  }
}

TEST_F(LoadedSong, ThePingPongFluteAndTheThreeSamplePercKitLoadAsDescribed) {
  load_embedded();
  const Sample* flute = song->instruments[ins_flute - 1].samples[0];
  EXPECT_EQ(flute->loop_type, loop_ping_pong);
  EXPECT_EQ(flute->loop_start, 1085u);
  EXPECT_EQ(flute->loop_length, 2591u);
  EXPECT_EQ(flute->data[3676], flute->data[3675]);
  const Instrument& kit = song->instruments[ins_perc_kit - 1];
  EXPECT_EQ(kit.sample_count, 3);
  for (int s = 3; s < samples_per_instrument; ++s) EXPECT_EQ(kit.samples[s], &empty_sample);
  // A one-shot's guard frame repeats its first frame.
  const Sample* kick = song->instruments[ins_kick - 1].samples[0];
  EXPECT_EQ(kick->loop_type, loop_none);
  EXPECT_EQ(kick->data[kick->length], kick->data[0]);
}

TEST_F(LoadedSong, EveryPatternComesBackCellForCell) {
  load_written();
  const XmModule& m = module();
  ASSERT_EQ(song->pattern_count, static_cast<std::int32_t>(m.patterns.size()));
  for (std::size_t p = 0; p < m.patterns.size(); ++p) {
    const XmPattern& written = m.patterns[p];
    ASSERT_EQ(song->patterns[p].rows, written.rows);
    for (std::size_t k = 0; k < written.cells.size(); ++k) {
      const XmCell& w = written.cells[k];
      const Cell& r = song->patterns[p].cells[k];
      const std::uint8_t note = w.note == xm_key_off ? key_off_note : w.note;
      ASSERT_TRUE(r.note == note && r.instrument == w.instrument && r.volume_column == w.volume_column &&
                  r.effect == w.effect && r.parameter == w.parameter)
          << "pattern " << p << " row " << k / 12 << " channel " << k % 12;
    }
  }
  for (std::size_t k = 0; k < m.orders.size(); ++k) EXPECT_EQ(song->order_table[k], m.orders[k]);
}

TEST_F(LoadedSong, EveryInstrumentAndSampleComesBackAsMade) {
  load_written();
  const XmModule& m = module();
  ASSERT_EQ(song->instrument_count, static_cast<std::int16_t>(m.instruments.size()));
  for (std::size_t i = 0; i < m.instruments.size(); ++i) {
    const XmInstrument& w = m.instruments[i];
    const Instrument& r = song->instruments[i];
    ASSERT_EQ(r.sample_count, static_cast<std::int32_t>(w.samples.size())) << w.name;
    if (w.samples.empty()) continue;
    for (int n = 0; n < 96; ++n) EXPECT_EQ(r.keymap[n], w.keymap[n]) << w.name;
    EXPECT_EQ(r.volume_points, w.volume_envelope.points.size()) << w.name;
    EXPECT_EQ(r.panning_points, w.panning_envelope.points.size()) << w.name;
    for (std::size_t k = 0; k < w.volume_envelope.points.size(); ++k) {
      EXPECT_EQ(r.volume_envelope[k].x, w.volume_envelope.points[k].x) << w.name;
      EXPECT_EQ(r.volume_envelope[k].y, w.volume_envelope.points[k].y) << w.name;
    }
    for (std::size_t k = 0; k < w.panning_envelope.points.size(); ++k) {
      EXPECT_EQ(r.panning_envelope[k].x, w.panning_envelope.points[k].x) << w.name;
      EXPECT_EQ(r.panning_envelope[k].y, w.panning_envelope.points[k].y) << w.name;
    }
    EXPECT_EQ(r.volume_type, w.volume_envelope.type) << w.name;
    EXPECT_EQ(r.panning_type, w.panning_envelope.type) << w.name;
    EXPECT_EQ(r.volume_sustain, w.volume_envelope.sustain) << w.name;
    EXPECT_EQ(r.volume_loop_start, w.volume_envelope.loop_start) << w.name;
    EXPECT_EQ(r.volume_loop_end, w.volume_envelope.loop_end) << w.name;
    EXPECT_EQ(r.panning_loop_start, w.panning_envelope.loop_start) << w.name;
    EXPECT_EQ(r.panning_loop_end, w.panning_envelope.loop_end) << w.name;
    EXPECT_EQ(r.vibrato_type, w.vibrato_type) << w.name;
    EXPECT_EQ(r.vibrato_sweep, w.vibrato_sweep) << w.name;
    EXPECT_EQ(r.vibrato_depth, w.vibrato_depth) << w.name;
    EXPECT_EQ(r.vibrato_rate, w.vibrato_rate) << w.name;
    EXPECT_EQ(r.fadeout, 2 * w.fadeout) << w.name;
    for (std::size_t s = 0; s < w.samples.size(); ++s) {
      const XmSample& ws = w.samples[s];
      const Sample& rs = *r.samples[s];
      const std::string what = w.name + " / " + ws.name;
      ASSERT_EQ(rs.length, ws.frames.size()) << what;
      EXPECT_EQ(rs.loop_type, loop_type_of(ws.loop)) << what;
      EXPECT_EQ(rs.loop_start, ws.loop == XmLoop::none ? 0 : ws.loop_start) << what;
      EXPECT_EQ(rs.loop_length, ws.loop == XmLoop::none ? ws.frames.size() : ws.loop_length) << what;
      EXPECT_EQ(rs.volume, ws.volume) << what;
      EXPECT_EQ(rs.finetune, ws.finetune) << what;
      EXPECT_EQ(rs.panning, ws.panning) << what;
      EXPECT_EQ(rs.relative_note, ws.relative_note) << what;
      for (std::size_t f = 0; f < ws.frames.size(); ++f) {
        const std::int16_t expected =
            ws.sixteen_bit ? ws.frames[f] : static_cast<std::int16_t>(narrow_frame(ws.frames[f]) * 256);
        ASSERT_EQ(rs.data[f], expected) << what << " frame " << f;
      }
    }
  }
}

TEST_F(LoadedSong, OnePassLastsWhatItsRowsAndTempoMake) {
  load_embedded();
  ASSERT_TRUE(open_offline_output(44100));
  ASSERT_TRUE(play_song(song));
  EXPECT_EQ(song->samples_per_tick, 934);
  // 19 orders of 64 rows, 6 ticks of 934 frames each: 5604 frames a row.
  const std::int64_t expected = 19 * 64 * 5604;
  std::int64_t rendered = 0;
  bool back_at_start = false;
  while (rendered < expected + 100000 && !back_at_start) {
    render_next_chunk();
    rendered += current_output->chunk_frames;
    back_at_start = song->wrapped.load() && song_order(song) == 0;
  }
  ASSERT_TRUE(back_at_start);
  // The pass ended inside the last chunk rendered.
  EXPECT_GE(rendered, expected);
  EXPECT_LT(rendered - current_output->chunk_frames, expected);
  close_output();
}
