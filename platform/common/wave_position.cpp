// The looping buffer's position (see common/wave_position.h).
#include "common/wave_position.h"

std::uint64_t report_loop_position(LPMMTIME time, std::uint64_t bytes_played, DWORD buffer_bytes) {
  const std::uint64_t place = buffer_bytes > 0 ? bytes_played % buffer_bytes : bytes_played;
  time->wType = TIME_BYTES;
  time->u.cb = static_cast<DWORD>(place);
  return place;
}
