// std::fmax, std::fmin and std::hypot as the C library computes them here, for the hot
// loops that call them per run or per edge: without -ffast-math the compiler leaves
// each as a call into libm. The results are the library's, bit for bit, for every
// input the core can hold (it makes no signalling NaN: every double comes from decimal
// text or from arithmetic).
#pragma once

#include <cmath>

namespace folioscan {

// fmax: the larger; a NaN loses to a number; of two equal values (+0 and -0) the
// second, as the library's maxsd gives it.
inline double fmax_of(double a, double b) { return (a > b || b != b) ? a : b; }

// fmin: the smaller; a NaN loses to a number; of two equal values the second.
inline double fmin_of(double a, double b) { return (a < b || b != b) ? a : b; }

// hypot: a side along an axis (the other exactly zero, this one finite) is its own
// length, as the library returns it; any other pair goes to the library.
inline double hypot_of(double x, double y) {
  if (y == 0 && std::isfinite(x)) return std::fabs(x);
  if (x == 0 && std::isfinite(y)) return std::fabs(y);
  return std::hypot(x, y);
}

}  // namespace folioscan
