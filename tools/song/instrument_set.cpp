#include "tools/song/instrument_set.h"

#include "tools/song/sounds.h"

namespace {

XmInstrument empty_slot(const char* name) {
  XmInstrument instrument;
  instrument.name = name;
  return instrument;
}

}  // namespace

std::vector<XmInstrument> make_instruments(std::uint32_t crash_frames) {
  std::vector<XmInstrument> set;
  set.push_back(make_kick());
  set.push_back(make_snare());
  set.push_back(make_clap());
  set.push_back(make_closed_hat());
  set.push_back(make_open_hat());
  set.push_back(make_perc_kit());
  set.push_back(make_tom());
  set.push_back(empty_slot("------ basses ------"));
  set.push_back(make_sub_bass());
  set.push_back(make_acid_bass());
  set.push_back(make_reese_bass());
  set.push_back(empty_slot("------- pads -------"));
  set.push_back(make_strings());
  set.push_back(make_choir());
  set.push_back(make_flute());
  set.push_back(make_drone());
  set.push_back(empty_slot("------ leads -------"));
  set.push_back(make_square_lead());
  set.push_back(make_pluck());
  set.push_back(make_bell());
  set.push_back(make_stab());
  set.push_back(empty_slot("----- effects ------"));
  set.push_back(make_impact());
  set.push_back(make_riser());
  set.push_back(empty_slot(""));
  set.push_back(empty_slot(""));
  set.push_back(make_crash(crash_frames));
  return set;
}
