// libFuzzer target: arbitrary bytes loaded as a module and played at
// 22050 Hz in buffers of odd sizes, with jumps to extreme orders and rows,
// a stop and the release (fuzz/fuzz_bodies.h).
#include "fuzz/fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_play_in_odd_buffers(data, size);
  return 0;
}
