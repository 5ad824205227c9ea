// xmplay: one pass of a song, its offline rendering and its command line,
// and the real songs of the heroes-sound-tracks package played end to end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "cpu/vector_level.h"
#include "music/module_writer.h"
#include "support/shell_run.h"
#include "tools/wav/wav_header.h"
#include "tools/xmplay/player.h"
#include "tools/xmplay/stdio_file.h"

namespace {

// FNV-1a over a stream of blocks.
std::uint64_t hash_bytes(std::uint64_t hash, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t k = 0; k < size; ++k) {
    hash = (hash ^ bytes[k]) * 0x100000001B3ull;
  }
  return hash;
}

const char* const heroes_directory = "/usr/share/games/heroes/mod/";

std::string heroes_path(const std::string& name) {
  const std::string path = heroes_directory + name + ".xm";
  EXPECT_TRUE(std::filesystem::exists(path))
      << path << " is missing: install the Debian package heroes-sound-tracks, which these tests need";
  return path;
}

std::string temporary(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("xmplay_test_" + std::to_string(::getpid()) + "_" + name)).string();
}

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct XmplayTest : ::testing::Test {
  std::int64_t blocks_before = 0;
  void SetUp() override {
    blocks_before = music_blocks_in_use.load();
    use_stdio_files();
    ASSERT_TRUE(open_offline_output(xmplay_rate));
  }
  void TearDown() override {
    close_output();
    EXPECT_EQ(music_blocks_in_use.load(), blocks_before);
  }
};

// A song of two patterns: B jumps from the second back to the first.
TestModule looping_module() {
  TestModule module = one_pattern_module(2, 4, {{{0, 0}, {49, 1, 0, 0, 0}}});
  module.patterns.push_back(module.patterns[0]);
  module.patterns[1].cells[2] = {0, 0, 0, 0x0B, 0};
  module.song_length = 3;
  module.orders = {0, 1, 0};
  module.tempo = 2;
  return module;
}

TEST_F(XmplayTest, OnePassEndsAtTheWrapOrAtAJumpBack) {
  // Four rows of two ticks of 882 frames: the wrap comes after 8 ticks.
  TestModule module = one_pattern_module(2, 4, {});
  module.tempo = 2;
  Song* song = load_bytes(write_module(module));
  EXPECT_EQ(measure_pass(song).frames, 8 * 882);
  free_song(song);
  // Orders 0 and 1, then B00 in row 1 of order 1: back to order 0.
  song = load_bytes(write_module(looping_module()));
  EXPECT_EQ(measure_pass(song).frames, 6 * 2 * 882);
  free_song(song);
  // A pattern that jumps to itself ends after 64 entries of its row.
  module.patterns[0].cells[0] = {0, 0, 0, 0x0B, 0};
  module.song_length = 1;
  song = load_bytes(write_module(module));
  EXPECT_EQ(measure_pass(song).frames, 64 * 2 * 882);
  EXPECT_TRUE(measure_pass(song).complete);
  free_song(song);
}

// A pass longer than the limits is given up at them: at the song time, or
// at the work, whichever comes first, and the song is left as it was.
TEST_F(XmplayTest, AMeasurementGivesUpAtItsLimits) {
  // One row of 32767 ticks of 882 frames in each of 256 orders.
  TestModule module = one_pattern_module(2, 1, {});
  module.tempo = 32767;
  module.song_length = 256;
  module.orders.assign(256, 0);
  Song* song = load_bytes(write_module(module));
  PassLength length = measure_pass(song, {100 * 882, std::int64_t{1} << 30});
  EXPECT_FALSE(length.complete);
  EXPECT_EQ(length.frames, 100 * 882);
  length = measure_pass(song, {std::int64_t{1} << 40, 2 * 50});
  EXPECT_FALSE(length.complete);
  EXPECT_EQ(length.frames, 51 * 882) << "51 ticks of two channels";
  std::atomic<bool> stop{true};
  length = measure_pass(song, {std::int64_t{1} << 40, std::int64_t{1} << 40, &stop});
  EXPECT_FALSE(length.complete);
  EXPECT_EQ(song->output, nullptr) << "stopped";
  EXPECT_EQ(song->tick_handler, &song_tick);
  free_song(song);
}

// Measuring a song that rewrites its finetunes (E5) and slides the global
// volume leaves it as loading left it: rendering it then gives what a fresh
// copy gives.
TEST_F(XmplayTest, MeasuringLeavesTheSongAsItWas) {
  TestModule module = one_pattern_module(
      2, 8, {{{0, 0}, {49, 1, 0, 0x0E, 0x57}}, {{1, 1}, {0, 0, 0, 0x11, 0x05}}, {{4, 0}, {49, 1, 0, 0x09, 0x01}}});
  module.instruments[0].samples[0].finetune = -40;
  const std::vector<std::uint8_t> bytes = write_module(module);
  Song* measured = load_bytes(bytes);
  const std::int64_t frames = measure_pass(measured).frames;
  EXPECT_EQ(measured->instruments[0].samples[0]->finetune, -40);
  EXPECT_EQ(measured->global_volume_slide, 0);
  Song* fresh = load_bytes(bytes);
  std::uint64_t hashes[2] = {};
  Song* songs[2] = {measured, fresh};
  for (int k = 0; k < 2; ++k) {
    ASSERT_TRUE(open_offline_output(xmplay_rate));
    ASSERT_TRUE(play_song(songs[k]));
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::int64_t done = 0; done < frames; done += current_output->chunk_frames) {
      hash = hash_bytes(hash, render_next_chunk(), 4 * static_cast<std::size_t>(current_output->chunk_frames));
    }
    hashes[k] = hash;
    stop_song(songs[k]);
  }
  EXPECT_EQ(hashes[0], hashes[1]);
  free_song(measured);
  free_song(fresh);
}

TEST_F(XmplayTest, RendersAWavFileAndATimeline) {
  Song* song = load_bytes(write_module(looping_module()));
  RenderRequest request;
  request.wav_path = temporary("pass.wav");
  request.timeline_path = temporary("pass.tsv");
  std::string error;
  std::int64_t frames = 0;
  ASSERT_TRUE(render_wav(song, request, error, &frames)) << error;
  free_song(song);
  EXPECT_EQ(frames, 6 * 2 * 882);
  const std::vector<std::uint8_t> wav = read_file(request.wav_path);
  ASSERT_EQ(wav.size(), 44 + 4 * static_cast<std::size_t>(frames));
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(wav[22], 2);                     // channels
  EXPECT_EQ(wav[24] | wav[25] << 8, 44100);  // rate
  EXPECT_EQ(wav[34], 16);                    // bits
  const std::uint32_t data_bytes = wav[40] | wav[41] << 8 | wav[42] << 16 | static_cast<std::uint32_t>(wav[43]) << 24;
  EXPECT_EQ(data_bytes, 4 * frames);

  // The same frames as the output's chunks give, chunk by chunk, on fresh
  // voices (their gains live on from song to song).
  ASSERT_TRUE(open_offline_output(xmplay_rate));
  song = load_bytes(write_module(looping_module()));
  ASSERT_TRUE(play_song(song));
  std::vector<std::int16_t> expected;
  while (expected.size() < 2 * static_cast<std::size_t>(frames)) {
    const std::int16_t* chunk = render_next_chunk();
    expected.insert(expected.end(), chunk, chunk + 2 * current_output->chunk_frames);
  }
  free_song(song);
  EXPECT_EQ(std::memcmp(wav.data() + 44, expected.data(), 4 * static_cast<std::size_t>(frames)), 0);

  std::ifstream timeline(request.timeline_path);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(timeline, line)) {
    lines.push_back(line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"frame\torder\trow", "0\t0\t0", "1764\t0\t1", "3528\t0\t2", "5292\t0\t3",
                                             "7056\t1\t0", "8820\t1\t1"}));
  std::filesystem::remove(request.wav_path);
  std::filesystem::remove(request.timeline_path);
}

TEST_F(XmplayTest, SecondsCutOrExtendThePass) {
  Song* song = load_bytes(write_module(looping_module()));
  RenderRequest request;
  request.wav_path = temporary("cut.wav");
  request.seconds = 0.5;
  std::string error;
  std::int64_t frames = 0;
  ASSERT_TRUE(render_wav(song, request, error, &frames)) << error;
  free_song(song);
  EXPECT_EQ(frames, 22050);
  EXPECT_EQ(std::filesystem::file_size(request.wav_path), 44u + 4 * 22050);
  std::filesystem::remove(request.wav_path);
  request.wav_path = "/nonexistent-directory/out.wav";
  song = load_bytes(write_module(looping_module()));
  EXPECT_FALSE(render_wav(song, request, error));
  EXPECT_NE(error.find("cannot write"), std::string::npos);
  free_song(song);
}

// The WAV header of xmplay and the capture. Up to 4 GB of sound it is
// plain RIFF; beyond, RF64 with the sizes in its ds64 chunk; a stream of
// unknown length has all-ones sizes.
TEST(XmplayWav, HeadersForPlainLargeAndEndlessFiles) {
  const auto u32 = [](const std::vector<std::uint8_t>& h, std::size_t at) {
    return static_cast<std::uint32_t>(h[at] | h[at + 1] << 8 | h[at + 2] << 16) | static_cast<std::uint32_t>(h[at + 3])
                                                                                      << 24;
  };
  const auto u64 = [&](const std::vector<std::uint8_t>& h, std::size_t at) {
    return u32(h, at) | static_cast<std::uint64_t>(u32(h, at + 4)) << 32;
  };
  const std::int64_t largest_plain = (0xFFFFFFFFll - 36) / 4;
  std::vector<std::uint8_t> header = wav_header(largest_plain, 44100);
  ASSERT_EQ(header.size(), 44u);
  EXPECT_EQ(std::string(header.begin(), header.begin() + 4), "RIFF");
  EXPECT_EQ(u32(header, 4), 36 + 4 * largest_plain);
  EXPECT_EQ(u32(header, 40), 4 * largest_plain);

  const std::int64_t frames = 24ll * 3600 * 44100;  // a day: 15 GB
  EXPECT_EQ(wav_header(largest_plain + 1, 44100).size(), 80u);
  header = wav_header(frames, 44100);
  ASSERT_EQ(header.size(), 80u);
  EXPECT_EQ(std::string(header.begin(), header.begin() + 4), "RF64");
  EXPECT_EQ(u32(header, 4), 0xFFFFFFFFu);
  EXPECT_EQ(std::string(header.begin() + 8, header.begin() + 16), "WAVEds64");
  EXPECT_EQ(u32(header, 16), 28u);
  EXPECT_EQ(u64(header, 20), 72 + 4 * static_cast<std::uint64_t>(frames));
  EXPECT_EQ(u64(header, 28), 4 * static_cast<std::uint64_t>(frames));
  EXPECT_EQ(u64(header, 36), static_cast<std::uint64_t>(frames));
  EXPECT_EQ(u32(header, 44), 0u);
  EXPECT_EQ(std::string(header.begin() + 48, header.begin() + 52), "fmt ");
  EXPECT_EQ(u32(header, 56 + 4), 44100u);
  EXPECT_EQ(std::string(header.begin() + 72, header.begin() + 76), "data");
  EXPECT_EQ(u32(header, 76), 0xFFFFFFFFu);

  header = wav_header(-1, 22050);
  ASSERT_EQ(header.size(), 44u);
  EXPECT_EQ(std::string(header.begin(), header.begin() + 4), "RIFF");
  EXPECT_EQ(u32(header, 4), 0xFFFFFFFFu);
  EXPECT_EQ(u32(header, 24), 22050u);
  EXPECT_EQ(u32(header, 28), 4 * 22050u);
  EXPECT_EQ(u32(header, 40), 0xFFFFFFFFu);
  header = wav_header(0, 8000);
  EXPECT_EQ(u32(header, 4), 36u);
  EXPECT_EQ(u32(header, 24), 8000u);
  EXPECT_EQ(u32(header, 40), 0u);
}

// A song whose pass runs for days (BPM 1) is refused before any file is
// begun; a render stopped half way leaves neither its file nor a partial
// one, and a file it would have replaced stays as it was.
TEST_F(XmplayTest, ARenderThatCannotFinishLeavesNoFile) {
  TestModule module = one_pattern_module(2, 64, {});
  module.bpm = 1;
  module.song_length = 256;
  module.orders.assign(256, 0);
  Song* song = load_bytes(write_module(module));
  RenderRequest request;
  request.wav_path = temporary("days.wav");
  std::string error;
  EXPECT_FALSE(render_wav(song, request, error));
  EXPECT_EQ(error, "one pass of the song is longer than 24:00:00: give --seconds to render a part of it");
  EXPECT_FALSE(std::filesystem::exists(request.wav_path));
  free_song(song);

  write_file(request.wav_path, {1, 2, 3});
  song = load_bytes(write_module(looping_module()));
  std::atomic<bool> stop{true};
  request.seconds = 5.0;
  EXPECT_FALSE(render_wav(song, request, error, nullptr, &stop));
  EXPECT_EQ(error, "interrupted");
  EXPECT_EQ(read_file(request.wav_path), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_FALSE(std::filesystem::exists(request.wav_path + ".partial"));
  std::filesystem::remove(request.wav_path);
  free_song(song);
}

TEST_F(XmplayTest, ModuleNames) {
  TestModule module = looping_module();
  module.name = "  Tune  ";
  const std::string path = temporary("named.xm");
  write_file(path, write_module(module));
  EXPECT_EQ(module_name(path), "  Tune");
  EXPECT_EQ(module_name("/nonexistent.xm"), "");
  std::filesystem::remove(path);
}

// Each real song: one pass lasts as long as the table says on every run,
// and renders end to end; for four of them (two on each frequency table)
// the vector loops must give the plain loops' samples.
TEST_F(XmplayTest, TheHeroesSongsPlayEndToEnd) {
  const std::map<std::string, std::int64_t> pass_frames = {
      {"endscroll", 6566912}, {"heroes01", 7294560}, {"heroes02", 8229504}, {"heroes03", 4377600},
      {"heroes04", 5796864},  {"heroes05", 8890560}, {"heroes06", 7587840}, {"heroes07", 7637760},
      {"heroes08", 4454400},  {"heroes09", 4835328}, {"heroes10", 5741952}, {"intro", 990833},
      {"menu", 4700160}};
  const VectorLevel vector_loops = vector_level();
  for (const auto& [name, frames] : pass_frames) {
    const std::string path = heroes_path(name);
    Song* song = load_song(path.c_str());
    ASSERT_NE(song, nullptr) << name << ": " << load_result_text(last_load_result);
    EXPECT_EQ(measure_pass(song).frames, frames) << name;
    free_song(song);

    const bool compare = name == "heroes02" || name == "heroes05" || name == "heroes09" || name == "intro";
    std::uint64_t hashes[2] = {};
    for (int plain = 0; plain < (compare ? 2 : 1); ++plain) {
      use_vector_level(plain == 0 ? vector_loops : vector_plain);
      ASSERT_TRUE(open_offline_output(xmplay_rate));
      song = load_song(path.c_str());
      track_song(song, false);
      ASSERT_TRUE(play_song(song));
      std::uint64_t hash = 0xCBF29CE484222325ull;
      std::int64_t rendered = 0;
      bool sound = false;
      while (pass_tracker.pass_end_frame.load() < 0 || rendered < pass_tracker.pass_end_frame.load()) {
        const std::int16_t* chunk = render_next_chunk();
        hash = hash_bytes(hash, chunk, 4 * static_cast<std::size_t>(current_output->chunk_frames));
        sound = sound ||
                std::any_of(chunk, chunk + 2 * current_output->chunk_frames, [](std::int16_t v) { return v != 0; });
        rendered += current_output->chunk_frames;
      }
      EXPECT_EQ(pass_tracker.pass_end_frame.load(), frames) << name;
      EXPECT_TRUE(sound) << name;
      hashes[plain] = hash;
      free_song(song);
    }
    if (compare) {
      EXPECT_EQ(hashes[0], hashes[1]) << name << ": the vector loops differ from the plain ones";
    }
  }
  use_vector_level(vector_loops);
}

// The song that uses every effect: it plays its whole pass, with sound on
// all twelve channels, and the vector loops agree with the plain ones.
TEST_F(XmplayTest, TheEveryEffectSongPlaysEndToEnd) {
  const std::vector<std::uint8_t> bytes = write_module(every_effect_song());
  Song* song = load_bytes(bytes);
  ASSERT_NE(song, nullptr);
  const std::int64_t frames = measure_pass(song).frames;
  free_song(song);
  EXPECT_GT(frames, 60 * xmplay_rate);
  const VectorLevel vector_loops = vector_level();
  std::uint64_t hashes[2] = {};
  for (int plain = 0; plain < 2; ++plain) {
    use_vector_level(plain == 0 ? vector_loops : vector_plain);
    ASSERT_TRUE(open_offline_output(xmplay_rate));
    song = load_bytes(bytes);
    track_song(song, false);
    ASSERT_TRUE(play_song(song));
    std::uint64_t hash = 0xCBF29CE484222325ull;
    bool channel_heard[12] = {};
    for (std::int64_t rendered = 0; rendered < frames; rendered += current_output->chunk_frames) {
      const std::int16_t* chunk = render_next_chunk();
      hash = hash_bytes(hash, chunk, 4 * static_cast<std::size_t>(current_output->chunk_frames));
      for (int c = 0; c < 12; ++c) {
        channel_heard[c] = channel_heard[c] || (current_output->voice_table[c].sample != nullptr &&
                                                current_output->voice_table[c].volume > 0);
      }
    }
    EXPECT_EQ(pass_tracker.pass_end_frame.load(), frames);
    for (int c = 0; c < 12; ++c) {
      EXPECT_TRUE(channel_heard[c]) << c;
    }
    hashes[plain] = hash;
    free_song(song);
  }
  use_vector_level(vector_loops);
  EXPECT_EQ(hashes[0], hashes[1]);
}

#ifdef XMPLAY_PATH
using CommandRun = ShellRun;

CommandRun run_xmplay(const std::string& arguments, const char* environment = "") {
  return run_shell(std::string(environment) + " " XMPLAY_PATH " " + arguments + " 2>&1 </dev/null");
}

TEST(XmplayCommand, ReportsFilesItCannotPlayInOneLine) {
  const std::string missing = temporary("missing.xm");
  const std::string text = temporary("text.xm");
  const std::string truncated = temporary("truncated.xm");
  write_file(text, std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
  std::vector<std::uint8_t> bytes = write_module(looping_module());
  bytes.resize(300);  // inside the module header
  write_file(truncated, bytes);
  const std::pair<std::string, std::string> cases[] = {{missing, "cannot open the file"},
                                                       {text, "not an Extended Module (XM) file"},
                                                       {truncated, "the module header is cut short"}};
  for (const auto& [path, reason] : cases) {
    for (const std::string& mode : {std::string(""), std::string("--info "), "--wav " + temporary("x.wav") + " "}) {
      const CommandRun run = run_xmplay(mode + path);
      EXPECT_EQ(run.code, 1) << mode << path;
      EXPECT_EQ(run.output, "xmplay: " + path + ": " + reason + "\n") << mode;
    }
  }
  EXPECT_EQ(run_xmplay("").code, 2);
  EXPECT_EQ(run_xmplay("--wav").code, 2);
  EXPECT_EQ(run_xmplay("--timeline t.tsv " + text).code, 2);
  EXPECT_EQ(run_xmplay("--wav o.wav --seconds x " + text).code, 2);
  std::filesystem::remove(text);
  std::filesystem::remove(truncated);
  std::filesystem::remove(temporary("x.wav"));
}

TEST(XmplayCommand, InfoShowsTheFiguresAndThePassLength) {
  const std::string path = temporary("info.xm");
  TestModule module = looping_module();
  module.name = "Info test";
  write_file(path, write_module(module));
  const CommandRun run = run_xmplay("--info " + path);
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.output,
            "name         Info test\n"
            "channels     2\n"
            "orders       3\n"
            "patterns     2\n"
            "instruments  1\n"
            "samples      1\n"
            "tempo        2\n"
            "bpm          125\n"
            "frequencies  linear\n"
            "length       0.240 s (10584 frames)\n");
  std::filesystem::remove(path);
}

// A module cut short in its sample data plays, and xmplay says on standard
// error what was missing; its figures and length are those of the whole.
TEST(XmplayCommand, TruncatedFilesPlayAndSayWhatIsMissing) {
  const std::string path = temporary("cut.xm");
  TestModule module = looping_module();
  module.name = "Cut";
  std::vector<std::uint8_t> bytes = write_module(module);
  bytes.resize(bytes.size() - 100);
  write_file(path, bytes);
  const CommandRun run = run_xmplay("--info " + path);
  EXPECT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(run.output.rfind("xmplay: " + path +
                                 ": the file ends early; missing, and played as silence: 1 sample (100 frames)\n"
                                 "name         Cut\n",
                             0),
            0u)
      << run.output;
  EXPECT_NE(run.output.find("length       0.240 s (10584 frames)\n"), std::string::npos) << run.output;
  const std::string wav = temporary("cut.wav");
  EXPECT_EQ(run_xmplay("--wav " + wav + " " + path).code, 0);
  EXPECT_EQ(std::filesystem::file_size(wav), 44u + 4 * 10584);
  std::filesystem::remove(wav);
  std::filesystem::remove(path);
}

// "-" and a path that cannot seek read the module through a pipe, whole,
// before loading it.
TEST(XmplayCommand, ReadsAModuleFromAPipe) {
  const std::string path = temporary("piped.xm");
  TestModule module = looping_module();
  module.name = "Piped";
  write_file(path, write_module(module));
  const CommandRun from_file = run_xmplay("--info " + path);
  ASSERT_EQ(from_file.code, 0);
  for (const std::string& name : {std::string("-"), std::string("/dev/stdin")}) {
    const std::string command = "cat " + path + " | " XMPLAY_PATH " --info " + name + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
      output.append(buffer, got);
    }
    EXPECT_EQ(WEXITSTATUS(::pclose(pipe)), 0) << name;
    EXPECT_EQ(output, from_file.output) << name;
  }
  const std::string wav = temporary("piped.wav");
  const std::string command = "cat " + path + " | " XMPLAY_PATH " --wav " + wav + " - 2>&1";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 0);
  EXPECT_EQ(std::filesystem::file_size(wav), 44u + 4 * 10584);
  std::filesystem::remove(wav);
  std::filesystem::remove(path);
}

// Runs xmplay with the arguments until it exits; when its standard output
// holds the text, notes the time and, with interrupt, stops it with
// Ctrl-C. Gives that time, the output, and the peak memory of the process.
struct WatchedRun {
  double seconds_to_text = -1.0;  // -1: the text never came
  std::string output;
  long peak_kilobytes = 0;
  int code = -1;
};

WatchedRun watch_xmplay(const std::vector<std::string>& arguments, const std::string& text, bool interrupt) {
  int out[2];
  EXPECT_EQ(::pipe(out), 0);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ::dup2(out[1], 1);
    const int quiet = ::open("/dev/null", O_RDWR);
    ::dup2(quiet, 0);
    ::dup2(quiet, 2);
    std::vector<char*> argv = {const_cast<char*>("xmplay")};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(XMPLAY_PATH, argv.data());
    std::_Exit(127);
  }
  ::close(out[1]);
  WatchedRun run;
  char buffer[4096];
  ssize_t got = 0;
  bool stopped = false;
  while ((got = ::read(out[0], buffer, sizeof buffer)) > 0) {
    run.output.append(buffer, static_cast<std::size_t>(got));
    if (!stopped && run.output.find(text) != std::string::npos) {
      run.seconds_to_text = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (interrupt) {
        ::kill(child, SIGINT);
      }
      stopped = true;
    }
  }
  ::close(out[0]);
  int status = 0;
  rusage usage = {};
  ::wait4(child, &status, 0, &usage);
  run.peak_kilobytes = usage.ru_maxrss;
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The hostile shapes: 256 orders of one 65535-row pattern at tempo 32767
// (345 bytes), the same at tempo 31 and BPM 32, 256 orders at BPM 1, and 12
// stored patterns of 65535 rows of 256 channels without data (444 bytes).
// --info gives its figures and a length measured no further than its
// limits; plain play starts at once and shows its progress, its length
// measured beside it. All of it in bounded memory. (On one machine: playing
// shows its first line within 0.1 s, --info its figures at once and its
// length within 0.7 s, all under 10 MB.)
TEST(XmplayCommand, HostileFilesStartAtOnceInBoundedMemory) {
  struct Shape {
    const char* name;
    std::uint16_t channels, tempo, bpm, song_length, stored;
    const char* length;
  };
  const Shape shapes[] = {{"tempo", 2, 32767, 125, 256, 1, "longer than 2:00:00"},
                          {"tempo31", 2, 31, 32, 256, 1, "longer than 2:00:00"},
                          {"bpm1", 2, 6, 1, 256, 1, "longer than 2:00:00"},
                          {"wide", 256, 6, 125, 1, 12, "longer than 21:50.7"}};
  for (const Shape& shape : shapes) {
    TestModule module = one_pattern_module(shape.channels, 1, {});
    module.patterns[0].rows = 0xFFFF;
    module.patterns[0].raw_data = std::vector<std::uint8_t>{};
    module.patterns.resize(shape.stored, module.patterns[0]);
    module.instruments.clear();
    module.tempo = shape.tempo;
    module.bpm = shape.bpm;
    module.song_length = shape.song_length;
    module.orders.assign(shape.song_length, 0);
    const std::vector<std::uint8_t> bytes = write_module(module);
    const std::string path = temporary(std::string(shape.name) + ".xm");
    write_file(path, bytes);
    if (shape.channels == 2) {
      EXPECT_EQ(bytes.size(), 345u) << shape.name;
    } else {
      EXPECT_EQ(bytes.size(), 444u) << shape.name;
    }
    const WatchedRun info = watch_xmplay({"--info", path}, "\nlength ", false);
    EXPECT_EQ(info.code, 0) << shape.name;
    EXPECT_NE(info.output.find(std::string("length       ") + shape.length + "\n"), std::string::npos)
        << shape.name << ": " << info.output;
    const WatchedRun play = watch_xmplay({path}, "[1/1] ", true);
    EXPECT_EQ(play.code, 0) << shape.name;
    EXPECT_GE(play.seconds_to_text, 0.0) << shape.name << ": " << play.output;
    // Bounds that unbounded work or memory would break by far; the figures
    // themselves are printed.
    EXPECT_LT(info.seconds_to_text, 30.0) << shape.name;
    EXPECT_LT(play.seconds_to_text, 30.0) << shape.name;
    EXPECT_LT(info.peak_kilobytes, 100 * 1024) << shape.name;
    EXPECT_LT(play.peak_kilobytes, 100 * 1024) << shape.name;
    std::printf("%-8s --info: %.3f s, %ld KB; playing: %.3f s to the first line, %ld KB\n", shape.name,
                info.seconds_to_text, info.peak_kilobytes, play.seconds_to_text, play.peak_kilobytes);
    std::filesystem::remove(path);
  }
}

// Live play on the SDL backend; without a sound card it plays on the
// silent real-time device. One pass of this song lasts 0.24 s.
TEST(XmplayCommand, PlaysOnePassThroughTheOutputAndStops) {
  const std::string path = temporary("live.xm");
  TestModule module = looping_module();
  module.name = "Live test";
  write_file(path, write_module(module));
  const auto start = std::chrono::steady_clock::now();
  const CommandRun run = run_xmplay(path, "SDL_AUDIODRIVER=dummy");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.code, 0) << run.output;
  // With its output no terminal, one plain line for the file.
  EXPECT_EQ(run.output, "[1/1] Live test (" + path + ")\n");
  EXPECT_GT(seconds, 0.24);
  EXPECT_LT(seconds, 10.0);
  std::filesystem::remove(path);
}

TEST(XmplayCommand, StopsCleanlyOnCtrlC) {
  const std::string path = temporary("interrupted.xm");
  write_file(path, write_module(looping_module()));
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, 1);
    ::execl(XMPLAY_PATH, "xmplay", "--loop", path.c_str(), static_cast<char*>(nullptr));
    std::_Exit(127);
  }
  ASSERT_GT(child, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0) << "--loop plays on";
  ::kill(child, SIGINT);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::filesystem::remove(path);
}
#endif

}  // namespace
