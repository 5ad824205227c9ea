// The module writer: packed cells, delta-coded sample data, and the byte
// layout of headers, checked against the format as documented.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/song/xm_writer.h"

namespace {

std::uint32_t read16(const std::vector<std::uint8_t>& d, std::size_t at) { return d[at] | (d[at + 1] << 8); }
std::uint32_t read32(const std::vector<std::uint8_t>& d, std::size_t at) {
  return read16(d, at) | (read16(d, at + 2) << 16);
}

// Unpacks cells the way the format describes it, independently of the writer.
std::vector<XmCell> unpack(const std::vector<std::uint8_t>& packed, std::size_t count, std::size_t& used) {
  std::vector<XmCell> cells;
  std::size_t at = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t f[5] = {};
    const std::uint8_t b = packed.at(at++);
    if (b & 0x80) {
      for (int k = 0; k < 5; ++k)
        if (b & (1 << k)) f[k] = packed.at(at++);
    } else {
      f[0] = b;
      for (int k = 1; k < 5; ++k) f[k] = packed.at(at++);
    }
    cells.push_back({f[0], f[1], f[2], f[3], f[4]});
  }
  used = at;
  return cells;
}

XmModule small_module() {
  XmModule module;
  module.name = "test";
  module.tracker_name = "tracker";
  module.channel_count = 2;
  module.tempo = 5;
  module.bpm = 140;
  module.restart_position = 1;
  module.orders = {1, 0, 1};
  XmPattern a;
  a.rows = 2;
  a.cells.assign(4, XmCell{});
  a.cells[1] = {49, 1, 0x50, 0x0A, 0x0F};
  XmPattern b;
  b.rows = 1;
  b.cells.assign(2, XmCell{});
  module.patterns = {a, b};
  XmInstrument empty;
  empty.name = "label";
  XmInstrument one;
  one.name = "one";
  XmSample s;
  s.name = "s";
  s.frames = {256, 512, 256, -256};
  s.sixteen_bit = false;
  s.loop = XmLoop::ping_pong;
  s.loop_start = 1;
  s.loop_length = 2;
  s.volume = 40;
  s.finetune = -16;
  s.panning = 200;
  s.relative_note = -12;
  one.samples = {s};
  one.volume_envelope.points = {{0, 64}, {10, 0}};
  one.volume_envelope.type = envelope_on | envelope_sustain;
  one.fadeout = 261;
  one.vibrato_depth = 7;
  module.instruments = {empty, one};
  return module;
}

}  // namespace

TEST(PackPattern, ChoosesThePlainOrTheMaskedFormPerCell) {
  XmPattern pattern;
  pattern.rows = 1;
  pattern.cells = {XmCell{}, {25, 16, 0, 0, 0}, {97, 2, 0x40, 0x14, 0x00}, {1, 2, 3, 4, 5}};
  const std::vector<std::uint8_t> packed = pack_pattern(pattern, 4);
  const std::vector<std::uint8_t> expected = {0x80, 0x83, 25, 16, 0x8F, 97, 2, 0x40, 0x14, 1, 2, 3, 4, 5};
  EXPECT_EQ(packed, expected);
  std::size_t used = 0;
  EXPECT_EQ(unpack(packed, 4, used), pattern.cells);
  EXPECT_EQ(used, packed.size());
}

TEST(PackPattern, AnAllEmptyPatternPacksToNothing) {
  XmPattern pattern;
  pattern.rows = 64;
  pattern.cells.assign(64 * 12, XmCell{});
  EXPECT_TRUE(pack_pattern(pattern, 12).empty());
  pattern.cells[767].parameter = 1;  // one parameter byte in the last cell
  const std::vector<std::uint8_t> packed = pack_pattern(pattern, 12);
  EXPECT_EQ(packed.size(), 767u + 2u);
  EXPECT_EQ(packed[767], 0x90);
}

TEST(SampleData, EightBitFramesAreNarrowedAndDeltaCoded) {
  XmSample sample;
  sample.sixteen_bit = false;
  sample.frames = {256, 512, 256, -32768, 32767, 127, 128};
  const std::vector<std::uint8_t> expected = {
      1, 1, 0xFF, static_cast<std::uint8_t>(-128 - 1), 255, static_cast<std::uint8_t>(0 - 127), 1};
  EXPECT_EQ(encode_sample_data(sample), expected);
  EXPECT_EQ(sample_data_bytes(sample), 7u);
}

TEST(SampleData, NarrowingRoundsToTheNearestStepAndLimits) {
  EXPECT_EQ(narrow_frame(127), 0);
  EXPECT_EQ(narrow_frame(128), 1);
  EXPECT_EQ(narrow_frame(-128), 0);
  EXPECT_EQ(narrow_frame(-129), -1);
  EXPECT_EQ(narrow_frame(32767), 127);
  EXPECT_EQ(narrow_frame(-32768), -128);
}

TEST(SampleData, SixteenBitDeltasWrapAndAreLittleEndian) {
  XmSample sample;
  sample.frames = {1000, -1000, 32767, -32768};
  const std::vector<std::uint8_t> data = encode_sample_data(sample);
  ASSERT_EQ(data.size(), 8u);
  std::uint16_t decoded = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    decoded = static_cast<std::uint16_t>(decoded + read16(data, 2 * k));
    EXPECT_EQ(static_cast<std::int16_t>(decoded), sample.frames[k]);
  }
  EXPECT_EQ(read16(data, 6), 1u);  // -32768 - 32767 wraps to 1
}

TEST(WriteModule, PutsEveryHeaderFieldAtItsOffset) {
  const XmModule module = small_module();
  ASSERT_EQ(check_module(module), "");
  const std::vector<std::uint8_t> d = write_module(module);
  EXPECT_EQ(d.size(), module_file_size(module));
  EXPECT_EQ(std::memcmp(d.data(), "Extended Module: test", 21), 0);
  EXPECT_EQ(d[37], 0x1A);
  EXPECT_EQ(read16(d, 58), 0x0104u);
  EXPECT_EQ(read32(d, 60), 276u);
  EXPECT_EQ(read16(d, 64), 3u);  // song length
  EXPECT_EQ(read16(d, 66), 1u);  // restart
  EXPECT_EQ(read16(d, 68), 2u);  // channels
  EXPECT_EQ(read16(d, 70), 2u);  // patterns
  EXPECT_EQ(read16(d, 72), 2u);  // instruments
  EXPECT_EQ(read16(d, 74), 1u);  // linear
  EXPECT_EQ(read16(d, 76), 5u);
  EXPECT_EQ(read16(d, 78), 140u);
  EXPECT_EQ(d[80], 1);
  EXPECT_EQ(d[81], 0);
  EXPECT_EQ(d[82], 1);
  EXPECT_EQ(d[83], 0);

  std::size_t at = 336;
  for (const XmPattern& pattern : module.patterns) {
    EXPECT_EQ(read32(d, at), 9u);
    EXPECT_EQ(d[at + 4], 0);
    EXPECT_EQ(read16(d, at + 5), pattern.rows);
    const std::uint32_t size = read16(d, at + 7);
    const std::vector<std::uint8_t> packed(d.begin() + at + 9, d.begin() + at + 9 + size);
    if (size == 0) {
      EXPECT_EQ(pack_pattern(pattern, 2).size(), 0u);
    } else {
      std::size_t used = 0;
      EXPECT_EQ(unpack(packed, pattern.cells.size(), used), pattern.cells);
      EXPECT_EQ(used, size);
    }
    at += 9 + size;
  }

  // The label instrument: only its header size, name, type and count.
  EXPECT_EQ(read32(d, at), 29u);
  EXPECT_EQ(std::memcmp(&d[at + 4], "label", 5), 0);
  EXPECT_EQ(read16(d, at + 27), 0u);
  at += 29;

  const std::size_t ins = at;
  EXPECT_EQ(read32(d, ins), 263u);
  EXPECT_EQ(read16(d, ins + 27), 1u);
  EXPECT_EQ(read32(d, ins + 29), 40u);
  EXPECT_EQ(read16(d, ins + 129), 0u);   // first volume point x
  EXPECT_EQ(read16(d, ins + 131), 64u);  // and y
  EXPECT_EQ(read16(d, ins + 133), 10u);
  EXPECT_EQ(d[ins + 225], 2);  // volume points
  EXPECT_EQ(d[ins + 233], envelope_on | envelope_sustain);
  EXPECT_EQ(d[ins + 237], 7);             // vibrato depth
  EXPECT_EQ(read16(d, ins + 239), 261u);  // fadeout as stored

  const std::size_t sample = ins + 263;
  EXPECT_EQ(read32(d, sample), 4u);      // bytes
  EXPECT_EQ(read32(d, sample + 4), 1u);  // loop start
  EXPECT_EQ(read32(d, sample + 8), 2u);  // loop length
  EXPECT_EQ(d[sample + 12], 40);
  EXPECT_EQ(static_cast<std::int8_t>(d[sample + 13]), -16);
  EXPECT_EQ(d[sample + 14], 2);  // ping-pong, 8-bit
  EXPECT_EQ(d[sample + 15], 200);
  EXPECT_EQ(static_cast<std::int8_t>(d[sample + 16]), -12);
  const std::vector<std::uint8_t> data(d.begin() + sample + 40, d.end());
  EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 1, 0xFF, 0xFE}));
}

TEST(WriteModule, SixteenBitLoopsAreStoredInBytes) {
  XmModule module = small_module();
  XmSample& s = module.instruments[1].samples[0];
  s.sixteen_bit = true;
  s.loop = XmLoop::forward;
  const std::vector<std::uint8_t> d = write_module(module);
  const std::size_t sample = d.size() - 8 - 40;
  EXPECT_EQ(read32(d, sample), 8u);
  EXPECT_EQ(read32(d, sample + 4), 2u);
  EXPECT_EQ(read32(d, sample + 8), 4u);
  EXPECT_EQ(d[sample + 14], 0x11);
}

TEST(CheckModule, RefusesWhatTheFileCannotSayOrThePlayerCannotPlay) {
  EXPECT_EQ(check_module(small_module()), "");
  auto refused = [](auto change) {
    XmModule module = small_module();
    change(module);
    return !check_module(module).empty();
  };
  EXPECT_TRUE(refused([](XmModule& m) { m.orders.push_back(2); }));
  EXPECT_TRUE(refused([](XmModule& m) { m.restart_position = 3; }));
  EXPECT_TRUE(refused([](XmModule& m) { m.patterns[0].cells[0].instrument = 3; }));
  EXPECT_TRUE(refused([](XmModule& m) { m.patterns[0].cells[0].note = 98; }));
  EXPECT_TRUE(refused([](XmModule& m) { m.patterns[0].cells.pop_back(); }));
  EXPECT_TRUE(refused([](XmModule& m) { m.instruments[1].keymap[40] = 1; }));
  EXPECT_TRUE(refused([](XmModule& m) { m.instruments[1].samples[0].loop_length = 4; }));
  EXPECT_TRUE(refused([](XmModule& m) { m.instruments[1].samples[0].loop_length = 0; }));
  EXPECT_TRUE(refused([](XmModule& m) { m.instruments[1].volume_envelope.sustain = 2; }));
  EXPECT_TRUE(refused([](XmModule& m) { m.instruments[1].volume_envelope.points[1].x = 0; }));
  EXPECT_TRUE(refused([](XmModule& m) { m.instruments[1].volume_envelope.points[0].x = 1; }));
  EXPECT_TRUE(refused([](XmModule& m) { m.instruments[1].samples.resize(17, m.instruments[1].samples[0]); }));
}
