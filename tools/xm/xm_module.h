// The module as the song tools hold it before writing: plain records that
// mirror the Extended Module file, in file units where the file has them
// (notes 1..96 and 97 = key off, instrument numbers 1-based, volume-column
// bytes and effect numbers as stored). Sample data is kept as 16-bit frames
// whatever its stored width; the writer narrows 8-bit samples.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::uint8_t xm_key_off = 97;

struct XmCell {
  std::uint8_t note = 0;  // 0 none, 1..96 (1 = C-0), 97 key off
  std::uint8_t instrument = 0;
  std::uint8_t volume_column = 0;
  std::uint8_t effect = 0;
  std::uint8_t parameter = 0;
};

inline bool operator==(const XmCell& a, const XmCell& b) {
  return a.note == b.note && a.instrument == b.instrument && a.volume_column == b.volume_column &&
         a.effect == b.effect && a.parameter == b.parameter;
}

struct XmPattern {
  std::uint16_t rows = 64;
  std::vector<XmCell> cells;  // rows x channels, row-major
};

struct XmEnvelopePoint {
  std::uint16_t x = 0;  // ticks
  std::uint16_t y = 0;  // 0..64
};

// Envelope type bits as stored.
inline constexpr std::uint8_t envelope_on = 1;
inline constexpr std::uint8_t envelope_sustain = 2;
inline constexpr std::uint8_t envelope_loop = 4;

struct XmEnvelope {
  std::vector<XmEnvelopePoint> points;  // at most 12
  std::uint8_t sustain = 0;             // point indices
  std::uint8_t loop_start = 0;
  std::uint8_t loop_end = 0;
  std::uint8_t type = 0;  // envelope_on | envelope_sustain | envelope_loop
};

enum class XmLoop : std::uint8_t { none = 0, forward = 1, ping_pong = 2 };

struct XmSample {
  std::string name;  // at most 22 characters are stored
  std::vector<std::int16_t> frames;
  bool sixteen_bit = true;  // false: stored as 8-bit (the high byte, rounded)
  XmLoop loop = XmLoop::none;
  std::uint32_t loop_start = 0;   // frames
  std::uint32_t loop_length = 0;  // frames
  std::uint8_t volume = 64;       // 0..64
  std::int8_t finetune = 0;       // 1/128 semitone
  std::uint8_t panning = 128;     // 0..255
  std::int8_t relative_note = 0;  // semitones
};

struct XmInstrument {
  std::string name;                       // at most 22 characters are stored
  std::vector<XmSample> samples;          // at most 16; none for an empty slot
  std::array<std::uint8_t, 96> keymap{};  // sample index for notes 1..96
  XmEnvelope volume_envelope;
  XmEnvelope panning_envelope;
  std::uint8_t vibrato_type = 0;  // 0 sine, 1 square, 2 falling saw, 3 rising saw
  std::uint8_t vibrato_sweep = 0;
  std::uint8_t vibrato_depth = 0;
  std::uint8_t vibrato_rate = 0;
  std::uint16_t fadeout = 0;  // as stored; the player doubles it
};

struct XmModule {
  std::string name;          // at most 20 characters
  std::string tracker_name;  // at most 20 characters
  std::uint16_t restart_position = 0;
  std::uint16_t channel_count = 12;
  std::uint16_t flags = 1;  // bit 0: linear frequency table
  std::uint16_t tempo = 6;  // ticks per row
  std::uint16_t bpm = 125;
  std::vector<std::uint8_t> orders;  // at most 256
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
};
