// The seed corpus of the fuzz targets: small modules that reach every part
// of the loader, valid and not. The test checks that each loads or fails as
// intended and, when VORNA_FUZZ_SEEDS names a directory, writes them there
// (tests/fuzz/run.sh does that). And every input that ever made a fuzz
// target fail, kept in tests/fuzz/regressions, runs through both targets'
// bodies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/fuzz_bodies.h"
#include "music/module_writer.h"

namespace {

struct Seed {
  std::string name;
  std::vector<std::uint8_t> bytes;
  bool loads;
};

std::vector<Seed> seeds() {
  std::vector<Seed> out;
  TestModule base = one_pattern_module(4, 16,
                                       {{{0, 0}, {49, 1, 0x40, 0x0C, 0x20}},
                                        {{1, 1}, {97, 0, 0, 0x14, 0}},
                                        {{2, 2}, {12, 130, 0x65, 0x0A, 0x0F}},
                                        {{3, 3}, {0, 0, 0, 0x0E, 0x63}}});
  out.push_back({"base", write_module(base), true});

  TestModule plain = base;
  plain.patterns[0].packing = XmPacking::plain;
  plain.flags = 0;
  out.push_back({"plain_cells_amiga", write_module(plain), true});

  TestModule samples = base;
  TestInstrument& instrument = samples.instruments[0];
  instrument.volume_envelope = {{0, 64}, {4, 0}, {10, 32}};
  instrument.panning_envelope = {{0, 0}, {8, 64}};
  instrument.volume_type = 7;
  instrument.panning_type = 3;
  instrument.volume_loop_end = 2;
  instrument.fadeout = 300;
  instrument.vibrato_depth = 8;
  instrument.vibrato_rate = 4;
  TestSample sixteen;
  sixteen.sixteen_bit = true;
  sixteen.data = delta_16bit({0, 3000, -3000, 12000, -12000, 0, 5, 7});
  sixteen.loop = 2;
  sixteen.loop_start = 4;
  sixteen.loop_length = 8;
  instrument.samples.push_back(sixteen);
  instrument.keymap[60] = 1;
  samples.instruments.push_back(TestInstrument{});
  out.push_back({"samples_and_envelopes", write_module(samples), true});

  TestModule orders = base;
  orders.song_length = 5;
  orders.orders = {0, 3, 1, 0, 2};
  orders.restart_position = 2;
  out.push_back({"missing_patterns", write_module(orders), true});

  TestModule crowded = base;
  crowded.instruments[0].samples.resize(17, crowded.instruments[0].samples[0]);
  out.push_back({"seventeen_samples", write_module(crowded), false});

  std::vector<std::uint8_t> cut = write_module(samples);
  cut.resize(cut.size() - 5);
  out.push_back({"truncated", cut, true});  // loads as far as it goes
  std::vector<std::uint8_t> short_header = write_module(base);
  short_header.resize(300);
  out.push_back({"header_cut_short", short_header, false});

  TestModule wide = one_pattern_module(32, 64, {});
  for (int c = 0; c < 32; ++c) {
    wide.patterns[0].cells[static_cast<std::size_t>(c) * 33 % wide.patterns[0].cells.size()] = {
        static_cast<std::uint8_t>(1 + c * 3), 1, static_cast<std::uint8_t>(0x10 + c), static_cast<std::uint8_t>(c % 36),
        static_cast<std::uint8_t>(c * 7)};
  }
  out.push_back({"thirty_two_channels", write_module(wide), true});
  out.push_back({"every_effect", write_module(every_effect_song()), true});
  return out;
}

TEST(FuzzSeeds, EverySeedLoadsOrFailsAsIntended) {
  const char* directory = std::getenv("VORNA_FUZZ_SEEDS");
  for (const Seed& seed : seeds()) {
    Song* song = load_bytes(seed.bytes);
    EXPECT_EQ(song != nullptr, seed.loads) << seed.name << ": " << load_result_text(last_load_result);
    free_song(song);
    if (directory != nullptr) {
      const std::string path = std::string(directory) + "/" + seed.name + ".xm";
      std::ofstream file(path, std::ios::binary);
      file.write(reinterpret_cast<const char*>(seed.bytes.data()), static_cast<std::streamsize>(seed.bytes.size()));
      EXPECT_TRUE(file.good()) << "cannot write " << path;
    }
  }
}

TEST(FuzzRegressions, EveryKeptInputRunsThroughBothTargets) {
  const char* source = std::getenv("VORNA_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const std::filesystem::path directory = std::filesystem::path(source) / "tests/fuzz/regressions";
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().filename().string());
    fuzz_load_and_render(bytes.data(), bytes.size());
    fuzz_play_in_odd_buffers(bytes.data(), bytes.size());
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
