// xmplay: plays Extended Module files with the demo's music player.
//
//   xmplay [--loop] FILE.xm                 play through the sound output
//   xmplay --wav OUT.wav [--seconds S] [--timeline OUT.tsv] FILE.xm
//                                           render one pass (or S seconds)
//   xmplay --info FILE.xm                   the module's figures
//
// Playing shows the module's name and a progress line, and stops after one
// pass unless --loop is given, or on q, Escape or Ctrl-C.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <conio.h>
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
    } else if (!argument.empty() && argument[0] != '-' && options.file.empty()) {
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

Song* load(const Options& options) {
  Song* song = load_song(options.file.c_str());
  if (song == nullptr) {
    std::fprintf(stderr, "xmplay: %s: %s\n", options.file.c_str(), load_result_text(last_load_result));
  }
  return song;
}

std::string clock_text(double seconds) {
  const auto tenths = static_cast<long long>(seconds * 10.0);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld.%lld", tenths / 600, tenths / 10 % 60, tenths % 10);
  return text;
}

int print_info(const Options& options) {
  Song* song = load(options);
  if (song == nullptr) {
    return 1;
  }
  int samples = 0;
  for (int i = 0; i < song->instrument_count; ++i) {
    samples += song->instruments[i].sample_count;
  }
  std::printf("name         %s\n", module_name(options.file).c_str());
  std::printf("channels     %d\n", song->channel_count);
  std::printf("orders       %d\n", song->song_length);
  std::printf("patterns     %d\n", song->pattern_count);
  std::printf("instruments  %d\n", song->instrument_count);
  std::printf("samples      %d\n", samples);
  std::printf("tempo        %d\n", song->default_tempo);
  std::printf("bpm          %d\n", song->default_bpm);
  std::printf("frequencies  %s\n", (song->flags & 1) != 0 ? "linear" : "amiga");
  open_offline_output(xmplay_rate);
  const std::int64_t frames = measure_pass_frames(song);
  std::printf("length       %.3f s (%lld frames)\n", static_cast<double>(frames) / xmplay_rate,
              static_cast<long long>(frames));
  free_song(song);
  close_output();
  return 0;
}

int render(const Options& options) {
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
  const bool rendered = render_wav(song, request, error);
  if (!rendered) {
    std::fprintf(stderr, "xmplay: %s\n", error.c_str());
  }
  free_song(song);
  close_output();
  return rendered ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The terminal while playing.

std::atomic<bool> interrupted{false};
void on_interrupt(int) { interrupted.store(true); }

#ifdef _WIN32
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

int play(const Options& options) {
  // The pass's length, from a copy of the song: playing changes a song
  // (effect E5 rewrites its samples' finetunes).
  Song* measured = load(options);
  if (measured == nullptr) {
    return 1;
  }
  open_offline_output(xmplay_rate);
  const double pass_seconds = static_cast<double>(measure_pass_frames(measured)) / xmplay_rate;
  free_song(measured);
  close_output();

  set_output_buffer_length(100);
  if (!open_output(xmplay_rate)) {
    std::fprintf(stderr, "xmplay: cannot open the sound output\n");
    return 1;
  }
  Song* song = load(options);
  if (song == nullptr) {
    close_output();
    return 1;
  }
  const std::string name = module_name(options.file);
  std::printf("%s\n", name.empty() ? options.file.c_str() : name.c_str());
  std::signal(SIGINT, on_interrupt);
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
      std::printf("\r  order %3d/%d  row %3d   %s / %s ", song_order(song), song->song_length, song_row(song),
                  clock_text(heard).c_str(), clock_text(pass_seconds).c_str());
      std::fflush(stdout);
      next_line += std::chrono::milliseconds(250);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::printf("\n");
  keys_raw(false);
  free_song(song);
  close_output();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    return usage();
  }
  use_stdio_files();
  if (options.info) {
    return print_info(options);
  }
  if (!options.wav.empty()) {
    return render(options);
  }
  return play(options);
}
