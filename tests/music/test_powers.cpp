// The frequency tables' powers of two: the player's own power against the
// formula over every key the sequencer can produce, the memory of recent
// results against the formula in a fresh process, and the margins that make
// the vibrato sines come out alike on every platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "music/song_player.h"
#include "support/child_run.h"

namespace {

constexpr float linear_k = 0.0013020834f;  // 1/768 as stored
constexpr float amiga_t = 0.083333336f;    // 1/12 as stored

// The formulas as written, through the platform's pow.
std::int32_t formula_linear_frequency(std::int64_t steps) {
  const double hertz = 8363.0 * std::pow(2.0, static_cast<double>(steps) * static_cast<double>(linear_k));
  return static_cast<std::int32_t>(std::clamp(std::trunc(hertz), 0.0, static_cast<double>(INT32_MAX)));
}

std::int64_t formula_amiga_power(std::int64_t steps) {
  const double period = 13.375 * std::pow(2.0, static_cast<double>(steps) * static_cast<double>(amiga_t));
  return static_cast<std::int64_t>(std::min(period, 1e15));
}

std::int32_t formula_amiga_period(std::int64_t note, std::int64_t finetune) {
  const std::int64_t c = formula_amiga_power(132 - note);
  const std::int64_t d = formula_amiga_power(finetune < 0 && note != 0 ? 133 - note : 131 - note);
  const std::int64_t result = c + ((c - d) * (finetune < 0 && note != 0 ? -finetune : finetune)) / -128;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(result, INT32_MIN, INT32_MAX));
}

// The keys of the linear table: 4608 - period + period_delta, with periods
// kept within +-2^24 by the effects and deltas of at most 960 (arpeggio) plus
// 255 (auto-vibrato) either way.
constexpr std::int64_t lowest_linear_key = 4608 - (std::int64_t{1} << 24) - 1215;
constexpr std::int64_t highest_linear_key = 4608 + (std::int64_t{1} << 24) + 1215;

TEST(Powers, TheLinearFrequencyIsTheFormulasOverEveryKey) {
  std::int64_t audible = 0;
  for (std::int64_t key = lowest_linear_key; key <= highest_linear_key; ++key) {
    const std::int32_t expected = formula_linear_frequency(key);
    ASSERT_EQ(linear_frequency(key), expected) << key;
    audible += expected > 0 && expected < INT32_MAX;
  }
  EXPECT_GT(audible, 20000) << "the keys between silence and the limit were all looked at";
}

TEST(Powers, TheAmigaPowerIsTheFormulasOverEveryKey) {
  // Notes run from 0 to 255 plus an arpeggio's 15: keys -139..133; the
  // check goes on while the formula's double still holds the integer part.
  for (std::int64_t key = -2000; key <= 300; ++key) {
    ASSERT_EQ(amiga_power(key), formula_amiga_power(key)) << key;
  }
  EXPECT_EQ(amiga_power(0), 13);
  EXPECT_EQ(amiga_power(-1), 12);
  EXPECT_EQ(amiga_power(132), 27392);
  EXPECT_EQ(amiga_power(std::int64_t{1} << 40), amiga_power_limit);
  EXPECT_EQ(amiga_power(-(std::int64_t{1} << 40)), 0);
}

// Each truncated result lies far from the next integer, measured with a
// wider type than double: any power of two correct to 5 x 10^-13 (some
// 2000 units in the last place) gives them.
TEST(Powers, EveryResultLiesFarFromAnIntegerBoundary) {
  const auto margin = [](long double value) {
    const long double fraction = value - std::floor(value);
    return std::min(fraction, 1.0L - fraction) / value;
  };
  for (std::int64_t key = -10100; key <= 13900; ++key) {
    if (key == 0) {
      continue;  // exactly 8363
    }
    const long double exact =
        8363.0L * std::exp2l(static_cast<long double>(static_cast<double>(key) * static_cast<double>(linear_k)));
    if (exact >= 1.0L && exact < 2147483648.0L) {
      ASSERT_GT(margin(exact), 5e-13L) << key;
      ASSERT_EQ(linear_frequency(key), static_cast<std::int64_t>(exact)) << key;
    }
  }
  for (std::int64_t key = -200; key <= 200; ++key) {
    const long double exact =
        13.375L * std::exp2l(static_cast<long double>(static_cast<double>(key) * static_cast<double>(amiga_t)));
    if (exact >= 1.0L && key != 0) {
      ASSERT_GT(margin(exact), 5e-13L) << key;
    }
    ASSERT_EQ(amiga_power(key), static_cast<std::int64_t>(exact)) << key;
  }
}

// The keys -1 and 0 first (each the first of its slot), then the memory's
// size and its neighbours, negative keys, keys that share a slot, and
// random ones in random order.
std::vector<std::int64_t> memory_keys(std::mt19937_64& random) {
  std::vector<std::int64_t> keys = {1023,
                                    1024,
                                    1025,
                                    -1023,
                                    -1024,
                                    -1025,
                                    2048,
                                    -2048,
                                    4609,
                                    -4609,
                                    3072,
                                    -3073,
                                    lowest_linear_key,
                                    highest_linear_key,
                                    1,
                                    -2};
  for (int k = 0; k < 3000; ++k) {
    keys.push_back(static_cast<std::int64_t>(random() % 30000) - 12000);
  }
  std::shuffle(keys.begin(), keys.end(), random);
  keys.insert(keys.begin(), {-1, 0});
  return keys;
}

// Everything a fresh process may get wrong: the memory starts empty.
TEST(Powers, RememberedLinearFrequenciesAreTheFormulasFromAFreshStart) {
  const ChildRun run = run_in_child(HeadlessScript{}, [] {
    std::mt19937_64 random(7);
    Song linear = {};
    linear.flags = 1;
    for (const std::int64_t key : memory_keys(random)) {
      for (int twice = 0; twice < 2; ++twice) {
        Channel channel = {};
        // The same key reached as a period and as a period plus a delta.
        channel.period = static_cast<std::int32_t>(4608 - key + 7 * twice);
        channel.period_delta = 7 * twice;
        if (note_frequency(channel, &linear) != formula_linear_frequency(key)) {
          std::fprintf(stderr, "key %lld: %d, not %d\n", static_cast<long long>(key), note_frequency(channel, &linear),
                       formula_linear_frequency(key));
          return 1;
        }
      }
    }
    return 0;
  });
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
}

TEST(Powers, RememberedAmigaPeriodsAreTheFormulasFromAFreshStart) {
  const ChildRun run = run_in_child(HeadlessScript{}, [] {
    std::mt19937_64 random(11);
    std::vector<std::int32_t> notes;
    for (std::int32_t note = -1200; note <= 1300; ++note) {
      notes.push_back(note);
    }
    std::shuffle(notes.begin(), notes.end(), random);
    notes.insert(notes.begin(), {132, 133, 131, 0, 1});
    for (const std::int32_t note : notes) {
      for (const std::int32_t finetune : {0, 127, -128, -1, 1, -64}) {
        if (amiga_period(note, finetune) != formula_amiga_period(note, finetune)) {
          std::fprintf(stderr, "note %d finetune %d: %d, not %d\n", note, finetune, amiga_period(note, finetune),
                       formula_amiga_period(note, finetune));
          return 1;
        }
      }
    }
    return 0;
  });
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
}

// The two real cases that the memory once got wrong, each first thing in a
// process: a C-4 on a sample with finetune -2 is linear period 4609, one
// step above the key 0; the Amiga notes 132 and 133 read the power at -1.
TEST(Powers, AC4WithFinetuneMinus2PlaysAt8355HzInAFreshProcess) {
  const ChildRun run = run_in_child(HeadlessScript{}, [] {
    TestModule module = one_pattern_module(1, 2, {{{0, 0}, {49, 1, 0, 0, 0}}});
    module.instruments[0].samples[0].finetune = -2;
    module.instruments[0].samples[0].relative_note = 0;
    Song* song = load_bytes(write_module(module));
    if (song == nullptr || !open_offline_output(44100) || !play_song(song)) {
      return 2;
    }
    song->tick_handler(song);
    const std::int32_t period = song->channels[0].period;
    const std::int32_t hertz = current_output->voice_table[0].frequency;
    free_song(song);
    close_output();
    return period == 4609 && hertz == 8355 ? 0 : 1;
  });
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
}

TEST(Powers, TheHighestAmigaNotesInAFreshProcess) {
  const ChildRun run = run_in_child(HeadlessScript{}, [] {
    const bool first = amiga_period(132, 127) == 13;
    const bool second = amiga_period(133, 0) == 12;
    return first && second ? 0 : 1;
  });
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.exit_code, 0);
}

// The vibratos take 256 |sin| over a 64-step cycle and 64 sin over a
// 256-step one, truncated. Every value lies at least 4 x 10^-14 of its size
// from the truncation's next boundary, so any sine correct to about 100
// units in the last place, whichever platform's, gives the same integers.
TEST(Powers, TheVibratoSinesTruncateAlikeOnEveryPlatform) {
  const auto check = [](long double value, double from_platform) {
    const long double whole = std::trunc(value);
    const long double distance = std::min(std::fabs(value - whole), 1.0L - std::fabs(value - whole));
    if (std::fabs(value) >= 1e-3L) {
      EXPECT_GT(distance / std::fabs(value), 4e-14L) << static_cast<double>(value);
    }
    EXPECT_EQ(static_cast<std::int32_t>(from_platform), static_cast<std::int32_t>(whole));
  };
  for (int p = -32; p < 32; ++p) {
    const double angle = static_cast<double>(p) * static_cast<double>(0.09817475f);
    check(256.0L * std::fabs(std::sin(static_cast<long double>(angle))), 256.0 * std::fabs(std::sin(angle)));
  }
  for (int p = 0; p < 256; ++p) {
    const double angle = static_cast<double>(p) * static_cast<double>(0.0245436875f);
    check(64.0L * std::sin(static_cast<long double>(angle)), 64.0 * std::sin(angle));
  }
}

}  // namespace
