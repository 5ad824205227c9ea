// Sines and cosines rounded correctly to single precision, computed with
// plain double arithmetic only.
//
// The trigonometric tables must hold the same bits on every machine the
// demo is built for, and the C library's sin and cos differ from one system
// to the next in the last bit of a double, which now and then changes the
// float stored. So the value is carried here in double-double arithmetic
// (an unevaluated sum hi + lo, about 104 bits) far past the 24 bits of a
// float, and rounded to the nearest float only at the end. Every step is an
// IEEE addition, multiplication or division of doubles, which round the
// same way everywhere as long as the compiler neither fuses multiplies and
// adds nor keeps doubles in wider registers (the build passes
// -ffp-contract=off; x86 builds use SSE2 arithmetic).
#include <cstdint>
#include <cstring>

#include "render3d/render3d.h"

namespace {

struct DoubleDouble {
  double hi;
  double lo;
};

// a + b exactly, as the rounded sum and its error.
DoubleDouble two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  const double error = (a - (s - bb)) + (b - bb);
  return {s, error};
}

// The same when |a| >= |b| (or a is 0).
DoubleDouble quick_two_sum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a x b exactly, by Dekker's splitting of each factor into 26-bit halves.
DoubleDouble two_product(double a, double b) {
  constexpr double splitter = 134217729.0;  // 2^27 + 1
  const double p = a * b;
  const double ca = splitter * a;
  const double a_hi = ca - (ca - a);
  const double a_lo = a - a_hi;
  const double cb = splitter * b;
  const double b_hi = cb - (cb - b);
  const double b_lo = b - b_hi;
  const double error = ((a_hi * b_hi - p) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo;
  return {p, error};
}

DoubleDouble add(DoubleDouble x, DoubleDouble y) {
  DoubleDouble s = two_sum(x.hi, y.hi);
  const DoubleDouble t = two_sum(x.lo, y.lo);
  s.lo += t.hi;
  s = quick_two_sum(s.hi, s.lo);
  s.lo += t.lo;
  return quick_two_sum(s.hi, s.lo);
}

DoubleDouble multiply(DoubleDouble x, DoubleDouble y) {
  DoubleDouble p = two_product(x.hi, y.hi);
  p.lo += x.hi * y.lo + x.lo * y.hi;
  return quick_two_sum(p.hi, p.lo);
}

// x / n for a whole number n below 2^26, which every double holds exactly.
DoubleDouble divide(DoubleDouble x, double n) {
  const double q1 = x.hi / n;
  const DoubleDouble p = two_product(q1, n);
  const double remainder = ((x.hi - p.hi) - p.lo) + x.lo;
  return quick_two_sum(q1, remainder / n);
}

DoubleDouble negate(DoubleDouble x) { return {-x.hi, -x.lo}; }

double magnitude(double x) { return x < 0.0 ? -x : x; }

// pi / 2 as the sum of three doubles (to about 2^-164), and 2 / pi for
// choosing the quadrant.
constexpr double half_pi_1 = 0x1.921fb54442d18p+0;
constexpr double half_pi_2 = 0x1.1a62633145c07p-54;
constexpr double half_pi_3 = -0x1.f1976b7ed8fbcp-110;
constexpr double two_over_pi = 0x1.45f306dc9c883p-1;

// Arguments are reduced with k below 2^20 whole quarter turns, for which
// k x half_pi_1 and k x half_pi_2 are formed exactly.
constexpr double largest_argument = 0x1p20;

// Rounds to the nearest whole number, halves away from zero; the quadrant
// only needs a number near x / (pi / 2), so the rule for halves is free.
double nearest_whole(double x) {
  const double shifted = x < 0.0 ? x - 0.5 : x + 0.5;
  return static_cast<double>(static_cast<std::int64_t>(shifted));
}

// x - k pi / 2 for the k nearest to x / (pi / 2): |r| <= pi / 4 or a hair above.
DoubleDouble reduce(double x, std::int64_t& quadrant) {
  const double k = nearest_whole(x * two_over_pi);
  quadrant = static_cast<std::int64_t>(k) & 3;
  const DoubleDouble p1 = two_product(k, half_pi_1);
  DoubleDouble r = two_sum(x, -p1.hi);
  r = add(r, {-p1.lo, 0.0});
  r = add(r, negate(two_product(k, half_pi_2)));
  return add(r, {-(k * half_pi_3), 0.0});
}

// The Taylor series of sin r (first = r, first_power 1) or cos r
// (first = 1, first_power 0) for |r| <= pi / 4 + a little; the terms fall
// below 2^-110 of the sum long before the 40th power.
DoubleDouble series(DoubleDouble r, DoubleDouble first, int first_power) {
  const DoubleDouble r2 = multiply(r, r);
  DoubleDouble term = first;
  DoubleDouble sum = first;
  for (int n = first_power + 2; n <= 41; n += 2) {
    term = negate(divide(multiply(term, r2), static_cast<double>((n - 1) * n)));
    sum = add(sum, term);
    if (magnitude(term.hi) <= magnitude(sum.hi) * 0x1p-110) {
      break;
    }
  }
  return sum;
}

// The float nearest to hi + lo. Rounding hi alone is right unless hi lies
// within |lo| of the midpoint between two floats; then lo decides.
float nearest_float(DoubleDouble v) {
  const float f = static_cast<float>(v.hi);
  const double from_f = (v.hi - static_cast<double>(f)) + v.lo;  // v - f; v.hi - f is exact
  if (from_f == 0.0 || f == 0.0f) {
    return f;
  }
  // The neighbour on the side of v, found by stepping the float's bits.
  const bool away_from_zero = (from_f > 0.0) == (f > 0.0f);
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  bits = away_from_zero ? bits + 1 : bits - 1;
  float neighbour;
  std::memcpy(&neighbour, &bits, sizeof neighbour);
  // The midpoint of two adjacent floats is exact in double.
  const double midpoint = (static_cast<double>(f) + static_cast<double>(neighbour)) * 0.5;
  const double beyond = (v.hi - midpoint) + v.lo;  // v - midpoint, sign is what counts
  const bool past = from_f > 0.0 ? beyond > 0.0 : beyond < 0.0;
  return past ? neighbour : f;
}

// sin x (cosine = false) or cos x (cosine = true) as a double-double.
DoubleDouble sine_or_cosine(double x, bool cosine) {
  if (!(magnitude(x) <= largest_argument)) {
    return {0.0, 0.0};  // outside the tables' range (or not a number)
  }
  std::int64_t quadrant = 0;
  const DoubleDouble r = reduce(x, quadrant);
  if (cosine) {
    quadrant = (quadrant + 1) & 3;  // cos x = sin(x + pi / 2)
  }
  switch (quadrant) {
    case 0:
      return series(r, r, 1);
    case 1:
      return series(r, {1.0, 0.0}, 0);
    case 2:
      return negate(series(r, r, 1));
    default:
      return negate(series(r, {1.0, 0.0}, 0));
  }
}

}  // namespace

float sin_rounded(double x) { return nearest_float(sine_or_cosine(x, false)); }

float cos_rounded(double x) { return nearest_float(sine_or_cosine(x, true)); }
