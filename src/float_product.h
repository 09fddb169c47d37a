#pragma once

// A product of two doubles rounded to float the way an x87 unit at extended
// precision rounds it: to a 64-bit significand first, then once more to
// float. Two ways to get there, so that every target prints the same digits.

#include <limits>

namespace fare {

using float_product_fn = float (*)(double, double);

namespace detail {

using long_double_limits = std::numeric_limits<long double>;

// The gap between 1 and the next value in a format whose significand has a
// fixed number of digits.
constexpr long double fixed_precision_epsilon() {
    long double gap = 1.0L;
    for (int digit = 1; digit < long_double_limits::digits; ++digit) {
        gap /= 2;
    }
    return gap;
}

}  // namespace detail

// The extended path needs a long double that rounds each result once to a
// significand of at least 64 bits: an IEEE format such as the x87's (64 bits)
// or binary128 (113). A double times 2.5 is then exact. A float cost times the
// double 0.3 is exact from 77 bits on; below that the product is rounded once
// more before the float, which goes wrong only where that rounding lands on a
// float midpoint the exact product is not on. At 64 bits no cost does
// (tests/exhaustive_test.cpp tries every float cost), and more bits
// only narrow the products that round onto a midpoint, so every width from
// 64 up rounds as the x87 does.
//
// A pair of doubles (IBM double-double) claims 106 digits, but only some of
// its values have them: its epsilon is far below 2^(1 - digits), and its
// conversion to float does not round once. Some C++ libraries call it IEEE
// all the same, hence the test of the epsilon beside is_iec559.
inline constexpr bool long_double_rounds_once =
    detail::long_double_limits::is_iec559 && detail::long_double_limits::digits >= 64 &&
    detail::long_double_limits::epsilon() == detail::fixed_precision_epsilon();

// Through long double; right only where long_double_rounds_once.
inline float float_product_extended(double a, double b) {
    return static_cast<float>(static_cast<long double>(a) * static_cast<long double>(b));
}

// Through double with an FMA-based round-to-odd step; right everywhere.
float float_product_round_to_odd(double a, double b);

}  // namespace fare
