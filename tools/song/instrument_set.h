// The song's 27 instrument slots, in number order. Six slots hold no
// samples: four name the group of instruments that follows them, and two
// spare slots precede the crash, which comes last because its sample takes
// whatever room the module has left.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/xm/xm_module.h"

// Instrument numbers as the score writes them (1-based; hex in the score).
enum InstrumentNumber : std::uint8_t {
  ins_kick = 1,
  ins_snare = 2,
  ins_clap = 3,
  ins_closed_hat = 4,
  ins_open_hat = 5,
  ins_perc_kit = 6,
  ins_tom = 7,
  ins_bass_group = 8,
  ins_sub_bass = 9,
  ins_acid_bass = 10,
  ins_reese_bass = 11,
  ins_pad_group = 12,
  ins_strings = 13,
  ins_choir = 14,
  ins_flute = 15,
  ins_drone = 16,
  ins_lead_group = 17,
  ins_square_lead = 18,
  ins_pluck = 19,
  ins_bell = 20,
  ins_stab = 21,
  ins_effect_group = 22,
  ins_impact = 23,
  ins_riser = 24,
  ins_spare_1 = 25,
  ins_spare_2 = 26,
  ins_crash = 27,
};

inline constexpr int song_instrument_count = 27;

// All 27 instruments, the crash's sample crash_frames long.
std::vector<XmInstrument> make_instruments(std::uint32_t crash_frames);
