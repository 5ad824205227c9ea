// Running a test's checks at every vector level the run has.
#pragma once

#include <vector>

#include "cpu/vector_level.h"

// Every level up to the run's own (vector_level()), plain first.
inline std::vector<VectorLevel> levels_to_test() {
  std::vector<VectorLevel> levels;
  for (int k = 0; k <= vector_level(); ++k) levels.push_back(static_cast<VectorLevel>(k));
  return levels;
}

// Puts the run's level back into every kernel table when it goes, so that
// a test which switches levels leaves the next one as it found it.
class KeepVectorLevel {
 public:
  KeepVectorLevel() : level_(vector_level()) {}
  ~KeepVectorLevel() { use_vector_level(level_); }
  KeepVectorLevel(const KeepVectorLevel&) = delete;
  KeepVectorLevel& operator=(const KeepVectorLevel&) = delete;

 private:
  VectorLevel level_;
};
