#include "tools/song/synth_wave.h"

#include <cmath>
#include <stdexcept>

#include "tools/song/synth_math.h"

Wave render_partials(std::uint32_t frames, std::uint32_t period, const std::vector<Partial>& partials,
                     const PartialWeight& weight) {
  std::vector<double> table(period);
  for (std::uint32_t i = 0; i < period; ++i) table[i] = sine_turns(static_cast<double>(i) / period);
  Wave out(frames, 0.0);
  for (std::size_t p = 0; p < partials.size(); ++p) {
    const Partial& partial = partials[p];
    const std::uint64_t bin = partial.bin % period;
    std::uint64_t index = static_cast<std::uint64_t>(std::floor(partial.phase * period)) % period;
    double w0 = weight ? weight(p, 0) : 1.0;
    for (std::uint32_t block = 0; block < frames; block += weight_step) {
      const double w1 = weight ? weight(p, block + weight_step) : 1.0;
      const std::uint32_t end = block + weight_step < frames ? block + weight_step : frames;
      for (std::uint32_t n = block; n < end; ++n) {
        const double w = w0 + (w1 - w0) * static_cast<double>(n - block) / weight_step;
        out[n] += partial.amplitude * w * table[index];
        index += bin;
        if (index >= period) index -= period;
      }
      w0 = w1;
    }
  }
  return out;
}

void add_saw(std::vector<Partial>& partials, std::uint32_t bin, double amplitude, std::uint32_t limit, Noise& noise) {
  for (std::uint32_t h = 1; h * bin <= limit; ++h) partials.push_back({h * bin, amplitude / h, next_unit(noise)});
}

void add_square(std::vector<Partial>& partials, std::uint32_t bin, double amplitude, std::uint32_t limit,
                Noise& noise) {
  for (std::uint32_t h = 1; h * bin <= limit; h += 2) partials.push_back({h * bin, amplitude / h, next_unit(noise)});
}

std::uint32_t nearest_bin(double frequency, std::uint32_t period, double rate) {
  const double bin = std::floor(frequency * period / rate + 0.5);
  return bin < 1 ? 1 : static_cast<std::uint32_t>(bin);
}

double lowpass_gain(double frequency, double cutoff, double q, int poles) {
  const double r = frequency / cutoff;
  const double real = 1.0 - r * r;
  const double imaginary = r / q;
  const double squared = 1.0 / (real * real + imaginary * imaginary);  // |H|^2 of two poles
  double gain = 1.0;
  for (int i = 0; i < poles / 2; ++i) gain *= std::sqrt(squared);
  return gain;
}

void start_at_zero_crossing(Wave& wave) {
  const std::size_t n = wave.size();
  std::size_t best = 0;
  double best_size = HUGE_VAL;
  for (std::size_t i = 0; i < n; ++i) {
    const double a = wave[i];
    const double b = wave[(i + 1) % n];
    if (a <= 0 && b > 0 && std::fmin(-a, b) < best_size) {
      best = -a <= b ? i : (i + 1) % n;
      best_size = std::fmin(-a, b);
    }
  }
  Wave rotated(n);
  for (std::size_t i = 0; i < n; ++i) rotated[i] = wave[(best + i) % n];
  wave = std::move(rotated);
}

double peak_of(const Wave& wave) {
  double peak = 0;
  for (double v : wave) peak = std::fabs(v) > peak ? std::fabs(v) : peak;
  return peak;
}

void fade_in(Wave& wave, std::size_t frames) {
  for (std::size_t i = 0; i < frames && i < wave.size(); ++i)
    wave[i] *= static_cast<double>(i) / static_cast<double>(frames);
}

void fade_out(Wave& wave, std::size_t frames) {
  const std::size_t n = wave.size();
  for (std::size_t i = 0; i < frames && i < n; ++i)
    wave[n - 1 - i] *= static_cast<double>(i) / static_cast<double>(frames);
}

void mix_into(Wave& destination, const Wave& source, double gain, std::size_t offset) {
  for (std::size_t i = 0; i < source.size() && offset + i < destination.size(); ++i)
    destination[offset + i] += gain * source[i];
}

std::vector<std::int16_t> to_frames(const Wave& wave, double peak) {
  // A value that is not a number means a recipe divided by zero or
  // overflowed; it would silently become some frame value, so refuse it.
  for (double v : wave)
    if (!std::isfinite(v)) throw std::domain_error("a synthesized frame is not a finite number");
  const double top = peak_of(wave);
  const double scale = top > 0 ? peak * 32767.0 / top : 0.0;
  std::vector<std::int16_t> frames(wave.size());
  for (std::size_t i = 0; i < wave.size(); ++i) frames[i] = to_frame(wave[i] * scale);
  return frames;
}
