// Whole renders of real songs: in the process (the player's rendering
// alone) and as an xmplay --wav process (start, load, render and write the
// WAV file), in times faster than real time.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "music/module_writer.h"
#include "tools/xmplay/player.h"
#include "tools/xmplay/stdio_file.h"

namespace {

const std::string heroes05 = "/usr/share/games/heroes/mod/heroes05.xm";

std::string every_effect_file() {
  const std::string path = (std::filesystem::temp_directory_path() / "vorna_bench_every_effect.xm").string();
  const std::vector<std::uint8_t> bytes = write_module(every_effect_song());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

double pass_seconds(const std::string& path) {
  use_stdio_files();
  open_offline_output(xmplay_rate);
  Song* song = load_song(path.c_str());
  const double seconds = song != nullptr ? static_cast<double>(measure_pass(song).frames) / xmplay_rate : 0.0;
  free_song(song);
  close_output();
  return seconds;
}

// The player's rendering of one pass, without a file.
void render_in_process(benchmark::State& state, const std::string& path) {
  const double seconds = pass_seconds(path);
  if (seconds <= 0.0) {
    state.SkipWithError(("cannot load " + path).c_str());
    return;
  }
  for (auto _ : state) {
    open_offline_output(xmplay_rate);
    Song* song = load_song(path.c_str());
    track_song(song, false);
    play_song(song);
    std::int64_t rendered = 0;
    while (pass_tracker.pass_end_frame.load() < 0 || rendered < pass_tracker.pass_end_frame.load()) {
      benchmark::DoNotOptimize(render_next_chunk());
      rendered += current_output->chunk_frames;
    }
    free_song(song);
    close_output();
  }
  state.counters["times_real_time"] =
      benchmark::Counter(seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_RenderHeroes05(benchmark::State& state) { render_in_process(state, heroes05); }
BENCHMARK(BM_RenderHeroes05)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderEveryEffectSong(benchmark::State& state) { render_in_process(state, every_effect_file()); }
BENCHMARK(BM_RenderEveryEffectSong)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef XMPLAY_PATH
// xmplay --wav as a whole process, timed from its start to its exit.
void xmplay_process(benchmark::State& state, const std::string& path) {
  const double seconds = pass_seconds(path);
  if (seconds <= 0.0) {
    state.SkipWithError(("cannot load " + path).c_str());
    return;
  }
  const std::string wav = (std::filesystem::temp_directory_path() / "vorna_bench_render.wav").string();
  std::vector<std::string> arguments = {"xmplay", "--wav", wav, path};
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  for (auto _ : state) {
    // A new file each time, as a user's render makes one: replacing the
    // last one would add the release of its pages to the time.
    std::filesystem::remove(wav);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, XMPLAY_PATH, nullptr, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("cannot start xmplay");
      return;
    }
    int status = 0;
    waitpid(child, &status, 0);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("xmplay failed");
      return;
    }
  }
  std::filesystem::remove(wav);
  state.counters["times_real_time"] =
      benchmark::Counter(seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_XmplayWavHeroes05(benchmark::State& state) { xmplay_process(state, heroes05); }
BENCHMARK(BM_XmplayWavHeroes05)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_XmplayWavEveryEffectSong(benchmark::State& state) { xmplay_process(state, every_effect_file()); }
BENCHMARK(BM_XmplayWavEveryEffectSong)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);
#endif

}  // namespace
