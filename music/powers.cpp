// Powers of two for the two frequency tables, computed here with plain
// IEEE additions and multiplications (round to nearest, no fused
// multiply-adds) instead of the platform's pow: every platform then turns a
// song into the same sound, byte for byte.
//
// 2^x is carried as a double-double, a pair of doubles whose sum holds about
// 106 bits, so that scale x 2^x cut down to an integer is the integer part of
// the exact value. The results of the two tables lie at least 5 x 10^-13 of
// their size away from the next integer over every key the sequencer can
// produce (the tests check all of them), far beyond the error here.
#include <algorithm>
#include <cmath>

#include "music/internal.h"

namespace {

struct DoubleDouble {
  double hi;
  double lo;  // |lo| at most half a unit in the last place of hi
};

// a + b exactly, as a rounded sum and its error.
DoubleDouble two_sum(double a, double b) {
  const double sum = a + b;
  const double b_part = sum - a;
  return {sum, (a - (sum - b_part)) + (b - b_part)};
}

// The same when |a| >= |b|.
DoubleDouble quick_two_sum(double a, double b) {
  const double sum = a + b;
  return {sum, b - (sum - a)};
}

// Splits a into two halves of at most 26 significant bits each.
void split(double a, double& high, double& low) {
  const double scaled = 134217729.0 * a;  // 2^27 + 1
  high = scaled - (scaled - a);
  low = a - high;
}

// a x b exactly, as a rounded product and its error (Dekker).
DoubleDouble two_product(double a, double b) {
  const double product = a * b;
  double a_high = 0.0, a_low = 0.0, b_high = 0.0, b_low = 0.0;
  split(a, a_high, a_low);
  split(b, b_high, b_low);
  return {product, ((a_high * b_high - product) + a_high * b_low + a_low * b_high) + a_low * b_low};
}

DoubleDouble add(DoubleDouble a, double b) {
  DoubleDouble sum = two_sum(a.hi, b);
  sum.lo += a.lo;
  return quick_two_sum(sum.hi, sum.lo);
}

DoubleDouble multiply(DoubleDouble a, DoubleDouble b) {
  DoubleDouble product = two_product(a.hi, b.hi);
  product.lo += a.hi * b.lo + a.lo * b.hi;
  return quick_two_sum(product.hi, product.lo);
}

DoubleDouble divide(DoubleDouble a, double b) {
  const double first = a.hi / b;
  const DoubleDouble back = two_product(first, b);
  DoubleDouble rest = two_sum(a.hi, -back.hi);
  rest.lo += a.lo - back.lo;
  return quick_two_sum(first, (rest.hi + rest.lo) / b);
}

// ln 2 to 107 bits.
constexpr DoubleDouble ln2 = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};

// 2^x for |x| <= 64: 2^n for the nearest integer n, times e^t for
// t = (x - n) ln 2, |t| <= 0.35, from its series to the 24th power (the
// first term left out is below 2^-110).
DoubleDouble power_of_two(double x) {
  const double whole = std::nearbyint(x);
  const DoubleDouble t = multiply(ln2, {x - whole, 0.0});  // x - whole is exact
  DoubleDouble series = {1.0, 0.0};
  for (int k = 24; k >= 1; --k) {
    series = add(divide(multiply(t, series), static_cast<double>(k)), 1.0);
  }
  const int n = static_cast<int>(whole);
  return {std::ldexp(series.hi, n), std::ldexp(series.lo, n)};
}

}  // namespace

std::int64_t truncated_power(double scale, double exponent, std::int64_t limit) {
  // scale is at least 1 and below 2^32: beyond these bounds the result is
  // the limit or below 1.
  if (!(exponent <= 64.0)) {
    return limit;
  }
  if (exponent < -64.0) {
    return 0;
  }
  const DoubleDouble value = multiply(power_of_two(exponent), {scale, 0.0});
  if (value.hi > static_cast<double>(limit)) {
    return limit;
  }
  // The integer part of hi + lo: that of hi, one less when hi is a whole
  // number and lo takes a little away.
  double whole = std::trunc(value.hi);
  if (whole == value.hi && value.lo < 0.0) {
    whole -= 1.0;
  }
  return whole < 0.0 ? 0 : std::min(static_cast<std::int64_t>(whole), limit);
}
