// Builds the song module from its score and writes it.
//
// Usage: build_song SCORE_DIRECTORY OUTPUT_FILE
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "tools/song/song_builder.h"
#include "tools/song/xm_writer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: build_song SCORE_DIRECTORY OUTPUT_FILE\n");
    return 2;
  }
  Score score;
  std::string problem = read_score(argv[1], score);
  XmModule module;
  try {
    if (problem.empty()) problem = build_module(score, module);
  } catch (const std::exception& error) {
    problem = error.what();
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "build_song: %s\n", problem.c_str());
    return 1;
  }
  const std::vector<std::uint8_t> bytes = write_module(module);
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "build_song: cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("%s: %zu bytes, %zu orders, %zu patterns, %zu instruments\n", argv[2], bytes.size(), module.orders.size(),
              module.patterns.size(), module.instruments.size());
  return 0;
}
