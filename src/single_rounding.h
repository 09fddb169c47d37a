#pragma once

// A product of two doubles rounded to single precision the way an x87 unit
// at extended precision rounds it: to a 64-bit significand first, then once
// more to single precision. Two ways to get there, so that every target
// prints the same digits.

#include <limits>

namespace fare {

using single_product_fn = float (*)(double, double);

inline constexpr bool long_double_is_extended = std::numeric_limits<long double>::digits >= 64;

// Through long double; right only where it has a 64-bit significand.
inline float single_product_extended(double a, double b) {
    return static_cast<float>(static_cast<long double>(a) * static_cast<long double>(b));
}

// Through double with an FMA-based round-to-odd step; right everywhere.
float single_product_round_to_odd(double a, double b);

}  // namespace fare
