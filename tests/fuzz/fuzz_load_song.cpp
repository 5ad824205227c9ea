// Loads arbitrary bytes as a module through the file callbacks, as the
// player loads a file that a user names, plays what loaded for two seconds
// of offline output and releases it. Any read or write outside a buffer,
// undefined behaviour, endless loop or leak is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "music/module_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The plain mixer loops: AddressSanitizer checks their reads, not those
  // of the vector gathers.
  mixer_vector_loops = false;
  const std::int64_t blocks = music_blocks_in_use.load();
  Song* song = load_bytes(std::vector<std::uint8_t>(data, data + size));
  if (song != nullptr && open_offline_output(44100) && play_song(song)) {
    for (int chunk = 0; chunk < 100; ++chunk) {
      render_next_chunk();
    }
  }
  free_song(song);
  close_output();
  if (music_blocks_in_use.load() != blocks) {
    std::abort();  // the player's heap leaked
  }
  return 0;
}
