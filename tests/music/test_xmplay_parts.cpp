// xmplay's parts apart from a terminal: the key reader, the command line,
// the live view's lines, the instrument names, and the listener's controls
// (mute, volume, stereo width, seeking, passes) in rendered sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "music/module_writer.h"
#include "tools/xmplay/controls.h"
#include "tools/xmplay/keys.h"
#include "tools/xmplay/live_view.h"
#include "tools/xmplay/module_names.h"
#include "tools/xmplay/options.h"
#include "tools/xmplay/player.h"
#include "tools/xmplay/stdio_file.h"

namespace {

// ---------------------------------------------------------------------------
// Keys.

std::vector<Key> feed(KeyReader& reader, const std::string& bytes, std::int64_t now) {
  std::vector<Key> keys;
  key_reader_feed(reader, bytes.data(), bytes.size(), now, keys);
  return keys;
}

std::string codes(const std::vector<Key>& keys) {
  std::string text;
  for (const Key& key : keys) {
    switch (key.code) {
      case KeyCode::character:
        text += key.character;
        break;
      case KeyCode::up:
        text += "<up>";
        break;
      case KeyCode::down:
        text += "<down>";
        break;
      case KeyCode::left:
        text += "<left>";
        break;
      case KeyCode::right:
        text += "<right>";
        break;
      case KeyCode::escape:
        text += "<esc>";
        break;
      case KeyCode::tab:
        text += "<tab>";
        break;
      case KeyCode::other:
        text += "<other>";
        break;
    }
  }
  return text;
}

TEST(XmplayKeys, ArrowSequencesAreKeysAndNotEscape) {
  KeyReader reader;
  EXPECT_EQ(codes(feed(reader, "\x1b[A\x1b[B\x1b[C\x1b[D", 0)), "<up><down><right><left>");
  EXPECT_EQ(codes(feed(reader, "\x1bOA\x1bOD", 0)), "<up><left>") << "application cursor mode";
  EXPECT_EQ(codes(feed(reader, "\x1b[1;5C\x1b[1;2D", 0)), "<right><left>") << "with Ctrl or Shift";
  EXPECT_EQ(codes(feed(reader, "\x1b[5~\x1b[15~", 0)), "<other><other>") << "Page Up, F5";
  EXPECT_EQ(codes(feed(reader, "q 1\t?", 0)), "q 1<tab>?");
  std::vector<Key> keys;
  key_reader_poll(reader, 1000, keys);
  EXPECT_TRUE(keys.empty());
}

TEST(XmplayKeys, ASequenceSplitAcrossReadsIsOneKey) {
  KeyReader reader;
  EXPECT_EQ(codes(feed(reader, "\x1b", 0)), "");
  EXPECT_EQ(codes(feed(reader, "[", 10)), "");
  EXPECT_EQ(codes(feed(reader, "C", 20)), "<right>");
  EXPECT_EQ(codes(feed(reader, "x\x1bO", 30)), "x");
  std::vector<Key> keys;
  key_reader_poll(reader, 30 + escape_wait_ms - 1, keys);
  EXPECT_TRUE(keys.empty()) << "still waiting for the rest";
  EXPECT_EQ(codes(feed(reader, "B", 40)), "<down>");
}

TEST(XmplayKeys, ALoneEscapeIsEscapeOnceNothingFollows) {
  KeyReader reader;
  EXPECT_EQ(codes(feed(reader, "\x1b", 100)), "");
  std::vector<Key> keys;
  key_reader_poll(reader, 100 + escape_wait_ms - 1, keys);
  EXPECT_TRUE(keys.empty());
  key_reader_poll(reader, 100 + escape_wait_ms, keys);
  EXPECT_EQ(codes(keys), "<esc>");
  EXPECT_TRUE(reader.pending.empty());
  // Escape pressed twice, and Escape then an arrow.
  EXPECT_EQ(codes(feed(reader, "\x1b\x1b[A", 200)), "<esc><up>");
  // Alt with a key is no Escape.
  EXPECT_EQ(codes(feed(reader, "\x1bq", 300)), "<other>");
  // A control sequence that never ends is dropped, and keys go on.
  EXPECT_EQ(codes(feed(reader, "\x1b[" + std::string(40, '1'), 400)), "");
  EXPECT_TRUE(reader.pending.empty());
  EXPECT_EQ(codes(feed(reader, "n", 401)), "n");
}

// Random bytes: every byte is taken by a key or waits, never more than a
// sequence's worth.
TEST(XmplayKeys, RandomBytesNeverPileUp) {
  std::mt19937 random(7);
  KeyReader reader;
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(static_cast<std::size_t>(random() % 8), '\0');
    for (char& byte : bytes) {
      byte = random() % 3 == 0 ? '\x1b' : static_cast<char>(random() % 128);
    }
    std::vector<Key> keys;
    key_reader_feed(reader, bytes.data(), bytes.size(), round * 10, keys);
    EXPECT_LE(reader.pending.size(), 33u);
  }
}

// ---------------------------------------------------------------------------
// The command line.

bool parse(const std::vector<std::string>& arguments, Options& options, std::string& error) {
  options = Options{};
  error.clear();
  return parse_options(arguments, options, error);
}

TEST(XmplayOptions, LongAndShortFormsWithTheirValues) {
  Options options;
  std::string error;
  ASSERT_TRUE(
      parse({"--wav", "out.wav", "--rate=22050", "-g", "-3.5", "--stereo", "40", "-s2", "a.xm"}, options, error))
      << error;
  EXPECT_EQ(options.wav, "out.wav");
  EXPECT_EQ(options.rate, 22050);
  EXPECT_EQ(options.gain_db, -3.5);
  EXPECT_EQ(options.stereo_percent, 40);
  EXPECT_EQ(options.start_order, 2);
  EXPECT_EQ(options.files, std::vector<std::string>{"a.xm"});

  ASSERT_TRUE(parse({"-qlz", "--repeat", "3", "a.xm", "-", "--", "-odd.xm"}, options, error)) << error;
  EXPECT_TRUE(options.quiet);
  EXPECT_TRUE(options.shuffle);
  EXPECT_EQ(options.song_passes, 0) << "--loop plays for ever";
  EXPECT_EQ(options.list_passes, 3);
  EXPECT_EQ(options.files, (std::vector<std::string>{"a.xm", "-", "-odd.xm"}));

  ASSERT_TRUE(parse({"--repeat-song", "2", "--seconds=1.5", "--mute", "1,3,5-7", "b.xm"}, options, error));
  EXPECT_EQ(options.song_passes, 2);
  EXPECT_EQ(options.seconds, 1.5);
  EXPECT_EQ(options.muted, (std::vector<int>{0, 2, 4, 5, 6}));

  ASSERT_TRUE(parse({"--solo=2-3", "b.xm"}, options, error));
  EXPECT_EQ(options.muted.size(), 254u);
  EXPECT_EQ(std::count(options.muted.begin(), options.muted.end(), 1), 0);
  EXPECT_EQ(std::count(options.muted.begin(), options.muted.end(), 2), 0);
  EXPECT_EQ(std::count(options.muted.begin(), options.muted.end(), 0), 1);

  ASSERT_TRUE(parse({"--help"}, options, error)) << "no file needed";
  EXPECT_TRUE(options.help);
  ASSERT_TRUE(parse({"-V"}, options, error));
  EXPECT_TRUE(options.version);
  ASSERT_TRUE(parse({"--loop", "--wav", "-", "a.xm"}, options, error)) << "endless, to a pipe";
  ASSERT_TRUE(parse({"--loop", "--seconds", "3", "--wav", "o.wav", "a.xm"}, options, error));
}

TEST(XmplayOptions, ErrorsNameTheOptionOrTheValue) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--bogus", "a.xm"}, "unknown option '--bogus'"},
      {{"-k", "a.xm"}, "unknown option '-k'"},
      {{"a.xm", "--wav"}, "--wav needs a value"},
      {{"--loop=1", "a.xm"}, "--loop takes no value"},
      {{"--rate", "7999", "a.xm"}, "--rate: '7999' is not a rate in Hz from 8000 to 192000"},
      {{"--rate", "192001", "a.xm"}, "--rate: '192001' is not"},
      {{"--rate", "44k", "a.xm"}, "--rate: '44k' is not"},
      {{"--stereo", "101", "a.xm"}, "--stereo: '101' is not a percentage"},
      {{"--gain", "nan", "a.xm"}, "--gain: 'nan' is not"},
      {{"--seconds", "-1", "a.xm"}, "--seconds: '-1' is not"},
      {{"--start", "256", "a.xm"}, "--start: '256' is not an order"},
      {{"--mute", "0", "a.xm"}, "--mute: '0' is not a list"},
      {{"--mute", "3-1", "a.xm"}, "--mute: '3-1' is not"},
      {{"--mute", "1,,2", "a.xm"}, "--mute: '1,,2' is not"},
      {{}, "no module given"},
      {{"--wav", "a.wav", "--raw", "b.raw", "a.xm"}, "--wav and --raw cannot be given together"},
      {{"--info", "--wav", "a.wav", "a.xm"}, "--info cannot be given with --wav"},
      {{"--wav", "a.wav", "a.xm", "b.xm"}, "--wav renders one module, not 2"},
      {{"--timeline", "t.tsv", "a.xm"}, "--timeline goes with --wav or --raw"},
      {{"--loop", "--wav", "a.wav", "a.xm"}, "--loop never ends"},
  };
  for (const auto& [arguments, message] : cases) {
    Options options;
    std::string error;
    EXPECT_FALSE(parse(arguments, options, error)) << message;
    EXPECT_EQ(error.rfind(message, 0), 0u) << error;
  }
}

// ---------------------------------------------------------------------------
// The live view.

ViewFacts twelve_channels() {
  ViewFacts facts;
  facts.title = "Analog wastelands";
  facts.file_index = 2;
  facts.file_count = 3;
  facts.order = 12;
  facts.order_count = 63;
  facts.pattern = 7;
  facts.row = 32;
  facts.seconds = 83.4;
  facts.length_seconds = 201.6;
  for (int k = 0; k < 12; ++k) {
    facts.channels.push_back({49 + k, k + 1, k * 20, k == 2});
  }
  return facts;
}

TEST(XmplayView, TheLinesSayWhereTheSongIs) {
  const std::vector<std::string> lines = view_lines(twelve_channels(), 100, 30);
  ASSERT_EQ(lines.size(), 16u);  // three lines, twelve channels, the keys
  EXPECT_EQ(lines[0], "Analog wastelands  [2/3]");
  EXPECT_EQ(lines[1], "order  12/63  pattern   7  row  32/64   1:23.4 / 3:21.6");
  EXPECT_EQ(lines[2].rfind("tempo  6  bpm 125  volume +0 dB  stereo 100%  playing", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3].rfind("  1 C-4 01 ", 0), 0u) << lines[3];
  EXPECT_EQ(lines[4].rfind("  2 C#4 02 ", 0), 0u) << lines[4];
  EXPECT_EQ(lines[5], "  3 muted");
  EXPECT_EQ(std::count(lines[3].begin(), lines[3].end(), '#'), 0) << "level 0";
  EXPECT_EQ(std::count(lines[14].begin(), lines[14].end(), '#'), (220 * 48 + 127) / 255);
  EXPECT_EQ(lines[14].size(), lines[3].size()) << "bars of one width";
}

TEST(XmplayView, TheViewFitsTheTerminal) {
  ViewFacts facts = twelve_channels();
  facts.paused = true;
  facts.passes = 0;
  facts.pass = 3;
  for (const auto& [columns, rows] : {std::pair{100, 30}, {40, 10}, {20, 5}, {80, 16}, {1, 2}}) {
    const std::vector<std::string> lines = view_lines(facts, columns, rows);
    EXPECT_LT(static_cast<int>(lines.size()), rows) << columns << "x" << rows;
    for (const std::string& line : lines) {
      EXPECT_LE(static_cast<int>(line.size()), columns) << line;
    }
  }
  const std::vector<std::string> small = view_lines(facts, 80, 12);
  ASSERT_EQ(small.size(), 11u);
  EXPECT_EQ(small[9], "    and 6 more channels");
  EXPECT_NE(small[1].find("pass 3"), std::string::npos) << small[1];
  EXPECT_NE(small[2].find("PAUSED"), std::string::npos) << small[2];
  facts.help = true;
  const std::vector<std::string> help = view_lines(facts, 80, 30);
  EXPECT_NE(std::find_if(help.begin(), help.end(),
                         [](const std::string& line) { return line.find("q Esc") != std::string::npos; }),
            help.end());
}

TEST(XmplayView, DrawnInPlace) {
  EXPECT_EQ(draw_in_place({"a", "b"}, 0), "a\x1b[K\nb\x1b[K\n\x1b[J");
  EXPECT_EQ(draw_in_place({"c"}, 2), "\r\x1b[2Ac\x1b[K\n\x1b[J");
  EXPECT_EQ(erase_in_place(3), "\r\x1b[3A\x1b[J");
  EXPECT_EQ(note_name(1), "C-0");
  EXPECT_EQ(note_name(96), "B-7");
  EXPECT_EQ(note_name(97), "===");
  EXPECT_EQ(note_name(0), "...");
}

// ---------------------------------------------------------------------------
// Instrument and sample names.

std::vector<std::uint8_t> read_bytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

TEST(XmplayNames, NamesOfARealModuleAndNoReadBeyondAnyBytes) {
  const std::vector<std::uint8_t> bytes = read_bytes("/usr/share/games/heroes/mod/heroes05.xm");
  ASSERT_FALSE(bytes.empty()) << "install the Debian package heroes-sound-tracks";
  const std::vector<InstrumentNames> names = instrument_names(bytes);
  ASSERT_EQ(names.size(), 19u);
  EXPECT_EQ(names[0].name, "Tabla2");
  EXPECT_EQ(names[0].samples, std::vector<std::string>{"Tabla2"});
  EXPECT_EQ(names[7].name, "037");
  // Every prefix, and the bytes with random changes: no read outside them
  // (the sanitizer builds check), at most as many instruments.
  for (std::size_t size = 0; size < bytes.size(); size += 97) {
    const std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_LE(instrument_names(part).size(), 19u);
  }
  std::mt19937 random(3);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::uint8_t> changed = bytes;
    for (int k = 0; k < 8; ++k) {
      changed[random() % changed.size()] = static_cast<std::uint8_t>(random());
    }
    const std::vector<InstrumentNames> found = instrument_names(changed);
    EXPECT_LE(found.size(), 65535u);
  }
  const std::uint8_t field[6] = {'a', 0x01, 0xE9, ' ', ' ', 0};
  EXPECT_EQ(name_field(field, 6), "a??");
}

// ---------------------------------------------------------------------------
// The controls in rendered sound.

struct ControlsTest : ::testing::Test {
  std::int64_t blocks_before = 0;
  void SetUp() override {
    blocks_before = music_blocks_in_use.load();
    use_stdio_files();
    reset_player_controls();
    ASSERT_TRUE(open_offline_output(xmplay_rate));
    current_output->finish_mix = finish_player_mix;
  }
  void TearDown() override {
    current_output->finish_mix = nullptr;
    reset_player_controls();
    close_output();
    EXPECT_EQ(music_blocks_in_use.load(), blocks_before);
  }
};

// Renders the module through the tracker (as xmplay does) for frames, on
// fresh voices (their gains live on from song to song).
std::vector<std::int16_t> render(const TestModule& module, std::int64_t frames, std::int32_t start_order = 0) {
  EXPECT_TRUE(open_offline_output(xmplay_rate));
  Song* song = load_bytes(write_module(module));
  EXPECT_NE(song, nullptr);
  track_song(song, false, pass_tracker, 1, start_order);
  EXPECT_TRUE(play_song(song));
  std::vector<std::int16_t> pcm;
  const std::int32_t chunk = current_output->chunk_frames;
  while (static_cast<std::int64_t>(pcm.size()) < 2 * frames) {
    const std::size_t at = pcm.size();
    pcm.resize(at + 2 * static_cast<std::size_t>(chunk));
    render_next_chunk_into(pcm.data() + at);
  }
  pcm.resize(2 * static_cast<std::size_t>(frames));
  forget_tracker(pass_tracker);
  free_song(song);
  return pcm;
}

// Two channels playing notes at different pans, and a third.
TestModule three_voices() {
  TestModule module = one_pattern_module(
      3, 8, {{{0, 0}, {49, 1, 0, 0x08, 0x20}}, {{0, 1}, {56, 1, 0, 0x08, 0xE0}}, {{2, 2}, {61, 1, 0x30, 0, 0}}});
  return module;
}

TEST_F(ControlsTest, AMutedChannelIsSilentInTheRenderedSound) {
  TestModule without_second = three_voices();
  without_second.patterns[0].cells[1] = {};
  const std::vector<std::int16_t> reference = render(without_second, 20000);
  set_channel_muted(1, true);
  EXPECT_TRUE(channel_muted(1));
  EXPECT_FALSE(channel_muted(0));
  const std::vector<std::int16_t> muted = render(three_voices(), 20000);
  EXPECT_EQ(muted, reference) << "muted: as if the channel had no note";
  set_channel_muted(1, false);
  const std::vector<std::int16_t> all = render(three_voices(), 20000);
  EXPECT_NE(all, reference);
  // Unmuted while playing: the channel comes back.
  Song* song = load_bytes(write_module(three_voices()));
  track_song(song, false);
  ASSERT_TRUE(play_song(song));
  set_channel_muted(1, true);
  render_next_chunk();
  EXPECT_EQ(song->channels[1].voice->gain_left, 0);
  set_channel_muted(1, false);
  render_next_chunk();
  EXPECT_GT(song->channels[1].voice->gain_left + song->channels[1].voice->gain_right, 0);
  forget_tracker(pass_tracker);
  free_song(song);
}

TEST_F(ControlsTest, VolumeAndStereoWidth) {
  const std::vector<std::int16_t> plain = render(three_voices(), 20000);
  player_controls.stereo_percent.store(0);
  const std::vector<std::int16_t> mono = render(three_voices(), 20000);
  bool wide = false;
  for (std::size_t k = 0; k < plain.size(); k += 2) {
    ASSERT_EQ(mono[k], mono[k + 1]) << k;
    wide = wide || plain[k] != plain[k + 1];
    // The mean of the two sides, rounded.
    EXPECT_LE(std::abs((plain[k] + plain[k + 1]) / 2.0 - mono[k]), 1.0) << k;
  }
  EXPECT_TRUE(wide);
  player_controls.stereo_percent.store(100);
  player_controls.gain_db.store(-6.0f);
  const std::vector<std::int16_t> quieter = render(three_voices(), 20000);
  const double factor = std::pow(10.0, -6.0 / 20.0);
  for (std::size_t k = 0; k < plain.size(); ++k) {
    ASSERT_LE(std::abs(plain[k] * factor - quieter[k]), 1.0) << k;
  }
  player_controls.gain_db.store(0.0f);
  EXPECT_EQ(render(three_voices(), 20000), plain) << "the defaults touch nothing";
}

TEST_F(ControlsTest, LevelsAndNotesFollowWhatPlays) {
  Song* song = load_bytes(write_module(three_voices()));
  track_song(song, false);
  ASSERT_TRUE(play_song(song));
  render_next_chunk();
  EXPECT_EQ(player_controls.note[0].load(), 49 | 1 << 8);
  EXPECT_EQ(player_controls.note[1].load(), 56 | 1 << 8);
  EXPECT_EQ(player_controls.note[2].load(), 0) << "its note comes in row 2";
  EXPECT_GT(player_controls.level[0].load(), 100);
  EXPECT_EQ(player_controls.level[2].load(), 0);
  EXPECT_EQ(player_controls.tempo.load(), 6);
  EXPECT_EQ(player_controls.bpm.load(), 125);
  set_channel_muted(0, true);
  for (int k = 0; k < 3; ++k) {
    render_next_chunk();
  }
  EXPECT_EQ(player_controls.level[0].load(), 0) << "muted, so not heard";
  forget_tracker(pass_tracker);
  free_song(song);
}

// Four orders of two rows at tempo 2 (1764 frames a row).
TestModule four_orders() {
  TestModule module = one_pattern_module(1, 2, {{{0, 0}, {49, 1, 0, 0, 0}}});
  module.tempo = 2;
  module.song_length = 4;
  module.orders = {0, 0, 0, 0};
  return module;
}

TEST_F(ControlsTest, PassesStartOrdersAndSeeks) {
  Song* song = load_bytes(write_module(four_orders()));
  EXPECT_EQ(measure_pass(song).frames, 4 * 2 * 1764);
  PassPlan plan;
  plan.passes = 3;
  EXPECT_EQ(measure_pass(song, quick_pass_limits, plan).frames, 3 * 4 * 2 * 1764);
  plan.passes = 1;
  plan.start_order = 1;
  std::vector<std::int64_t> clock;
  plan.order_clock = &clock;
  EXPECT_EQ(measure_pass(song, quick_pass_limits, plan).frames, 3 * 2 * 1764);
  ASSERT_EQ(clock.size(), 256u);
  EXPECT_EQ(clock[0], -1) << "not played from order 1 on";
  EXPECT_EQ(clock[1], 0);
  EXPECT_EQ(clock[3], 2 * 2 * 1764);
  plan.rate = 22050;
  EXPECT_EQ(measure_pass(song, quick_pass_limits, plan).frames, 3 * 2 * 882);
  free_song(song);

  // A restart position: the second pass is shorter, and its clock starts
  // where that order began.
  TestModule restarting = four_orders();
  restarting.restart_position = 2;
  song = load_bytes(write_module(restarting));
  plan = PassPlan{};
  plan.passes = 2;
  EXPECT_EQ(measure_pass(song, quick_pass_limits, plan).frames, (4 + 2) * 2 * 1764);
  free_song(song);

  // Seeking while playing: the next tick starts the order, and the pass
  // clock is the order's.
  song = load_bytes(write_module(four_orders()));
  track_song(song, false, pass_tracker, 1);
  ASSERT_TRUE(play_song(song));
  render_next_chunk();
  seek_to_order(pass_tracker, 3, 12345);
  render_next_chunk();
  EXPECT_EQ(song_order(song), 3);
  EXPECT_GE(pass_tracker.pass_clock.load(), 12345);
  EXPECT_LE(pass_tracker.pass_clock.load(), 12345 + 884);
  seek_to_order(pass_tracker, 0, -1);
  for (int k = 0; k < 5; ++k) {
    render_next_chunk();
  }
  EXPECT_GE(song_order(song), 1);
  EXPECT_EQ(pass_tracker.pass_end_frame.load(), -1) << "played from the top again: the pass goes on";
  EXPECT_LT(pass_tracker.pass_clock.load(), 5 * 884) << "order 0's clock, known to the tracker";
  forget_tracker(pass_tracker);
  free_song(song);
}

}  // namespace
