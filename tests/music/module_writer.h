// Builds Extended Module files in memory for the tests, the fuzzing seeds
// and the benchmarks, and serves bytes to the player through its file
// callbacks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "music/internal.h"
#include "tools/xm/xm_layout.h"

struct TestPattern {
  std::int32_t rows = 64;
  std::vector<Cell> cells;  // rows x channels; missing cells are empty
  XmPacking packing = XmPacking::mixed;
  // Written in place of the packed cells when set.
  std::optional<std::vector<std::uint8_t>> raw_data;
  std::optional<std::uint16_t> packed_size;  // default: the size written
};

struct TestSample {
  std::vector<std::uint8_t> data;  // as stored: delta-coded bytes
  bool sixteen_bit = false;
  std::uint8_t loop = 0;                // type bits 0..1: 1 forward, 2 ping-pong
  std::uint32_t loop_start = 0;         // bytes, as stored
  std::uint32_t loop_length = 0;        // bytes, as stored
  std::optional<std::uint32_t> length;  // default: data.size()
  std::uint8_t volume = 64;
  std::int8_t finetune = 0;
  std::uint8_t panning = 128;
  std::int8_t relative_note = 0;
};

struct TestInstrument {
  std::vector<TestSample> samples;
  std::optional<std::uint16_t> sample_count;  // default: samples.size()
  std::optional<std::uint32_t> header_size;   // default: 263, or 29 without samples
  // Stored in place of the header size, which still lays out the file.
  std::optional<std::uint32_t> declared_header_size;
  std::uint8_t keymap[96] = {};
  std::vector<std::pair<std::uint16_t, std::uint16_t>> volume_envelope;   // up to 12 points
  std::vector<std::pair<std::uint16_t, std::uint16_t>> panning_envelope;  // up to 12 points
  std::optional<std::uint8_t> volume_points;                              // default: the points given
  std::optional<std::uint8_t> panning_points;                             // default: the points given
  std::uint8_t volume_sustain = 0, volume_loop_start = 0, volume_loop_end = 0;
  std::uint8_t panning_sustain = 0, panning_loop_start = 0, panning_loop_end = 0;
  std::uint8_t volume_type = 0, panning_type = 0;
  std::uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
  std::uint16_t fadeout = 0;  // as stored
};

// The header's fields as written; the counts are taken from the vectors
// unless stored_patterns or stored_instruments is set.
struct TestModule : XmHeaderFields {
  TestModule() {
    name = "test module";
    tracker_name = "test writer";
    channels = 4;
  }
  std::vector<TestPattern> patterns;
  std::vector<TestInstrument> instruments;
  std::optional<std::uint16_t> stored_patterns;     // default: patterns.size()
  std::optional<std::uint16_t> stored_instruments;  // default: instruments.size()
};

std::vector<std::uint8_t> write_module(const TestModule& module);

// A sample that plays values at 8 bits; keymap all 0.
TestSample looped_sample(const std::vector<std::int8_t>& values, std::uint8_t loop, std::uint32_t loop_start,
                         std::uint32_t loop_length);
// A one-instrument module whose pattern cells are given as (row, channel, cell).
TestModule one_pattern_module(std::uint16_t channels, std::int32_t rows,
                              const std::vector<std::pair<std::pair<int, int>, Cell>>& cells);

// A 12-channel song of 16 orders that uses every effect, every
// volume-column command, both envelopes with sustain and loop, fadeout,
// auto-vibrato, 8- and 16-bit samples with forward and ping-pong loops, and
// a keymap split: for the benchmarks and the tests.
TestModule every_effect_song();

// Registers file callbacks that serve these bytes for any file name; open
// fails for the name "missing".
void use_buffer_file(std::vector<std::uint8_t> bytes);
// use_buffer_file, then load_song.
Song* load_bytes(const std::vector<std::uint8_t>& bytes);
