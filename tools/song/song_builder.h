// Builds the song module from the score directory: the song file, one file
// per pattern, and the instruments made by the synthesizer. The crash
// cymbal's sample is sized so that the file comes out at exactly the size
// the demo's asset block reserves for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/song/score_text.h"
#include "tools/xm/xm_module.h"

inline constexpr std::uint32_t song_file_size = 431134;

// The shortest crash the fit may leave, in frames (about half a second).
inline constexpr std::uint32_t shortest_crash = 11000;

struct Score {
  ScoreSong song;
  std::vector<XmPattern> patterns;  // by pattern number
};

// Reads score_directory/song.txt and pattern_NN.txt for every pattern number
// from 0 to the highest in the order list. Returns an empty string or what
// is wrong, with the file and line.
std::string read_score(const std::string& score_directory, Score& score);

// The module for a score: header figures from the song file, the patterns,
// and the instruments with the crash sized to fit. Returns an empty string
// or why the module cannot be made.
std::string build_module(const Score& score, XmModule& module);

// The name a pattern's file has in the score directory.
std::string pattern_file_name(int pattern);
