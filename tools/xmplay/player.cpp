#include "tools/xmplay/player.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

PassTracker pass_tracker = {};

namespace {

constexpr std::uint8_t max_row_entries = 64;

void record_row_start(Song* song, std::int64_t frame, bool wrapped_before) {
  PassTracker& tracker = pass_tracker;
  const std::int32_t order = song->order.load(std::memory_order_relaxed);
  const std::int32_t row = song->row.load(std::memory_order_relaxed);
  const auto order_slot = static_cast<std::size_t>(order & 0xFF);
  std::uint8_t& entries = tracker.row_entries[static_cast<std::uint32_t>(order_slot << 16) |
                                              (static_cast<std::uint32_t>(row) & 0xFFFFu)];
  if (tracker.pass_end_frame.load(std::memory_order_relaxed) < 0) {
    const bool back_to_played_order = order != tracker.previous_order && tracker.visited_orders[order_slot] != 0;
    if (wrapped_before || back_to_played_order || entries >= max_row_entries) {
      tracker.pass_end_frame.store(frame, std::memory_order_relaxed);
    }
  }
  tracker.visited_orders[order_slot] = 1;
  entries = static_cast<std::uint8_t>(std::min<int>(entries + 1, max_row_entries));
  tracker.previous_order = order;
  if (tracker.keep_rows) {
    tracker.rows.push_back({frame, order, row});
  }
}

// The song's tick handler while tracked: song_tick, with the frame at which
// the tick falls. The output renders the next tick max(1, samples_per_tick)
// frames later, as the count here does.
void tracked_tick(Song* song) {
  const std::int64_t frame = pass_tracker.next_tick_frame;
  const bool row_starts = song->tick == 0;
  const bool wrapped_before = song->wrapped.load(std::memory_order_relaxed) != 0;
  song_tick(song);
  if (row_starts) {
    record_row_start(song, frame, wrapped_before);
  }
  pass_tracker.next_tick_frame = frame + std::max<std::int32_t>(1, song->samples_per_tick);
}

void put16(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* out, std::uint32_t value) {
  put16(out, value);
  put16(out + 2, value >> 16);
}

// The 44-byte header of a 16-bit stereo PCM file.
void wav_header(std::uint8_t* header, std::uint32_t data_bytes) {
  std::copy_n("RIFF", 4, header);
  put32(header + 4, 36 + data_bytes);
  std::copy_n("WAVEfmt ", 8, header + 8);
  put32(header + 16, 16);
  put16(header + 20, 1);
  put16(header + 22, 2);
  put32(header + 24, xmplay_rate);
  put32(header + 28, xmplay_rate * 4);
  put16(header + 32, 4);
  put16(header + 34, 16);
  std::copy_n("data", 4, header + 36);
  put32(header + 40, data_bytes);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Rendered PCM on its way to the file; filled by the renderer, so left
// uninitialised when made.
struct PcmBlock {
  std::unique_ptr<std::int16_t[]> values;
  std::size_t size = 0;  // values in use
};

// Writes blocks of PCM on a thread of its own, so that writing the file
// overlaps rendering on a second core.
struct BlockWriter {
  std::FILE* file = nullptr;
  std::mutex lock;
  std::condition_variable changed;
  std::deque<PcmBlock> blocks;
  bool finished = false;
  bool failed = false;
  std::thread thread;
};

void run_writer(BlockWriter& writer) {
  std::unique_lock<std::mutex> hold(writer.lock);
  for (;;) {
    writer.changed.wait(hold, [&] { return !writer.blocks.empty() || writer.finished; });
    if (writer.blocks.empty()) {
      return;
    }
    PcmBlock block = std::move(writer.blocks.front());
    writer.blocks.pop_front();
    hold.unlock();
    writer.changed.notify_all();
    const bool written =
        std::fwrite(block.values.get(), sizeof(std::int16_t), block.size, writer.file) == block.size;
    hold.lock();
    writer.failed = writer.failed || !written;
  }
}

// Hands a block to the writer, waiting while a few are already queued.
void queue_block(BlockWriter& writer, PcmBlock&& block) {
  std::unique_lock<std::mutex> hold(writer.lock);
  writer.changed.wait(hold, [&] { return writer.blocks.size() < 8; });
  writer.blocks.push_back(std::move(block));
  writer.changed.notify_all();
}

bool finish_writer(BlockWriter& writer) {
  {
    std::lock_guard<std::mutex> hold(writer.lock);
    writer.finished = true;
  }
  writer.changed.notify_all();
  writer.thread.join();
  return !writer.failed;
}

}  // namespace

void track_song(Song* song, bool keep_rows) {
  PassTracker& tracker = pass_tracker;
  tracker.next_tick_frame = 0;
  tracker.previous_order = -1;
  tracker.keep_rows = keep_rows;
  tracker.rows.clear();
  tracker.visited_orders.assign(256, 0);
  tracker.row_entries.clear();
  tracker.pass_end_frame.store(-1);
  song->tick_handler = tracked_tick;
}

std::string module_name(const std::string& path) {
  File file(std::fopen(path.c_str(), "rb"));
  char name[21] = {};
  if (file == nullptr || std::fseek(file.get(), 17, SEEK_SET) != 0 || std::fread(name, 1, 20, file.get()) != 20) {
    return {};
  }
  std::string text(name, 20);
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
  }
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      c = '?';
    }
  }
  return text;
}

std::int64_t measure_pass_frames(Song* song) {
  track_song(song, false);
  play_song(song);
  while (pass_tracker.pass_end_frame.load() < 0) {
    song->tick_handler(song);
  }
  return pass_tracker.pass_end_frame.load();
}

bool render_wav(Song* song, const RenderRequest& request, std::string& error, std::int64_t* frames_written) {
  File wav(std::fopen(request.wav_path.c_str(), "wb"));
  if (wav == nullptr) {
    error = "cannot write " + request.wav_path;
    return false;
  }
  track_song(song, !request.timeline_path.empty());
  if (!play_song(song)) {
    error = "not enough memory to play the module";
    return false;
  }
  std::uint8_t header[44];
  wav_header(header, 0);
  std::fwrite(header, 1, sizeof header, wav.get());

  const std::int64_t max_frames = (std::int64_t{0xFFFFFFFF} - 36) / 4;
  constexpr std::size_t block_values = 2 * 32768;
  BlockWriter writer;
  writer.file = wav.get();
  writer.thread = std::thread(run_writer, std::ref(writer));
  const std::size_t block_capacity = block_values + 2 * static_cast<std::size_t>(current_output->chunk_frames);
  PcmBlock block{std::unique_ptr<std::int16_t[]>(new std::int16_t[block_capacity]), 0};
  std::int64_t target = request.seconds >= 0.0 ? std::llround(request.seconds * xmplay_rate) : -1;
  std::int64_t written = 0;
  while ((target < 0 || written < target) && written <= max_frames) {
    render_next_chunk_into(block.values.get() + block.size);
    if (target < 0) {
      target = pass_tracker.pass_end_frame.load();  // known once the pass has ended in this chunk
    }
    std::int64_t frames = current_output->chunk_frames;
    if (target >= 0) {
      frames = std::min(frames, target - written);
    }
    block.size += 2 * static_cast<std::size_t>(frames);
    written += frames;
    if (block.size >= block_values) {
      queue_block(writer, std::move(block));
      block = {std::unique_ptr<std::int16_t[]>(new std::int16_t[block_capacity]), 0};
    }
  }
  if (block.size > 0) {
    queue_block(writer, std::move(block));
  }
  if (!finish_writer(writer)) {
    error = "cannot write " + request.wav_path;
    return false;
  }
  if (written > max_frames) {
    error = "the WAV file would exceed 4 GB";
    return false;
  }
  wav_header(header, static_cast<std::uint32_t>(written * 4));
  if (std::fseek(wav.get(), 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, wav.get()) != sizeof header ||
      std::fflush(wav.get()) != 0) {
    error = "cannot write " + request.wav_path;
    return false;
  }
  if (!request.timeline_path.empty()) {
    File timeline(std::fopen(request.timeline_path.c_str(), "w"));
    if (timeline == nullptr) {
      error = "cannot write " + request.timeline_path;
      return false;
    }
    for (const RowStart& row : pass_tracker.rows) {
      if (row.frame < written) {
        std::fprintf(timeline.get(), "%lld\t%d\t%d\n", static_cast<long long>(row.frame), row.order, row.row);
      }
    }
    if (std::fflush(timeline.get()) != 0) {
      error = "cannot write " + request.timeline_path;
      return false;
    }
  }
  if (frames_written != nullptr) {
    *frames_written = written;
  }
  return true;
}
