// libFuzzer target: arbitrary bytes loaded as a module and rendered with
// both mixer loops (fuzz/fuzz_bodies.h). Any read or write outside a
// buffer, undefined behaviour, endless loop, leak or difference between
// the mixer loops is a finding.
#include "fuzz/fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_load_and_render(data, size);
  return 0;
}
