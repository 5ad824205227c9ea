// vorna-capture: the whole demo on the headless backend, writing what a
// viewer would see and hear: a frame log, PNG frames, the sound as WAV and
// a video through ffmpeg. The run is a pure function of the options, so two
// captures with the same options give the same files.
#include <unistd.h>
#include <windows.h>

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "headless/headless.h"
#include "tools/capture/fnv1a.h"
#include "tools/capture/position.h"
#include "tools/capture/progress.h"
#include "tools/png/frame_png.h"
#include "tools/wav/wav_header.h"

namespace {

constexpr std::uint32_t frame_width = 320;
constexpr std::uint32_t frame_height = 200;
constexpr std::uint32_t frame_bytes = frame_width * frame_height * 2;
constexpr std::uint32_t audio_rate = 44100;

// What the video is for. Sharing wants a small file that still looks like
// the show; archiving wants every frame, nearly as drawn. Figures measured
// on the whole show (960 x 720, 2 cores): see the README. The encoder's
// threads are fixed so that the file does not depend on the machine's cores.
struct VideoQuality {
  const char* name;
  std::uint32_t target_rate;  // video frames per second at most (every k-th frame kept); 0: all
  const char* encoder;        // ffmpeg's options for the picture
  const char* sound_rate;     // the AAC sound's bits per second
};
constexpr VideoQuality video_qualities[] = {
    // Every other frame, just under 1 MB per second of show with the sound
    // (about 150 MB for the whole show). The grain, warps and tunnels change
    // most pixels in every frame, so B-frames win nothing here: without them
    // the time goes to sub-pixel refinement (subme 6), three reference
    // frames and trellis quantisation, about 10 % more quality per byte than
    // the veryfast preset alone, at about 1.5 CPU-seconds per second of show (AAC sound at 96 kbit/s).
    // A wider motion search (umh) would add a little more but takes the
    // encoding past two cores' real time. Tuned for SSIM (psychovisual
    // tricks off). At 60 frames a second no setting fast enough for real
    // time comes near the size, and a bitrate cap starves the busiest
    // scenes. bench/video/quality.sh measures size, SSIM and speed.
    {"share", 30,
     "-c:v libx264 -preset veryfast -tune ssim -crf 24.6"
     " -x264-params bframes=0:ref=3:subme=6:trellis=1 -threads 4",
     "96k"},
    // Every frame at high quality, several times the size.
    {"archive", 0, "-c:v libx264 -preset veryfast -crf 16 -threads 4", "128k"},
};

struct Options {
  std::uint32_t fps = 60;
  const VideoQuality* quality = &video_qualities[0];
  std::uint32_t frame_limit = 0;  // 0: until the song wraps
  bool hold_escape = false;
  std::vector<std::uint32_t> escape_frames;
  std::string png_dir;
  std::uint32_t every = 1;
  std::string wav_path;
  std::string video_path;
  std::string log_path;
  int progress = -1;  // -1: shown when standard error is a terminal; 0: never; 1: always
  bool sound_hash = false;
};

[[noreturn]] void fail(const std::string& reason) {
  std::fprintf(stderr, "vorna-capture: %s\n", reason.c_str());
  std::exit(2);
}

void usage() {
  std::printf(
      "usage: vorna-capture [options]\n"
      "  --fps N            video frames per second (default 60)\n"
      "  --frames N         capture N frames, then press Escape\n"
      "  --seconds S        capture S seconds, then press Escape\n"
      "                     (default: until the song first wraps past its last order)\n"
      "  --hold-escape      hold Escape from the start\n"
      "  --escape-at F,...  press Escape during these frames (counted from 1)\n"
      "  --png DIR          write frames as DIR/frame_NNNNNN.png\n"
      "  --every K          with --png, only every K-th frame (default 1)\n"
      "  --wav FILE         write the sound (44100 Hz, 16-bit stereo)\n"
      "  --video FILE.mp4   write a video with sound through ffmpeg (960 x 720)\n"
      "  --video-quality Q  share (default): 30 frames a second, about 1 MB per second\n"
      "                     of show; archive: all 60, several times the size\n"
      "  --log FILE.tsv     one line per frame: number, song position, FNV-1a hash\n"
      "  --sound-hash       with --log, end it with: sound, frames, FNV-1a hash of the sound\n"
      "  --progress         show the progress line even when standard error is not a terminal\n"
      "  --no-progress      never show it (by default it shows on a terminal)\n");
}

std::uint32_t parse_count(const std::string& option, const char* text, std::uint32_t low, std::uint32_t high) {
  if (text == nullptr) {
    fail(option + " needs a value");
  }
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || value < low || value > high) {
    fail(option + " takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) + ", not '" +
         text + "'");
  }
  return static_cast<std::uint32_t>(value);
}

Options parse_options(int argc, char** argv) {
  Options options;
  double seconds = -1.0;
  bool frames_given = false;
  bool every_given = false;
  bool quality_given = false;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto text_value = [&]() -> std::string {
      if (value == nullptr || value[0] == '\0') {
        fail(option + " needs a value");
      }
      ++i;
      return value;
    };
    if (option == "--help" || option == "-h") {
      usage();
      std::exit(0);
    } else if (option == "--fps") {
      options.fps = parse_count(option, value, 1, 1000);
      ++i;
    } else if (option == "--frames") {
      options.frame_limit = parse_count(option, value, 1, 100000000);
      frames_given = true;
      ++i;
    } else if (option == "--seconds") {
      std::string text = text_value();
      char* end = nullptr;
      seconds = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0' || !(seconds > 0.0) || seconds > 1.0e6) {
        fail("--seconds takes a positive number of seconds, not '" + text + "'");
      }
    } else if (option == "--hold-escape") {
      options.hold_escape = true;
    } else if (option == "--escape-at") {
      std::string list = text_value();
      std::size_t start = 0;
      while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        options.escape_frames.push_back(parse_count("--escape-at", item.c_str(), 1, 100000000));
        if (comma == std::string::npos) {
          break;
        }
        start = comma + 1;
      }
    } else if (option == "--png") {
      options.png_dir = text_value();
    } else if (option == "--every") {
      options.every = parse_count(option, value, 1, 100000000);
      every_given = true;
      ++i;
    } else if (option == "--wav") {
      options.wav_path = text_value();
    } else if (option == "--video") {
      options.video_path = text_value();
    } else if (option == "--video-quality") {
      std::string name = text_value();
      quality_given = true;
      options.quality = nullptr;
      for (const VideoQuality& quality : video_qualities) {
        if (name == quality.name) {
          options.quality = &quality;
        }
      }
      if (options.quality == nullptr) {
        fail("--video-quality is share or archive, not '" + name + "'");
      }
    } else if (option == "--log") {
      options.log_path = text_value();
    } else if (option == "--progress") {
      options.progress = 1;
    } else if (option == "--no-progress") {
      options.progress = 0;
    } else if (option == "--sound-hash") {
      options.sound_hash = true;
    } else {
      fail("unknown option '" + option + "' (try --help)");
    }
  }
  if (frames_given && seconds > 0.0) {
    fail("give --frames or --seconds, not both");
  }
  if (seconds > 0.0) {
    double frames = std::ceil(seconds * options.fps);
    options.frame_limit = frames < 1.0 ? 1 : frames > 1.0e8 ? 100000000u : static_cast<std::uint32_t>(frames);
  }
  if (quality_given && options.video_path.empty()) {
    fail("--video-quality goes with --video");
  }
  if (every_given && options.png_dir.empty()) {
    fail("--every goes with --png");
  }
  if (options.sound_hash && options.log_path.empty()) {
    fail("--sound-hash goes with --log");
  }
  return options;
}

bool ffmpeg_available() {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t colon = dirs.find(':', start);
    std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/ffmpeg";
    if (::access(candidate.c_str(), X_OK) == 0) {
      return true;
    }
    if (colon == std::string::npos) {
      break;
    }
    start = colon + 1;
  }
  return false;
}

std::string shell_quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// A 16-bit stereo PCM WAV file; the sizes are filled in at the end, as
// plain RIFF even past 4 GB (then they say less than there is).
bool write_wav_header(std::FILE* file, std::uint64_t data_bytes) {
  const auto frames = static_cast<std::int64_t>(std::min<std::uint64_t>(data_bytes / 4, wav_riff_frame_limit));
  const std::vector<std::uint8_t> header = wav_header(frames, audio_rate);
  return std::fwrite(header.data(), 1, header.size(), file) == header.size();
}

// Everything the run writes, kept open while it goes on.
struct Outputs {
  Options options;
  std::FILE* log = nullptr;
  std::FILE* wav = nullptr;
  std::uint64_t wav_bytes = 0;
  std::string wav_file;  // the WAV written, the user's or a temporary one for the video
  std::FILE* video = nullptr;
  std::string video_only;        // the video without sound, muxed at the end
  std::uint32_t video_step = 1;  // every video_step-th frame goes into the video
  std::uint32_t recorded = 0;
  std::uint64_t sound_frames = 0;  // recorded, and their hash
  std::uint64_t sound_hash = fnv1a64_start;
  std::uint16_t last_position = 0;
  bool recording = true;
  bool show_progress = false;
  std::chrono::steady_clock::time_point started;
  std::chrono::steady_clock::time_point last_progress;
  bool failed = false;
  std::string failure;
};

Outputs* outputs = nullptr;

void note_failure(const std::string& what) {
  if (!outputs->failed) {
    outputs->failed = true;
    outputs->failure = what;
  }
}

void on_audio(const std::int16_t* samples, std::uint32_t frames) {
  if (!outputs->recording) {
    return;
  }
  // The file is little-endian, as is every machine this runs on.
  std::size_t bytes = static_cast<std::size_t>(frames) * 4;
  if (outputs->options.sound_hash) {
    outputs->sound_hash = fnv1a64_more(outputs->sound_hash, samples, bytes);
    outputs->sound_frames += frames;
  }
  if (outputs->wav == nullptr) {
    return;
  }
  if (std::fwrite(samples, 1, bytes, outputs->wav) != bytes) {
    note_failure("cannot write " + outputs->wav_file);
  }
  outputs->wav_bytes += bytes;
}

// Rewrites the progress line on standard error, at most five times a second
// (and always for the last frame, when `last` is set).
void show_progress(std::uint32_t frame, std::uint16_t position, bool last) {
  Outputs& out = *outputs;
  auto now = std::chrono::steady_clock::now();
  if (!last && frame > 1 && now - out.last_progress < std::chrono::milliseconds(200)) {
    return;
  }
  out.last_progress = now;
  ProgressFigures figures;
  figures.frames = frame;
  figures.position = position;
  figures.show_seconds = static_cast<double>(frame) / out.options.fps;
  figures.elapsed_seconds = std::chrono::duration<double>(now - out.started).count();
  if (out.options.frame_limit != 0) {
    figures.fraction = static_cast<double>(frame) / out.options.frame_limit;
  } else {
    figures.fraction = last ? 1.0 : capture_song_fraction(position);
  }
  std::fprintf(stderr, "\r%s\033[K", progress_line(figures).c_str());
  std::fflush(stderr);
}

void on_frame(const std::uint16_t* pixels, std::uint32_t frame) {
  Outputs& out = *outputs;
  if (!out.recording) {
    return;
  }
  ++out.recorded;
  const std::uint16_t position = capture_song_position();
  if (out.log != nullptr) {
    std::fprintf(out.log, "%u\t%04x\t%016llx\n", frame, static_cast<unsigned>(position),
                 static_cast<unsigned long long>(fnv1a64(pixels, frame_bytes)));
  }
  if (!out.options.png_dir.empty() && (frame - 1) % out.options.every == 0) {
    char name[32];
    std::snprintf(name, sizeof(name), "/frame_%06u.png", frame);
    if (!write_frame_png(out.options.png_dir + name, pixels)) {
      note_failure("cannot write " + out.options.png_dir + name);
    }
  }
  if (out.video != nullptr && (frame - 1) % out.video_step == 0 &&
      std::fwrite(pixels, 1, frame_bytes, out.video) != frame_bytes) {
    note_failure("ffmpeg stopped taking frames");
  }
  if (out.show_progress) {
    show_progress(frame, position, false);
  }
  if (out.options.frame_limit != 0) {
    if (frame >= out.options.frame_limit) {
      // Enough: Escape ends the scenes, and nothing after this is kept.
      out.recording = false;
      headless_hold_escape(true);
    }
  } else if (!capture_song_loaded() || (capture_song_wrapped() && position < out.last_position)) {
    // The song has played its last order and is back at its restart
    // position (the wrap is marked when the last row begins).
    // Without a song the position never moves, so nothing would end the
    // run: Escape ends every scene after one frame.
    if (frame == 1 && !capture_song_loaded() && !out.options.hold_escape) {
      std::fprintf(stderr, "vorna-capture: the demo has no song; holding Escape\n");
    }
    headless_hold_escape(true);
  }
  out.last_position = position;
}

}  // namespace

int main(int argc, char** argv) {
  static Outputs run;
  outputs = &run;
  run.options = parse_options(argc, argv);
  const Options& options = run.options;

  if (!options.video_path.empty() && !ffmpeg_available()) {
    fail("--video needs ffmpeg, which is not on PATH (on Debian: apt-get install ffmpeg)");
  }
  if (!options.png_dir.empty()) {
    struct stat info;
    if (::stat(options.png_dir.c_str(), &info) != 0) {
      if (::mkdir(options.png_dir.c_str(), 0777) != 0) {
        fail("cannot make the directory " + options.png_dir);
      }
    } else if (!S_ISDIR(info.st_mode)) {
      fail(options.png_dir + " is not a directory");
    }
  }
  if (!options.log_path.empty()) {
    run.log = std::fopen(options.log_path.c_str(), "w");
    if (run.log == nullptr) {
      fail("cannot write " + options.log_path);
    }
  }
  run.wav_file = options.wav_path;
  if (run.wav_file.empty() && !options.video_path.empty()) {
    run.wav_file = options.video_path + ".sound.wav";
  }
  if (!run.wav_file.empty()) {
    run.wav = std::fopen(run.wav_file.c_str(), "wb");
    if (run.wav == nullptr) {
      fail("cannot write " + run.wav_file);
    }
    write_wav_header(run.wav, 0);
  }
  if (!options.video_path.empty()) {
    run.video_only = options.video_path + ".picture.mp4";
    const VideoQuality& quality = *options.quality;
    if (quality.target_rate != 0 && options.fps > quality.target_rate) {
      run.video_step = (options.fps + quality.target_rate / 2) / quality.target_rate;
    }
    // The frame rate as a fraction, exact for any step.
    std::string rate = std::to_string(options.fps) + "/" + std::to_string(run.video_step);
    // The 4:3 shape with sharp yet even pixels, as the window shows it: 3
    // times across and 4 times down with nearest-neighbour sampling, then
    // linearly down to 960 x 720. Both steps in RGB, and the colour then
    // halved with full-resolution chroma: left to itself, ffmpeg converts
    // to YUV first and scales the colour by nearest neighbour, which costs
    // more quality than the encoder does.
    std::string command =
        "ffmpeg -loglevel error -y -f rawvideo -pixel_format rgb565le -video_size 320x200"
        " -framerate " +
        rate +
        " -i pipe:0 -vf format=rgb24,scale=960:800:flags=neighbor,format=rgb24,"
        "scale=960:720:flags=bilinear+full_chroma_int+accurate_rnd,format=yuv420p " +
        quality.encoder + " -pix_fmt yuv420p " + shell_quote(run.video_only);
    run.video = ::popen(command.c_str(), "w");
    if (run.video == nullptr) {
      fail("cannot start ffmpeg");
    }
  }

  run.show_progress = options.progress == 1 || (options.progress == -1 && ::isatty(STDERR_FILENO) == 1);
  run.started = std::chrono::steady_clock::now();

  HeadlessScript script;
  script.frames_per_second = options.fps;
  script.hold_escape = options.hold_escape;
  script.escape_frames = options.escape_frames;
  script.frame_sink = on_frame;
  script.audio_sink = on_audio;
  headless_configure(std::move(script));

  static char command_line[] = "";
  static HINSTANCE__ instance = {};
  int result = WinMain(&instance, nullptr, command_line, SW_SHOWDEFAULT);
  if (run.show_progress && run.recorded > 0) {
    show_progress(run.recorded, run.last_position, true);
    std::fputc('\n', stderr);
  }

  if (run.log != nullptr && options.sound_hash) {
    std::fprintf(run.log, "sound\t%llu\t%016llx\n", static_cast<unsigned long long>(run.sound_frames),
                 static_cast<unsigned long long>(run.sound_hash));
  }
  if (run.log != nullptr && std::fclose(run.log) != 0) {
    note_failure("cannot write " + options.log_path);
  }
  if (run.wav != nullptr) {
    if (std::fseek(run.wav, 0, SEEK_SET) == 0) {
      write_wav_header(run.wav, run.wav_bytes);
    }
    if (std::fclose(run.wav) != 0) {
      note_failure("cannot write " + run.wav_file);
    }
  }
  if (run.video != nullptr) {
    if (::pclose(run.video) != 0) {
      note_failure("ffmpeg could not encode the video");
    } else {
      std::string mux = "ffmpeg -loglevel error -y -i " + shell_quote(run.video_only) + " -i " +
                        shell_quote(run.wav_file) + " -c:v copy -c:a aac -b:a " + options.quality->sound_rate +
                        " -shortest " + shell_quote(options.video_path);
      if (std::system(mux.c_str()) != 0) {
        note_failure("ffmpeg could not add the sound to the video");
      }
    }
    std::remove(run.video_only.c_str());
    if (options.wav_path.empty()) {
      std::remove(run.wav_file.c_str());
    }
  }
  if (run.failed) {
    std::fprintf(stderr, "vorna-capture: %s\n", run.failure.c_str());
    return 1;
  }
  std::fprintf(stderr, "vorna-capture: %u frames at %u frames per second\n", run.recorded, options.fps);
  return result;
}
