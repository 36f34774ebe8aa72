// The inline fmax, fmin and hypot against the library's own on the values that decide
// them: zeros of both signs, infinities, NaN, subnormals and the ends of the range.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "float_ops.h"

namespace folioscan {
namespace {

using Limits = std::numeric_limits<double>;

// Called through pointers the optimiser cannot see through, so the library answers.
double (*volatile library_fmax)(double, double) = std::fmax;
double (*volatile library_fmin)(double, double) = std::fmin;
double (*volatile library_hypot)(double, double) = std::hypot;

constexpr double kValues[] = {0.0, -0.0, 1.0, -1.0, 0.5, -2.5, 612.0, 1e300, -1e300,
                              Limits::denorm_min(), -Limits::denorm_min(), Limits::min(),
                              Limits::max(), -Limits::max(), Limits::infinity(),
                              -Limits::infinity(), Limits::quiet_NaN(), -Limits::quiet_NaN()};

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST(FloatOps, SameBitsAsTheLibraryForEveryPair) {
  for (double a : kValues) {
    for (double b : kValues) {
      EXPECT_EQ(bits(fmax_of(a, b)), bits(library_fmax(a, b))) << a << " " << b;
      EXPECT_EQ(bits(fmin_of(a, b)), bits(library_fmin(a, b))) << a << " " << b;
      EXPECT_EQ(bits(hypot_of(a, b)), bits(library_hypot(a, b))) << a << " " << b;
    }
  }
}

}  // namespace
}  // namespace folioscan
