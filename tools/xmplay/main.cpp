// xmplay: plays Extended Module files with the demo's music player.
//
//   xmplay [OPTION]... FILE.xm...      play the files in turn
//   xmplay --wav OUT.wav FILE.xm       render one pass (or what is asked)
//   xmplay --info [--verbose] FILE.xm  the module's figures
//
// (xmplay --help lists the options.) A FILE may be "-" for standard input;
// a file that cannot seek (a pipe) is read whole first. On a terminal,
// playing shows a live view redrawn in place and takes keys; with its
// output elsewhere it prints one line per file. A song stops after one
// pass unless --loop or --repeat-song asks for more; the length of a pass
// is measured beside the playing, and given up past two hours of song.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tools/xmplay/controls.h"
#include "tools/xmplay/keys.h"
#include "tools/xmplay/live_view.h"
#include "tools/xmplay/module_names.h"
#include "tools/xmplay/options.h"
#include "tools/xmplay/player.h"
#include "tools/xmplay/stdio_file.h"
#include "tools/xmplay/terminal.h"

namespace {

const char* const version_text = "xmplay 2.2 (the music player of VORNA Z-PLORAN V2.2)\n";

std::int64_t milliseconds_now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Registers the file callbacks for the module: the file itself when it can
// seek (or does not open, which the loader then reports), else its bytes,
// read whole (standard input for "-"). Also finds the module's name, and
// gives the bytes when they were read whole.
bool prepare_source(const std::string& path, std::string& name, std::vector<std::uint8_t>* kept_bytes = nullptr) {
  if (path != "-") {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const bool opens = file != nullptr;
    if (opens) {
      std::fclose(file);
    }
    if (!opens || file_can_seek(path)) {
      use_stdio_files();
      name = module_name(path);
      return true;
    }
  }
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!read_whole_file(path, music_memory_budget, bytes, error)) {
    std::fprintf(stderr, "xmplay: %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  name = module_name_of(bytes);
  if (kept_bytes != nullptr) {
    *kept_bytes = bytes;
  }
  use_memory_file(std::move(bytes));
  return true;
}

std::string plural(std::int64_t count, const char* thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// What a file that ends early lacked, in one line on standard error.
void report_missing(const std::string& path) {
  const MissingParts& missing = last_load_missing;
  std::vector<std::string> parts;
  if (missing.patterns > 0) {
    std::string part = "pattern " + std::to_string(missing.first_pattern);
    if (missing.first_pattern_row > 0) {
      part += " from row " + std::to_string(missing.first_pattern_row);
    }
    parts.push_back(part);
    if (missing.patterns > 1) {
      parts.push_back(plural(missing.patterns - 1, "more pattern"));
    }
  }
  if (missing.instruments > 0) {
    parts.push_back(plural(missing.instruments, "instrument"));
  }
  if (missing.samples > 0) {
    std::string part = plural(missing.samples, "sample");
    if (missing.sample_frames > 0) {
      part += " (" + plural(missing.sample_frames, "frame") + ")";
    }
    parts.push_back(part);
  }
  if (parts.empty()) {
    return;
  }
  std::string text;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    text += (k == 0 ? "" : k + 1 == parts.size() ? " and " : ", ") + parts[k];
  }
  std::fprintf(stderr, "xmplay: %s: the file ends early; missing, and played as silence: %s\n", path.c_str(),
               text.c_str());
}

// The song, or null after saying why not: it does not load, or has no
// order start_order.
Song* load(const std::string& path, std::int32_t start_order, bool report = true) {
  Song* song = load_song(path.c_str());
  if (song == nullptr) {
    std::fprintf(stderr, "xmplay: %s: %s\n", path.c_str(), load_result_text(last_load_result));
    return nullptr;
  }
  if (report) {
    report_missing(path);
  }
  if (start_order >= song->song_length) {
    if (report) {
      std::fprintf(stderr, "xmplay: %s: no order %d to start at: the song has orders 0 to %d\n", path.c_str(),
                   start_order, song->song_length - 1);
    }
    free_song(song);
    return nullptr;
  }
  return song;
}

std::string length_text(const PassLength& length, std::int32_t rate) {
  if (!length.complete) {
    return "longer than " + clock_text(static_cast<double>(length.frames) / rate);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.3f s (%lld frames)", static_cast<double>(length.frames) / rate,
                static_cast<long long>(length.frames));
  return text;
}

const char* loop_kind(const Sample& sample) {
  if ((sample.loop_type & loop_ping_pong) != 0) {
    return "ping-pong";
  }
  return (sample.loop_type & loop_forward) != 0 ? "forward" : "none";
}

// The instruments and their samples: names from the file, lengths and
// loops as the player loaded them.
void print_instruments(const Song* song, const std::vector<std::uint8_t>& bytes) {
  const std::vector<InstrumentNames> names = instrument_names(bytes);
  std::printf("\ninstrument  name                    samples\n");
  for (int i = 0; i < song->instrument_count; ++i) {
    const Instrument& instrument = song->instruments[i];
    const InstrumentNames* named =
        static_cast<std::size_t>(i) < names.size() ? &names[static_cast<std::size_t>(i)] : nullptr;
    std::printf("%02X          %-22s  %d\n", i + 1, named != nullptr ? named->name.c_str() : "",
                instrument.sample_count);
    for (int s = 0; s < instrument.sample_count; ++s) {
      const Sample& sample = *instrument.samples[s];
      const std::string sample_name = named != nullptr && static_cast<std::size_t>(s) < named->samples.size()
                                          ? named->samples[static_cast<std::size_t>(s)]
                                          : "";
      std::printf("  sample %-2d %-22s  %8u frames  loop %-9s", s, sample_name.c_str(), sample.length,
                  loop_kind(sample));
      if ((sample.loop_type & (loop_forward | loop_ping_pong)) != 0) {
        std::printf(" %u+%u", sample.loop_start, sample.loop_length);
      }
      std::printf("  volume %2d  note %+d  finetune %+d\n", sample.volume, sample.relative_note, sample.finetune);
    }
  }
}

bool print_info(const Options& options, const std::string& path, bool heading) {
  std::string name;
  std::vector<std::uint8_t> bytes;
  if (!prepare_source(path, name, &bytes)) {
    return false;
  }
  Song* song = load(path, options.start_order);
  if (song == nullptr) {
    return false;
  }
  if (options.verbose && bytes.empty()) {
    std::string error;
    read_whole_file(path, music_memory_budget, bytes, error);
  }
  int samples = 0;
  for (int i = 0; i < song->instrument_count; ++i) {
    samples += song->instruments[i].sample_count;
  }
  if (heading) {
    std::printf("file         %s\n", path.c_str());
  }
  std::printf("name         %s\n", name.c_str());
  std::printf("channels     %d\n", song->channel_count);
  std::printf("orders       %d\n", song->song_length);
  std::printf("patterns     %d\n", song->pattern_count);
  std::printf("instruments  %d\n", song->instrument_count);
  std::printf("samples      %d\n", samples);
  std::printf("tempo        %d\n", song->default_tempo);
  std::printf("bpm          %d\n", song->default_bpm);
  std::printf("frequencies  %s\n", linear_frequencies(song) ? "linear" : "amiga");
  std::fflush(stdout);
  PassPlan plan;
  plan.rate = options.rate;
  plan.start_order = options.start_order;
  std::printf(
      "length       %s\n",
      length_text(measure_pass(song, limits_at_rate(quick_pass_limits, options.rate), plan), options.rate).c_str());
  if (options.verbose) {
    print_instruments(song, bytes);
  }
  free_song(song);
  return true;
}

// The listener's settings from the command line, for rendering and playing.
void apply_settings(const Options& options) {
  reset_player_controls();
  player_controls.gain_db.store(static_cast<float>(options.gain_db));
  player_controls.stereo_percent.store(options.stereo_percent);
  for (int channel : options.muted) {
    set_channel_muted(channel, true);
  }
}

std::atomic<bool> render_interrupted{false};
void on_render_interrupt(int) { render_interrupted.store(true); }

int render(const Options& options) {
  std::signal(SIGINT, on_render_interrupt);
  std::signal(SIGTERM, on_render_interrupt);
  const std::string& path = options.files.front();
  std::string name;
  if (!prepare_source(path, name)) {
    return 1;
  }
  Song* song = load(path, options.start_order);
  if (song == nullptr) {
    return 1;
  }
  if (!open_offline_output(options.rate)) {
    std::fprintf(stderr, "xmplay: not enough memory for the output\n");
    free_song(song);
    return 1;
  }
  apply_settings(options);
  current_output->finish_mix = finish_player_mix;
  RenderRequest request;
  request.raw = options.wav.empty();
  request.wav_path = request.raw ? options.raw : options.wav;
  request.seconds = options.seconds;
  request.passes = options.song_passes;
  request.start_order = options.start_order;
  request.rate = options.rate;
  request.timeline_path = options.timeline;
  std::string error;
  const bool rendered = render_wav(song, request, error, nullptr, &render_interrupted);
  if (!rendered) {
    std::fprintf(stderr, "xmplay: %s\n", error.c_str());
  }
  current_output->finish_mix = nullptr;
  free_song(song);
  close_output();
  return rendered ? 0 : render_interrupted.load() ? 130 : 1;
}

// ---------------------------------------------------------------------------
// Live play.

// One pass of a copy of the song, measured on a thread and an output of its
// own while the song plays: playing changes a song (effect E5 rewrites its
// samples' finetunes), and measuring may take a while.
struct SideMeasure {
  Song* song = nullptr;
  PassPlan plan;
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  PassLength length = {0, false};         // written before done is set
  std::vector<std::int64_t> order_clock;  // the same
  std::thread thread;
};

void measure_on_the_side(SideMeasure& side) {
  PassLimits limits = limits_at_rate(quick_pass_limits, side.plan.rate);
  limits.cancel = &side.stop;
  side.plan.order_clock = &side.order_clock;
  side.length = measure_pass(side.song, limits, side.plan);
  side.done.store(!side.stop.load());
}

enum class Outcome { finished, next, previous, quit, failed, no_output };

// What stays from file to file while a list plays.
struct Session {
  bool keys = false;  // standard input gives keys
  bool view = false;  // the live view is drawn
  KeyReader reader;
  double gain_db = 0.0;
  int bank = 0;
  bool help = false;
  int drawn_lines = 0;  // lines of the view on the screen
};

void write_out(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
      c = '?';
    }
  }
  return text;
}

std::string file_label(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

ViewFacts gather_facts(const Song* song, const SideMeasure& side, const Session& session, const Options& options,
                       double seconds, bool paused) {
  ViewFacts facts;
  const std::int32_t order = std::clamp<std::int32_t>(song_order(song), 0, 255);
  facts.order = order;
  facts.order_count = song->song_length;
  facts.pattern = song->order_table[order];
  facts.row = song_row(song);
  facts.rows = facts.pattern < song->pattern_count ? song->patterns[facts.pattern].rows : 0;
  facts.seconds = seconds;
  if (side.done.load()) {
    facts.length_seconds = static_cast<double>(side.length.frames) / options.rate;
    facts.length_complete = side.length.complete;
  }
  facts.pass = pass_tracker.pass.load();
  facts.passes = options.song_passes;
  facts.tempo = player_controls.tempo.load();
  facts.bpm = player_controls.bpm.load();
  facts.gain_db = session.gain_db;
  facts.stereo_percent = options.stereo_percent;
  facts.paused = paused;
  facts.bank = session.bank;
  facts.help = session.help;
  const int channels = std::min<int>(song->channel_count, control_channels);
  for (int k = 0; k < channels; ++k) {
    const std::uint16_t note = player_controls.note[k].load();
    facts.channels.push_back({note & 0xFF, note >> 8, paused ? 0 : player_controls.level[k].load(), channel_muted(k)});
  }
  return facts;
}

Outcome play_file(const Options& options, Session& session, const std::string& path, int index, int count) {
  std::string name;
  if (!prepare_source(path, name)) {
    return Outcome::failed;
  }
  Song* song = load(path, options.start_order);
  if (song == nullptr) {
    return Outcome::failed;
  }
  SideMeasure side;
  side.plan.rate = options.rate;
  side.plan.start_order = options.start_order;
  side.song = load(path, options.start_order, false);
  if (side.song != nullptr) {
    side.thread = std::thread(measure_on_the_side, std::ref(side));
  }
  const auto finish = [&] {
    side.stop.store(true);
    if (side.thread.joinable()) {
      side.thread.join();
    }
    free_song(side.song);
    free_song(song);
    forget_tracker(pass_tracker);
    close_output();
  };
  set_output_buffer_length(100);
  default_output.finish_mix = finish_player_mix;
  if (!open_output(options.rate)) {
    std::fprintf(stderr, "xmplay: cannot open the sound output\n");
    finish();
    return Outcome::no_output;
  }
  const std::string title = printable(name.empty() ? file_label(path) : name);
  if (!options.quiet && !session.view) {
    std::printf("[%d/%d] %s (%s)\n", index, count, title.c_str(), path.c_str());
    std::fflush(stdout);
  }
  for (int k = 0; k < control_channels; ++k) {
    player_controls.note[k].store(0);
    player_controls.level[k].store(0);
  }
  track_song(song, false, pass_tracker, options.song_passes, options.start_order);
  play_song(song);
  // What is rendered now is heard about one ring later.
  const std::int64_t latency = current_output->ring_frames;
  const std::int64_t seconds_limit =
      options.seconds >= 0.0 ? std::llround(options.seconds * options.rate) : std::numeric_limits<std::int64_t>::max();
  bool paused = false;
  Outcome outcome = Outcome::finished;
  std::int64_t next_draw = 0;
  std::vector<Key> keys;
  for (;;) {
    const std::int64_t heard = std::max<std::int64_t>(0, pass_tracker.ticked_frames.load() - latency);
    const std::int64_t end_frame = pass_tracker.pass_end_frame.load();
    if ((end_frame >= 0 && heard >= end_frame) || heard >= seconds_limit) {
      break;
    }
    if (stop_signal() != 0) {
      outcome = Outcome::quit;
      break;
    }
    char bytes[64];
    const std::size_t got = read_key_bytes(bytes, sizeof bytes, 50);
    const std::int64_t now = milliseconds_now();
    keys.clear();
    if (got > 0) {
      key_reader_feed(session.reader, bytes, got, now, keys);
    }
    key_reader_poll(session.reader, now, keys);
    bool redraw = false;
    for (const Key& key : keys) {
      // Keys that come together move on from a seek not yet taken.
      const std::int32_t pending = pass_tracker.seek_order.load();
      const std::int32_t order = pending >= 0 ? pending : song_order(song);
      const auto seek = [&](std::int32_t target) {
        target = std::clamp<std::int32_t>(target, 0, song->song_length - 1);
        const std::int64_t clock = side.done.load() ? side.order_clock[static_cast<std::size_t>(target)] : -1;
        seek_to_order(pass_tracker, target, clock);
      };
      redraw = true;
      switch (key.code) {
        case KeyCode::escape:
          outcome = Outcome::quit;
          break;
        case KeyCode::left:
          seek(order - 1);
          break;
        case KeyCode::right:
          seek(order + 1);
          break;
        case KeyCode::up:
          seek(order + 4);
          break;
        case KeyCode::down:
          seek(order - 4);
          break;
        case KeyCode::tab:
          session.bank = (session.bank + 1) * 10 < song->channel_count ? session.bank + 1 : 0;
          break;
        case KeyCode::character:
          switch (key.character) {
            case 'q':
            case 'Q':
              outcome = Outcome::quit;
              break;
            case 'n':
            case 'N':
              outcome = Outcome::next;
              break;
            case 'p':
            case 'P':
              outcome = Outcome::previous;
              break;
            case ' ':
              paused = !paused;
              pause_song(song, paused);
              break;
            case '+':
            case '=':
            case '-':
            case '_':
              session.gain_db =
                  std::clamp(session.gain_db + (key.character == '+' || key.character == '=' ? 1 : -1), -60.0, 24.0);
              player_controls.gain_db.store(static_cast<float>(session.gain_db));
              break;
            case 'u':
            case 'U':
              for (int k = 0; k < control_channels; ++k) {
                set_channel_muted(k, false);
              }
              break;
            case '?':
              session.help = !session.help;
              if (!session.view) {
                std::fputs(usage_text().c_str() + usage_text().find("Keys while playing"), stderr);
              }
              break;
            default:
              if (key.character >= '0' && key.character <= '9') {
                const int channel = session.bank * 10 + (key.character == '0' ? 9 : key.character - '1');
                set_channel_muted(channel, !channel_muted(channel));
              }
              break;
          }
          break;
        default:
          break;
      }
      if (outcome != Outcome::finished) {
        break;
      }
    }
    if (outcome != Outcome::finished) {
      break;
    }
    if (session.view && (redraw || now >= next_draw)) {
      const std::int64_t clock = std::max<std::int64_t>(0, pass_tracker.pass_clock.load() - latency);
      ViewFacts facts = gather_facts(song, side, session, options, static_cast<double>(clock) / options.rate, paused);
      facts.title = title;
      facts.file = path;
      facts.file_index = index;
      facts.file_count = count;
      const TerminalSize size = terminal_size();
      const std::vector<std::string> lines = view_lines(facts, size.columns, size.rows);
      write_out(draw_in_place(lines, session.drawn_lines));
      session.drawn_lines = static_cast<int>(lines.size());
      next_draw = now + 200;
    }
  }
  if (session.view) {
    // The view gives way to one line for the file played.
    const double played =
        static_cast<double>(std::max<std::int64_t>(0, pass_tracker.ticked_frames.load() - latency)) / options.rate;
    write_out(erase_in_place(session.drawn_lines) + "[" + std::to_string(index) + "/" + std::to_string(count) + "] " +
              title + " (" + path + ")  " + clock_text(played) + "\n");
    session.drawn_lines = 0;
  }
  finish();
  return outcome;
}

int play_list(const Options& options) {
  catch_stop_signals();
  Session session;
  session.keys = begin_key_input();
  session.view = !options.quiet && stdout_is_terminal();
  if (session.view) {
    set_cursor_hidden(true);
    write_out("\x1b[?25l");
  }
  apply_settings(options);
  session.gain_db = options.gain_db;
  std::vector<std::size_t> order(options.files.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::mt19937 random(std::random_device{}());
  const int count = static_cast<int>(order.size());
  bool any_failed = false;
  bool quit = false;
  for (std::int32_t round = 0; !quit && (options.list_passes == 0 || round < options.list_passes); ++round) {
    if (options.shuffle) {
      std::shuffle(order.begin(), order.end(), random);
    }
    int played = 0;
    bool backwards = false;
    for (int k = 0; k < count && !quit;) {
      const Outcome outcome =
          play_file(options, session, options.files[order[static_cast<std::size_t>(k)]], k + 1, count);
      switch (outcome) {
        case Outcome::failed:
          any_failed = true;
          k = backwards && k > 0 ? k - 1 : k + 1;
          if (backwards && k == 0) {
            backwards = false;
          }
          continue;
        case Outcome::quit:
          quit = true;
          break;
        case Outcome::no_output:
          quit = true;
          any_failed = true;
          break;
        case Outcome::previous:
          backwards = true;
          k = std::max(k - 1, 0);
          break;
        case Outcome::next:
        case Outcome::finished:
          backwards = false;
          ++k;
          break;
      }
      ++played;
    }
    if (played == 0) {
      break;  // nothing in the list plays: no second round
    }
  }
  if (session.view) {
    write_out("\x1b[?25h");
    set_cursor_hidden(false);
  }
  end_key_input();
  const int signal_number = stop_signal();
  if (signal_number != 0 && signal_number != SIGINT) {
    return 128 + signal_number;
  }
  return any_failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!parse_options(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "xmplay: %s\nTry 'xmplay --help' for more information.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(usage_text().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(version_text, stdout);
    return 0;
  }
  prepare_standard_streams();
  if (options.info) {
    bool all = true;
    for (std::size_t k = 0; k < options.files.size(); ++k) {
      if (k > 0) {
        std::printf("\n");
      }
      all = print_info(options, options.files[k], options.files.size() > 1) && all;
    }
    return all ? 0 : 1;
  }
  if (!options.wav.empty() || !options.raw.empty()) {
    return render(options);
  }
  return play_list(options);
}
