// The one CPU check, the level in use and the kernel tables to fill.
// Main thread (and static initialization) only.
#include "cpu/vector_level.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int table_capacity = 8;
// Constant-initialized, so tables may register from any static initializer.
KernelTableFill table_fills[table_capacity] = {};
int table_count = 0;

bool level_chosen = false;
VectorLevel chosen_level = vector_plain;

VectorLevel cpu_vector_level() {
#if defined(VORNA_AVX2)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) {
    return vector_avx2;
  }
#endif
#if defined(VORNA_SSE2)
  return vector_sse2;  // SSE2 compiled in means the compiler assumed the CPU has it
#else
  return vector_plain;
#endif
}

VectorLevel lower(VectorLevel a, VectorLevel b) { return a < b ? a : b; }

}  // namespace

const char* vector_level_name(VectorLevel level) {
  switch (level) {
    case vector_plain:
      return "plain";
    case vector_sse2:
      return "sse2";
    case vector_avx2:
      return "avx2";
  }
  return "plain";
}

bool parse_vector_level(const char* text, VectorLevel& level) {
  for (int k = 0; k < vector_level_count; ++k) {
    const auto candidate = static_cast<VectorLevel>(k);
    if (text != nullptr && std::strcmp(text, vector_level_name(candidate)) == 0) {
      level = candidate;
      return true;
    }
  }
  return false;
}

VectorLevel available_vector_level() {
  static const VectorLevel available = lower(built_vector_level, cpu_vector_level());
  return available;
}

VectorLevel vector_level() {
  if (!level_chosen) {
    chosen_level = available_vector_level();
    const char* cap = std::getenv("VORNA_VECTOR_LEVEL");
    VectorLevel capped = chosen_level;
    if (cap != nullptr && *cap != '\0') {
      if (parse_vector_level(cap, capped)) {
        chosen_level = lower(chosen_level, capped);
      } else {
        std::fprintf(stderr, "VORNA_VECTOR_LEVEL=%s is not plain, sse2 or avx2; using %s\n", cap,
                     vector_level_name(chosen_level));
      }
    }
    level_chosen = true;
  }
  return chosen_level;
}

void register_kernel_table(KernelTableFill fill) {
  if (table_count == table_capacity) {
    std::fprintf(stderr, "more than %d kernel tables\n", table_capacity);
    std::abort();
  }
  table_fills[table_count++] = fill;
  fill(vector_level());
}

VectorLevel use_vector_level(VectorLevel level) {
  chosen_level = lower(level, available_vector_level());
  level_chosen = true;
  for (int k = 0; k < table_count; ++k) {
    table_fills[k](chosen_level);
  }
  return chosen_level;
}
