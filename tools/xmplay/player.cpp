#include "tools/xmplay/player.h"

#include "tools/wav/wav_header.h"
#include "tools/xmplay/controls.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <limits>
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

// Counts the orders and rows afresh, for a new pass or after a seek.
void forget_visits(PassTracker& tracker) {
  std::fill(tracker.visited_orders.begin(), tracker.visited_orders.end(), 0);
  for (std::vector<std::uint8_t>& entries : tracker.row_entries) {
    std::fill(entries.begin(), entries.end(), 0);
  }
  tracker.previous_order = -1;
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
  if (tracker.pass_end_frame.load(std::memory_order_relaxed) < 0) {
    const bool back_to_played_order = order != tracker.previous_order && tracker.visited_orders[order_slot] != 0;
    if (wrapped_before || back_to_played_order || entries_of_order[row_slot] >= max_row_entries) {
      const std::int32_t ended = tracker.pass.load(std::memory_order_relaxed);
      if (tracker.passes > 0 && ended >= tracker.passes) {
        tracker.pass_end_frame.store(frame, std::memory_order_relaxed);
      } else {
        // The next pass: its clock starts where this order began in the
        // first one.
        forget_visits(tracker);
        song->wrapped.store(0, std::memory_order_relaxed);
        tracker.pass.store(ended + 1, std::memory_order_relaxed);
        tracker.clock = std::max<std::int64_t>(0, tracker.order_clock[order_slot]);
      }
    }
  }
  if (tracker.pass.load(std::memory_order_relaxed) == 1 && tracker.order_clock[order_slot] < 0 &&
      tracker.pass_end_frame.load(std::memory_order_relaxed) < 0) {
    tracker.order_clock[order_slot] = tracker.clock;
  }
  std::uint8_t& entries = entries_of_order[row_slot];
  tracker.visited_orders[order_slot] = 1;
  entries = static_cast<std::uint8_t>(std::min<int>(entries + 1, max_row_entries));
  tracker.previous_order = order;
  if (tracker.keep_rows) {
    tracker.rows.push_back({frame, order, row});
  }
}

// Takes a request to play from the start of an order: the row's tick 0
// then begins at once.
void take_seek(PassTracker& tracker, Song* song) {
  const std::int32_t order = tracker.seek_order.exchange(-1, std::memory_order_acquire);
  if (order < 0 || order >= song->song_length) {
    return;
  }
  song->next_order = order;
  song->next_row = 0;
  song->tick = 0;
  song->pattern_delay_ticks = 0;
  song->wrapped.store(0, std::memory_order_relaxed);
  forget_visits(tracker);
  const std::int64_t known = tracker.order_clock[static_cast<std::size_t>(order)];
  const std::int64_t given = tracker.seek_clock.load(std::memory_order_relaxed);
  if (known >= 0 || given >= 0) {
    tracker.clock = known >= 0 ? known : given;
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
  if (tracker->seek_order.load(std::memory_order_relaxed) >= 0) {
    take_seek(*tracker, song);
  }
  const std::int64_t frame = tracker->next_tick_frame;
  const bool row_starts = song->tick == 0;
  const bool wrapped_before = song->wrapped.load(std::memory_order_relaxed) != 0;
  tracker->pass_clock.store(tracker->clock, std::memory_order_relaxed);
  song_tick(song);
  if (row_starts) {
    record_row_start(*tracker, song, frame, wrapped_before);
    tracker->pass_clock.store(tracker->clock, std::memory_order_relaxed);
  }
  if (tracker->heard) {
    apply_channel_controls(song, row_starts);
  }
  const std::int32_t length = std::max<std::int32_t>(1, song->samples_per_tick);
  tracker->next_tick_frame = frame + length;
  tracker->clock += length;
  tracker->ticked_frames.store(tracker->next_tick_frame, std::memory_order_relaxed);
}

// Standard output is flushed rather than closed: messages may follow.
struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file == stdout) {
      std::fflush(file);
    } else {
      std::fclose(file);
    }
  }
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
    const bool written = std::fwrite(block.values.get(), sizeof(std::int16_t), block.size, writer.file) == block.size;
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
  if (path == "-") {
    output.writing_path = path;
    output.file.reset(stdout);
    return true;
  }
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

void track_song(Song* song, bool keep_rows, PassTracker& tracker, std::int32_t passes, std::int32_t start_order) {
  forget_tracker(tracker);
  tracker.next_tick_frame = 0;
  tracker.previous_order = -1;
  tracker.keep_rows = keep_rows;
  tracker.passes = std::max(passes, 0);
  tracker.heard = true;
  tracker.rows.clear();
  tracker.visited_orders.assign(256, 0);
  tracker.order_clock.assign(256, -1);
  for (std::vector<std::uint8_t>& entries : tracker.row_entries) {
    entries.clear();
    entries.shrink_to_fit();
  }
  tracker.clock = 0;
  tracker.pass_end_frame.store(-1);
  tracker.ticked_frames.store(0);
  tracker.pass_clock.store(0);
  tracker.pass.store(1);
  tracker.seek_clock.store(-1);
  tracker.seek_order.store(start_order > 0 ? start_order : -1);
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

void seek_to_order(PassTracker& tracker, std::int32_t order, std::int64_t clock_if_unknown) {
  tracker.seek_clock.store(clock_if_unknown, std::memory_order_relaxed);
  tracker.seek_order.store(std::max(order, 0), std::memory_order_release);
}

PassLimits limits_at_rate(PassLimits limits, std::int32_t rate) {
  limits.max_frames = limits.max_frames / xmplay_rate * rate;
  return limits;
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

PassLength measure_pass(Song* song, const PassLimits& limits, const PassPlan& plan) {
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
  track_song(song, false, tracker, std::max(plan.passes, 1), plan.start_order);
  tracker.heard = false;
  PassLength length = {0, false};
  if (open_offline_output(plan.rate) && play_song(song)) {
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
  if (plan.order_clock != nullptr) {
    *plan.order_clock = tracker.order_clock;
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
  const std::int32_t rate = request.rate;
  const bool endless = request.seconds < 0.0 && request.passes <= 0;
  std::int64_t target = std::numeric_limits<std::int64_t>::max();
  if (request.seconds >= 0.0) {
    target = std::llround(request.seconds * rate);
  } else if (!endless) {
    PassLimits limits = limits_at_rate(wav_pass_limits, rate);
    limits.max_channel_ticks *= request.passes;
    limits.cancel = cancel;
    PassPlan plan;
    plan.rate = rate;
    plan.passes = request.passes;
    plan.start_order = request.start_order;
    const PassLength pass = measure_pass(song, limits, plan);
    if (cancel != nullptr && cancel->load()) {
      error = "interrupted";
      return false;
    }
    if (!pass.complete) {
      error = std::string(request.passes == 1 ? "one pass" : "the passes") + " of the song " +
              (request.passes == 1 ? "is" : "are") + " longer than " +
              clock_text(static_cast<double>(pass.frames) / rate) + ": give --seconds to render a part of it";
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
  track_song(song, !request.timeline_path.empty(), pass_tracker, request.passes, request.start_order);
  if (!play_song(song)) {
    abandon_output_file(wav);
    abandon_output_file(timeline);
    error = "not enough memory to play the module";
    return false;
  }
  bool written = true;
  if (!request.raw) {
    const std::vector<std::uint8_t> header = wav_header(endless ? -1 : target, rate);
    written = std::fwrite(header.data(), 1, header.size(), wav.file.get()) == header.size();
  }
  if (timeline.file != nullptr) {
    written = std::fputs("frame\torder\trow\n", timeline.file.get()) >= 0 && written;
  }

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
  if (stopped || !written || !finish_output_file(wav) || (timeline.file != nullptr && !finish_output_file(timeline))) {
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
