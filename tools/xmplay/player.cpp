#include "tools/xmplay/player.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

PassTracker pass_tracker = {};

namespace {

constexpr std::uint8_t max_row_entries = 64;

// The trackers in use. A song's ticks find their tracker here: registered
// before the song plays (play_song hands it to the rendering thread), read
// by that thread with every tick.
constexpr int max_trackers = 8;
std::atomic<PassTracker*> trackers[max_trackers] = {};

PassTracker* tracker_of(const Song* song) {
  for (std::atomic<PassTracker*>& slot : trackers) {
    PassTracker* tracker = slot.load(std::memory_order_acquire);
    if (tracker != nullptr && tracker->song.load(std::memory_order_acquire) == song) {
      return tracker;
    }
  }
  return nullptr;
}

void record_row_start(PassTracker& tracker, Song* song, std::int64_t frame, bool wrapped_before) {
  const std::int32_t order = song->order.load(std::memory_order_relaxed);
  const std::int32_t row = song->row.load(std::memory_order_relaxed);
  const auto order_slot = static_cast<std::size_t>(order & 0xFF);
  // An order's row counts are made when it is first played, one for each
  // row of its pattern.
  std::vector<std::uint8_t>& entries_of_order = tracker.row_entries[order_slot];
  if (entries_of_order.empty()) {
    const Pattern& pattern = song->patterns[song->order_table[order_slot]];
    entries_of_order.assign(static_cast<std::size_t>(std::max(pattern.rows, 1)), 0);
  }
  const auto row_slot = std::min(static_cast<std::size_t>(std::max(row, 0)), entries_of_order.size() - 1);
  std::uint8_t& entries = entries_of_order[row_slot];
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
  PassTracker* tracker = tracker_of(song);
  if (tracker == nullptr) {
    song_tick(song);
    return;
  }
  const std::int64_t frame = tracker->next_tick_frame;
  const bool row_starts = song->tick == 0;
  const bool wrapped_before = song->wrapped.load(std::memory_order_relaxed) != 0;
  song_tick(song);
  if (row_starts) {
    record_row_start(*tracker, song, frame, wrapped_before);
  }
  tracker->next_tick_frame = frame + std::max<std::int32_t>(1, song->samples_per_tick);
}

void put16(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* out, std::uint32_t value) {
  put16(out, value);
  put16(out + 2, value >> 16);
}

void put64(std::uint8_t* out, std::uint64_t value) {
  put32(out, static_cast<std::uint32_t>(value));
  put32(out + 4, static_cast<std::uint32_t>(value >> 32));
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

// A file that is written under a temporary name beside its own and takes
// its name only once complete, so that a render that fails leaves nothing
// (and the file it would replace stays as it was). A path that names no
// regular file, such as a pipe or /dev/stdout, is written as it is.
struct OutputFile {
  std::string path;
  std::string writing_path;
  File file;
};

bool begin_output_file(OutputFile& output, const std::string& path) {
  output.path = path;
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  const bool special = !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
  output.writing_path = special ? path : path + ".partial";
  output.file.reset(std::fopen(output.writing_path.c_str(), "wb"));
  return output.file != nullptr;
}

bool finish_output_file(OutputFile& output) {
  const bool flushed = std::fflush(output.file.get()) == 0 && std::ferror(output.file.get()) == 0;
  output.file.reset();
  if (!flushed) {
    return false;
  }
  if (output.writing_path != output.path) {
    std::error_code error;
    std::filesystem::rename(output.writing_path, output.path, error);
    return !error;
  }
  return true;
}

void abandon_output_file(OutputFile& output) {
  output.file.reset();
  if (!output.writing_path.empty() && output.writing_path != output.path) {
    std::error_code ignored;
    std::filesystem::remove(output.writing_path, ignored);
  }
}

// Writes the rows begun before frame end to the timeline and lets the
// tracker forget them.
bool write_timeline_rows(PassTracker& tracker, std::FILE* timeline, std::int64_t end) {
  bool written = true;
  for (const RowStart& row : tracker.rows) {
    if (row.frame < end) {
      written = std::fprintf(timeline, "%lld\t%d\t%d\n", static_cast<long long>(row.frame), row.order, row.row) > 0 &&
                written;
    }
  }
  tracker.rows.clear();
  return written;
}

}  // namespace

std::vector<std::uint8_t> wav_header(std::int64_t frames) {
  const std::uint64_t data_bytes = 4 * static_cast<std::uint64_t>(frames);
  const bool large = data_bytes > 0xFFFFFFFFull - 36;
  std::vector<std::uint8_t> header(large ? 80 : 44, 0);
  std::uint8_t* at = header.data();
  std::copy_n(large ? "RF64" : "RIFF", 4, at);
  put32(at + 4, large ? 0xFFFFFFFFu : static_cast<std::uint32_t>(36 + data_bytes));
  std::copy_n("WAVE", 4, at + 8);
  at += 12;
  if (large) {
    std::copy_n("ds64", 4, at);
    put32(at + 4, 28);
    put64(at + 8, header.size() - 8 + data_bytes);  // the RIFF size
    put64(at + 16, data_bytes);
    put64(at + 24, static_cast<std::uint64_t>(frames));  // sample frames
    put32(at + 32, 0);                                   // no table
    at += 36;
  }
  std::copy_n("fmt ", 4, at);
  put32(at + 4, 16);
  put16(at + 8, 1);
  put16(at + 10, 2);
  put32(at + 12, xmplay_rate);
  put32(at + 16, xmplay_rate * 4);
  put16(at + 20, 4);
  put16(at + 22, 16);
  std::copy_n("data", 4, at + 24);
  put32(at + 28, large ? 0xFFFFFFFFu : static_cast<std::uint32_t>(data_bytes));
  return header;
}

void track_song(Song* song, bool keep_rows, PassTracker& tracker) {
  forget_tracker(tracker);
  tracker.next_tick_frame = 0;
  tracker.previous_order = -1;
  tracker.keep_rows = keep_rows;
  tracker.rows.clear();
  tracker.visited_orders.assign(256, 0);
  for (std::vector<std::uint8_t>& entries : tracker.row_entries) {
    entries.clear();
    entries.shrink_to_fit();
  }
  tracker.pass_end_frame.store(-1);
  // No other tracker follows the song any more.
  for (std::atomic<PassTracker*>& slot : trackers) {
    PassTracker* other = slot.load(std::memory_order_acquire);
    if (other != nullptr && other->song.load(std::memory_order_acquire) == song) {
      other->song.store(nullptr, std::memory_order_release);
    }
  }
  tracker.song.store(song, std::memory_order_release);
  for (std::atomic<PassTracker*>& slot : trackers) {
    PassTracker* expected = nullptr;
    if (slot.compare_exchange_strong(expected, &tracker, std::memory_order_acq_rel)) {
      break;
    }
  }
  song->tick_handler = tracked_tick;
}

void forget_tracker(PassTracker& tracker) {
  for (std::atomic<PassTracker*>& slot : trackers) {
    PassTracker* expected = &tracker;
    slot.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
  }
  tracker.song.store(nullptr, std::memory_order_release);
}

std::string module_name_of(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 37) {
    return {};
  }
  std::string text(bytes.begin() + 17, bytes.begin() + 37);
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

std::string module_name(const std::string& path) {
  File file(std::fopen(path.c_str(), "rb"));
  std::vector<std::uint8_t> bytes(37);
  if (file == nullptr || std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return {};
  }
  return module_name_of(bytes);
}

PassLength measure_pass(Song* song, const PassLimits& limits) {
  std::vector<std::int8_t> finetunes;
  for (std::int32_t i = 0; i < song->instrument_count; ++i) {
    for (std::int32_t s = 0; s < song->instruments[i].sample_count; ++s) {
      finetunes.push_back(song->instruments[i].samples[s]->finetune);
    }
  }
  const std::uint8_t volume_slide = song->global_volume_slide;

  // The song plays on an output of its own, whose voices no later play of
  // it will see.
  SoundOutput* const caller_output = current_output;
  std::unique_ptr<SoundOutput> output(new SoundOutput);
  select_output(output.get());
  PassTracker tracker{};
  track_song(song, false, tracker);
  PassLength length = {0, false};
  if (open_offline_output(xmplay_rate) && play_song(song)) {
    const std::int64_t tick_work = std::max<std::int32_t>(1, song->channel_count);
    std::int64_t work = 0;
    while (tracker.pass_end_frame.load() < 0) {
      if (tracker.next_tick_frame > limits.max_frames || work > limits.max_channel_ticks ||
          (limits.cancel != nullptr && limits.cancel->load(std::memory_order_relaxed))) {
        break;
      }
      song->tick_handler(song);
      work += tick_work;
    }
    const std::int64_t end = tracker.pass_end_frame.load();
    length = end >= 0 ? PassLength{end, true} : PassLength{std::min(tracker.next_tick_frame, limits.max_frames), false};
  }
  stop_song(song);
  close_output();
  select_output(caller_output);
  forget_tracker(tracker);
  song->tick_handler = song_tick;

  std::size_t k = 0;
  for (std::int32_t i = 0; i < song->instrument_count; ++i) {
    for (std::int32_t s = 0; s < song->instruments[i].sample_count; ++s) {
      song->instruments[i].samples[s]->finetune = finetunes[k++];
    }
  }
  song->global_volume_slide = volume_slide;
  return length;
}

std::string clock_text(double seconds) {
  const auto tenths = static_cast<long long>(seconds * 10.0);
  char text[48];
  if (tenths >= 36000) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", tenths / 36000, tenths / 600 % 60, tenths / 10 % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", tenths / 600, tenths / 10 % 60, tenths % 10);
  }
  return text;
}

bool render_wav(Song* song, const RenderRequest& request, std::string& error, std::int64_t* frames_written,
                const std::atomic<bool>* cancel) {
  // The length first, so that the header is right from the start.
  std::int64_t target = 0;
  if (request.seconds >= 0.0) {
    target = std::llround(request.seconds * xmplay_rate);
  } else {
    PassLimits limits = wav_pass_limits;
    limits.cancel = cancel;
    const PassLength pass = measure_pass(song, limits);
    if (cancel != nullptr && cancel->load()) {
      error = "interrupted";
      return false;
    }
    if (!pass.complete) {
      error = "one pass of the song is longer than " + clock_text(static_cast<double>(pass.frames) / xmplay_rate) +
              ": give --seconds to render a part of it";
      return false;
    }
    target = pass.frames;
  }

  OutputFile wav;
  if (!begin_output_file(wav, request.wav_path)) {
    error = "cannot write " + request.wav_path;
    return false;
  }
  OutputFile timeline;
  if (!request.timeline_path.empty() && !begin_output_file(timeline, request.timeline_path)) {
    abandon_output_file(wav);
    error = "cannot write " + request.timeline_path;
    return false;
  }
  track_song(song, !request.timeline_path.empty());
  if (!play_song(song)) {
    abandon_output_file(wav);
    abandon_output_file(timeline);
    error = "not enough memory to play the module";
    return false;
  }
  const std::vector<std::uint8_t> header = wav_header(target);
  bool written = std::fwrite(header.data(), 1, header.size(), wav.file.get()) == header.size();

  const std::int32_t chunk_frames = current_output->chunk_frames;
  constexpr std::size_t block_values = 2 * 32768;
  BlockWriter writer;
  writer.file = wav.file.get();
  writer.thread = std::thread(run_writer, std::ref(writer));
  const std::size_t block_capacity = block_values + 2 * static_cast<std::size_t>(chunk_frames);
  PcmBlock block{std::unique_ptr<std::int16_t[]>(new std::int16_t[block_capacity]), 0};
  std::int64_t done = 0;
  bool stopped = false;
  while (done < target && written) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
      stopped = true;
      break;
    }
    render_next_chunk_into(block.values.get() + block.size);
    const std::int64_t frames = std::min<std::int64_t>(chunk_frames, target - done);
    block.size += 2 * static_cast<std::size_t>(frames);
    done += frames;
    if (timeline.file != nullptr) {
      written = write_timeline_rows(pass_tracker, timeline.file.get(), target);
    }
    if (block.size >= block_values) {
      queue_block(writer, std::move(block));
      block = {std::unique_ptr<std::int16_t[]>(new std::int16_t[block_capacity]), 0};
    }
  }
  if (block.size > 0) {
    queue_block(writer, std::move(block));
  }
  written = finish_writer(writer) && written;
  stop_song(song);
  forget_tracker(pass_tracker);
  if (stopped || !written || !finish_output_file(wav) ||
      (timeline.file != nullptr && !finish_output_file(timeline))) {
    abandon_output_file(wav);
    abandon_output_file(timeline);
    error = stopped ? "interrupted" : "cannot write " + (written ? request.timeline_path : request.wav_path);
    return false;
  }
  if (frames_written != nullptr) {
    *frames_written = done;
  }
  return true;
}
