// The mixer's inner loops: twelve looping voices at different pitches, with
// and without gain ramps, and the conversion to 16-bit output.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "music/internal.h"

namespace {

constexpr int voices_mixed = 12;

struct MixerSetup {
  std::vector<std::int16_t> block;
  Sample sample = {};
  std::vector<float> out;

  explicit MixerSetup(std::int32_t frames) : block(1 + 20000 + 8), out(static_cast<std::size_t>(frames) * 2) {
    open_offline_output(44100);
    for (std::size_t k = 0; k < block.size(); ++k) {
      block[k] = static_cast<std::int16_t>(std::lrint(12000.0 * std::sin(static_cast<double>(k) * 0.05)));
    }
    block[0] = 0;
    sample.data = block.data() + 1;
    sample.length = 20000;
    sample.loop_start = 1000;
    sample.loop_length = 19000;
    sample.loop_type = loop_forward;
    sample.bits = 16;
    sample.data[20000] = sample.data[1000];
    for (int v = 0; v < voices_mixed; ++v) {
      voice_start_sample(v, &sample);
      Voice* voice = &current_output->voice_table[v];
      voice_set_frequency(voice, 4000 + 3517 * v);
      voice->panning = 128;
      voice_set_volume(voice, 100);
      voice->current_gain_left = voice->seen_gain_left = voice->gain_left;
      voice->current_gain_right = voice->seen_gain_right = voice->gain_right;
    }
  }
  ~MixerSetup() { close_output(); }
};

void report(benchmark::State& state, std::int32_t frames) {
  state.counters["voice_frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * frames * voices_mixed, benchmark::Counter::kIsRate);
}

void BM_MixTwelveVoices(benchmark::State& state) {
  const auto frames = static_cast<std::int32_t>(state.range(0));
  MixerSetup setup(frames);
  for (auto _ : state) {
    mix_voices(setup.out.data(), &current_output->voice_list, frames);
    benchmark::DoNotOptimize(setup.out.data());
    benchmark::ClobberMemory();
  }
  report(state, frames);
}
BENCHMARK(BM_MixTwelveVoices)->Arg(884)->Arg(8840);

// Every call starts a fresh 128-frame ramp on every voice.
void BM_MixTwelveVoicesWithRamps(benchmark::State& state) {
  const auto frames = static_cast<std::int32_t>(state.range(0));
  MixerSetup setup(frames);
  std::int32_t volume = 100;
  for (auto _ : state) {
    volume = volume == 100 ? 60 : 100;
    for (int v = 0; v < voices_mixed; ++v) {
      voice_set_volume(&current_output->voice_table[v], volume);
    }
    mix_voices(setup.out.data(), &current_output->voice_list, frames);
    benchmark::DoNotOptimize(setup.out.data());
    benchmark::ClobberMemory();
  }
  report(state, frames);
}
BENCHMARK(BM_MixTwelveVoicesWithRamps)->Arg(884);

void BM_ConvertMixToPcm16(benchmark::State& state) {
  const auto frames = static_cast<std::int32_t>(state.range(0));
  std::vector<float> mix(static_cast<std::size_t>(frames) * 2);
  for (std::size_t k = 0; k < mix.size(); ++k) {
    mix[k] = static_cast<float>(40000.0 * std::sin(static_cast<double>(k) * 0.01));
  }
  std::vector<std::int16_t> pcm(mix.size());
  for (auto _ : state) {
    convert_mix_to_pcm16(pcm.data(), mix.data(), frames);
    benchmark::DoNotOptimize(pcm.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * frames * 8);
}
BENCHMARK(BM_ConvertMixToPcm16)->Arg(884)->Arg(8840);

}  // namespace
