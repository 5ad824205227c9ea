// The whole show, headless at 60 frames per second from the start until the
// song is back at its start: every frame's song position and hash and a hash
// of all the sound, compared with the committed record of the run. Any
// change to what a viewer sees or hears shows up here; when it is meant,
// regenerate the record with VORNA_UPDATE_GOLDEN=1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "music/music.h"
#include "support/child_run.h"
#include "tools/capture/fnv1a.h"

namespace {

std::string golden_path() {
  const char* source = std::getenv("VORNA_SOURCE_DIR");
  return std::string(source != nullptr ? source : ".") + "/tests/demo/golden/whole_run.tsv";
}

// The record of a run, as lines: "frame<TAB>position<TAB>frame hash", one
// per frame (as vorna-capture --log writes them), then "sound<TAB>frames<TAB>hash".
std::vector<std::string> record_whole_run() {
  static std::uint64_t sound_hash = 0xCBF29CE484222325ull;
  static std::uint64_t sound_frames = 0;
  static std::uint16_t last_position = 0;
  HeadlessScript script;
  script.frames_per_second = 60;
  script.audio_sink = [](const std::int16_t* samples, std::uint32_t frames) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(samples);
    for (std::uint32_t i = 0; i < frames * 4; ++i) {
      sound_hash = (sound_hash ^ bytes[i]) * 0x100000001B3ull;
    }
    sound_frames += frames;
  };
  ChildRun run = run_demo_in_child(script, [](const std::uint16_t* pixels, std::uint32_t frame) {
    const std::uint16_t position = song_position();
    // Back at the start after the last order: Escape ends the show.
    if (demo_song != nullptr && demo_song->wrapped.load() != 0 && position < last_position) {
      headless_hold_escape(true);
    }
    last_position = position;
    char line[64];
    std::snprintf(line, sizeof(line), "%u\t%04x\t%016llx", frame, static_cast<unsigned>(position),
                  static_cast<unsigned long long>(fnv1a64(pixels, 128000)));
    // The sound heard so far rides along; the last frame's is the total.
    char sound[64];
    std::snprintf(sound, sizeof(sound), "\tsound %llu %016llx", static_cast<unsigned long long>(sound_frames),
                  static_cast<unsigned long long>(sound_hash));
    return std::string(line) + sound;
  });
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
  std::vector<std::string> record;
  for (std::size_t i = 0; i < run.frames.size(); ++i) {
    const std::string& line = run.frames[i];
    const std::size_t sound = line.find("\tsound ");
    record.push_back(line.substr(0, sound));
    if (i + 1 == run.frames.size()) {
      std::string total = line.substr(sound + 7);
      record.push_back("sound\t" + total.substr(0, total.find(' ')) + "\t" + total.substr(total.find(' ') + 1));
    }
  }
  return record;
}

TEST(WholeRun, SeesAndHearsExactlyWhatTheRecordSays) {
  std::vector<std::string> record = record_whole_run();
  ASSERT_GT(record.size(), 9000u) << "the show should last its song's 2 1/2 minutes";
  if (std::getenv("VORNA_UPDATE_GOLDEN") != nullptr) {
    std::ofstream out(golden_path());
    for (const std::string& line : record) {
      out << line << "\n";
    }
    ASSERT_TRUE(out.good()) << "cannot write " << golden_path();
    GTEST_SKIP() << "wrote " << golden_path();
  }
  std::ifstream in(golden_path());
  ASSERT_TRUE(in.good()) << "no record at " << golden_path() << " (VORNA_UPDATE_GOLDEN=1 writes it)";
  std::vector<std::string> golden;
  for (std::string line; std::getline(in, line);) {
    golden.push_back(line);
  }
  ASSERT_EQ(record.size(), golden.size());
  for (std::size_t i = 0; i < record.size(); ++i) {
    ASSERT_EQ(record[i], golden[i]) << "line " << i + 1 << " of " << golden_path();
  }
}

}  // namespace
