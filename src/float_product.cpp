#include "float_product.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace fare {

// Rounding the exact product to double and then to single rounds twice and
// can land on the wrong side of a single-precision midpoint. Rounding to
// double "to odd" instead keeps a sticky bit in the last place; since 53 bits
// exceed 24 + 1, the conversion to single is then correctly rounded.
//
// For the products the fare rule forms, the correctly rounded result is also
// what the 64-bit intermediate step gives: a double times 2.5 is exact in 64
// bits, and for a float cost times the double 0.3 no cost's 64-bit product
// lands on a midpoint: tests/exhaustive_test.cpp tries every float cost
// against exact integer arithmetic (CTest label exhaustive).
float float_product_round_to_odd(double a, double b) {
    double product = a * b;
    if (!std::isfinite(product)) {
        return static_cast<float>(product);
    }
    const double error = std::fma(a, b, -product);
    if (error != 0.0 && (std::bit_cast<std::uint64_t>(product) & 1U) == 0) {
        // The exact value lies between product and its neighbour on the side
        // of the error; of those two, the odd one is that neighbour.
        product = std::nextafter(product, error > 0.0 ? HUGE_VAL : -HUGE_VAL);
    }
    return static_cast<float>(product);
}

}  // namespace fare
