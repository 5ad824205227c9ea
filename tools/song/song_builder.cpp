#include "tools/song/song_builder.h"

#include <fstream>
#include <sstream>

#include "tools/song/instrument_set.h"
#include "tools/song/sounds.h"
#include "tools/song/xm_writer.h"

namespace {

bool read_file(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return true;
}

}  // namespace

std::string pattern_file_name(int pattern) {
  const std::string number = std::to_string(pattern);
  return "pattern_" + std::string(number.size() < 2 ? 2 - number.size() : 0, '0') + number + ".txt";
}

std::string read_score(const std::string& score_directory, Score& score) {
  std::string text;
  const std::string song_path = score_directory + "/song.txt";
  if (!read_file(song_path, text)) return song_path + ": cannot be read";
  std::string problem = parse_song_text(text, score.song);
  if (!problem.empty()) return song_path + ": " + problem;
  int highest = 0;
  for (std::uint8_t order : score.song.orders) highest = order > highest ? order : highest;
  score.patterns.assign(highest + 1, XmPattern{});
  for (int p = 0; p <= highest; ++p) {
    const std::string path = score_directory + "/" + pattern_file_name(p);
    if (!read_file(path, text)) return path + ": cannot be read";
    problem = parse_pattern_text(text, score.song.channel_count, score.patterns[p]);
    if (!problem.empty()) return path + ": " + problem;
  }
  return "";
}

std::string build_module(const Score& score, XmModule& module) {
  module = XmModule{};
  module.name = score.song.name;
  module.tracker_name = "vorna song builder";
  module.restart_position = score.song.restart_position;
  module.channel_count = score.song.channel_count;
  module.flags = 1;
  module.tempo = score.song.tempo;
  module.bpm = score.song.bpm;
  module.orders = score.song.orders;
  module.patterns = score.patterns;

  // Everything but the crash's data has a fixed size: measure the module
  // with a one-frame crash, then give the crash the rest. Its sample is
  // 8-bit, one byte a frame, so any remainder fits exactly.
  module.instruments = make_instruments(1);
  const XmInstrument& last = module.instruments.back();
  if (last.samples.size() != 1 || last.samples[0].sixteen_bit) return "the last instrument must be the 8-bit crash";
  std::string problem = check_module(module);
  if (!problem.empty()) return problem;
  const std::uint64_t fixed = module_file_size(module) - 1;
  if (fixed + shortest_crash > song_file_size)
    return "the module needs " + std::to_string(fixed + shortest_crash) + " bytes with the shortest crash, more than " +
           std::to_string(song_file_size);
  const std::uint32_t crash_frames = static_cast<std::uint32_t>(song_file_size - fixed);
  module.instruments.back() = make_crash(crash_frames);
  problem = check_module(module);
  if (!problem.empty()) return problem;
  if (module_file_size(module) != song_file_size)
    return "the fitted module is not " + std::to_string(song_file_size) + " bytes";
  return "";
}
