// xmplay's command line, in the GNU manner: long options as --name VALUE
// or --name=VALUE, short ones as -x VALUE, -xVALUE or bundled flags (-qv),
// "--" before file names that begin with a dash, and "-" for standard
// input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Options {
  std::vector<std::string> files;
  std::string wav;       // --wav FILE ("-": standard output)
  std::string raw;       // --raw FILE
  std::string timeline;  // --timeline FILE
  double seconds = -1.0;
  bool info = false;
  bool verbose = false;
  bool quiet = false;
  bool shuffle = false;
  bool help = false;
  bool version = false;
  std::int32_t song_passes = 1;  // --repeat-song N; 0 for ever (--loop)
  std::int32_t list_passes = 1;  // --repeat N; 0 for ever
  std::int32_t start_order = 0;
  double gain_db = 0.0;
  std::int32_t rate = 44100;
  std::int32_t stereo_percent = 100;
  std::vector<int> muted;  // channels from 0, from --mute and --solo
};

// Reads the arguments (without the program's name). False with a message
// naming the option or value at fault.
bool parse_options(const std::vector<std::string>& arguments, Options& options, std::string& error);

// The --help text.
std::string usage_text();
