// xmplay: plays Extended Module files with the demo's music player.
//
//   xmplay [--loop] FILE.xm                 play through the sound output
//   xmplay --wav OUT.wav [--seconds S] [--timeline OUT.tsv] FILE.xm
//                                           render one pass (or S seconds)
//   xmplay --info FILE.xm                   the module's figures
//
// FILE.xm may be "-" for standard input; a file that cannot seek (a pipe)
// is read whole first. Playing shows the module's name and a progress line,
// and stops after one pass unless --loop is given, or on q, Escape or
// Ctrl-C. The length of a pass is measured beside the playing, and given up
// past two hours of song.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#else
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>
#endif

#include "tools/xmplay/player.h"
#include "tools/xmplay/stdio_file.h"

namespace {

struct Options {
  std::string file;
  std::string wav;
  std::string timeline;
  double seconds = -1.0;
  bool info = false;
  bool loop = false;
};

int usage() {
  std::fprintf(stderr,
               "usage: xmplay [--loop] FILE.xm\n"
               "       xmplay --wav OUT.wav [--seconds S] [--timeline OUT.tsv] FILE.xm\n"
               "       xmplay --info FILE.xm\n");
  return 2;
}

bool parse(int argc, char** argv, Options& options) {
  for (int k = 1; k < argc; ++k) {
    const std::string argument = argv[k];
    const bool has_value = k + 1 < argc;
    if (argument == "--loop") {
      options.loop = true;
    } else if (argument == "--info") {
      options.info = true;
    } else if (argument == "--wav" && has_value) {
      options.wav = argv[++k];
    } else if (argument == "--timeline" && has_value) {
      options.timeline = argv[++k];
    } else if (argument == "--seconds" && has_value) {
      char* end = nullptr;
      options.seconds = std::strtod(argv[++k], &end);
      if (end == argv[k] || *end != '\0' || !(options.seconds >= 0.0) || options.seconds > 86400.0) {
        return false;
      }
    } else if (!argument.empty() && (argument[0] != '-' || argument == "-") && options.file.empty()) {
      options.file = argument;
    } else {
      return false;
    }
  }
  const bool rendering = !options.wav.empty();
  if (options.file.empty() || (options.info && (rendering || options.loop)) ||
      (!rendering && (!options.timeline.empty() || options.seconds >= 0.0))) {
    return false;
  }
  return true;
}

// Registers the file callbacks for the module: the file itself when it can
// seek (or does not open, which the loader then reports), else its bytes,
// read whole (standard input for "-"). Also finds the module's name.
bool prepare_source(const Options& options, std::string& name) {
  if (options.file != "-") {
    std::FILE* file = std::fopen(options.file.c_str(), "rb");
    const bool opens = file != nullptr;
    if (opens) {
      std::fclose(file);
    }
    if (!opens || file_can_seek(options.file)) {
      use_stdio_files();
      name = module_name(options.file);
      return true;
    }
  }
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!read_whole_file(options.file, music_memory_budget, bytes, error)) {
    std::fprintf(stderr, "xmplay: %s: %s\n", options.file.c_str(), error.c_str());
    return false;
  }
  name = module_name_of(bytes);
  use_memory_file(std::move(bytes));
  return true;
}

std::string plural(std::int64_t count, const char* thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// What a file that ends early lacked, in one line on standard error.
void report_missing(const Options& options) {
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
  std::fprintf(stderr, "xmplay: %s: the file ends early; missing, and played as silence: %s\n",
               options.file.c_str(), text.c_str());
}

Song* load(const Options& options, bool report = true) {
  Song* song = load_song(options.file.c_str());
  if (song == nullptr) {
    std::fprintf(stderr, "xmplay: %s: %s\n", options.file.c_str(), load_result_text(last_load_result));
  } else if (report) {
    report_missing(options);
  }
  return song;
}

std::string length_text(const PassLength& length) {
  if (!length.complete) {
    return "longer than " + clock_text(static_cast<double>(length.frames) / xmplay_rate);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.3f s (%lld frames)", static_cast<double>(length.frames) / xmplay_rate,
                static_cast<long long>(length.frames));
  return text;
}

int print_info(const Options& options, const std::string& name) {
  Song* song = load(options);
  if (song == nullptr) {
    return 1;
  }
  int samples = 0;
  for (int i = 0; i < song->instrument_count; ++i) {
    samples += song->instruments[i].sample_count;
  }
  std::printf("name         %s\n", name.c_str());
  std::printf("channels     %d\n", song->channel_count);
  std::printf("orders       %d\n", song->song_length);
  std::printf("patterns     %d\n", song->pattern_count);
  std::printf("instruments  %d\n", song->instrument_count);
  std::printf("samples      %d\n", samples);
  std::printf("tempo        %d\n", song->default_tempo);
  std::printf("bpm          %d\n", song->default_bpm);
  std::printf("frequencies  %s\n", (song->flags & 1) != 0 ? "linear" : "amiga");
  std::fflush(stdout);
  std::printf("length       %s\n", length_text(measure_pass(song)).c_str());
  free_song(song);
  return 0;
}

std::atomic<bool> interrupted{false};
void on_interrupt(int) { interrupted.store(true); }

int render(const Options& options) {
  std::signal(SIGINT, on_interrupt);
  Song* song = load(options);
  if (song == nullptr) {
    return 1;
  }
  if (!open_offline_output(xmplay_rate)) {
    std::fprintf(stderr, "xmplay: not enough memory for the output\n");
    free_song(song);
    return 1;
  }
  RenderRequest request;
  request.wav_path = options.wav;
  request.seconds = options.seconds;
  request.timeline_path = options.timeline;
  std::string error;
  const bool rendered = render_wav(song, request, error, nullptr, &interrupted);
  if (!rendered) {
    std::fprintf(stderr, "xmplay: %s\n", error.c_str());
  }
  free_song(song);
  close_output();
  return rendered ? 0 : interrupted.load() ? 130 : 1;
}

// ---------------------------------------------------------------------------
// Standard input, and the terminal while playing.

#ifdef _WIN32
// A module is binary: Windows would otherwise read standard input as text,
// turning CR LF into LF and ending it at the first Ctrl-Z.
void binary_standard_input() { _setmode(_fileno(stdin), _O_BINARY); }

void keys_raw(bool) {}
bool quit_key_pressed() {
  while (_kbhit() != 0) {
    const int key = _getch();
    if (key == 'q' || key == 'Q' || key == 27) {
      return true;
    }
  }
  return false;
}
#else
void binary_standard_input() {}

termios saved_terminal = {};
bool terminal_saved = false;

void keys_raw(bool raw) {
  if (raw && isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &saved_terminal) == 0) {
    termios changed = saved_terminal;
    changed.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    changed.c_cc[VMIN] = 0;
    changed.c_cc[VTIME] = 0;
    terminal_saved = tcsetattr(STDIN_FILENO, TCSANOW, &changed) == 0;
  } else if (!raw && terminal_saved) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
    terminal_saved = false;
  }
}

bool quit_key_pressed() {
  if (!terminal_saved) {
    return false;
  }
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(STDIN_FILENO, &ready);
  timeval no_wait = {0, 0};
  while (select(STDIN_FILENO + 1, &ready, nullptr, nullptr, &no_wait) > 0) {
    char key = 0;
    if (read(STDIN_FILENO, &key, 1) != 1) {
      return false;
    }
    if (key == 'q' || key == 'Q' || key == 27) {
      return true;
    }
  }
  return false;
}
#endif

// One pass of a copy of the song, measured on a thread and an output of its
// own while the song plays: playing changes a song (effect E5 rewrites its
// samples' finetunes), and measuring may take a while.
struct SideMeasure {
  Song* song = nullptr;
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  PassLength length = {0, false};  // written before done is set
  std::thread thread;
};

void measure_on_the_side(SideMeasure& side) {
  PassLimits limits = quick_pass_limits;
  limits.cancel = &side.stop;
  side.length = measure_pass(side.song, limits);
  side.done.store(!side.stop.load());
}

int play(const Options& options, const std::string& name) {
  // Ctrl-C is caught from the start; the sound library then leaves it alone.
  std::signal(SIGINT, on_interrupt);
  Song* song = load(options);
  if (song == nullptr) {
    return 1;
  }
  SideMeasure side;
  side.song = load(options, false);
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
  if (!open_output(xmplay_rate)) {
    std::fprintf(stderr, "xmplay: cannot open the sound output\n");
    finish();
    return 1;
  }
  std::printf("%s\n", name.empty() ? options.file.c_str() : name.c_str());
  keys_raw(true);
  track_song(song, false);
  play_song(song);
  // What is rendered now is heard about one ring later.
  const double latency = static_cast<double>(current_output->ring_frames) / xmplay_rate;
  const auto start = std::chrono::steady_clock::now();
  auto next_line = start;
  for (;;) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double heard = elapsed > latency ? elapsed - latency : 0.0;
    const std::int64_t end_frame = pass_tracker.pass_end_frame.load();
    if (!options.loop && end_frame >= 0 && heard * xmplay_rate >= static_cast<double>(end_frame)) {
      break;
    }
    if (interrupted.load() || quit_key_pressed()) {
      break;
    }
    if (std::chrono::steady_clock::now() >= next_line) {
      std::string total = "?:??";
      if (side.done.load()) {
        total = (side.length.complete ? "" : "> ") + clock_text(static_cast<double>(side.length.frames) / xmplay_rate);
      }
      std::printf("\r  order %3d/%d  row %3d   %s / %s ", song_order(song), song->song_length, song_row(song),
                  clock_text(heard).c_str(), total.c_str());
      std::fflush(stdout);
      next_line += std::chrono::milliseconds(250);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::printf("\n");
  keys_raw(false);
  finish();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    return usage();
  }
  binary_standard_input();
  std::string name;
  if (!prepare_source(options, name)) {
    return 1;
  }
  if (options.info) {
    return print_info(options, name);
  }
  if (!options.wav.empty()) {
    return render(options);
  }
  return play(options, name);
}
