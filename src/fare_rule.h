#pragma once

// The pricing of a trip: pure arithmetic on the two figures the user typed.

#include "float_product.h"

namespace fare {

// Prices are kept in single precision; the rounding shows in the printed
// decimals and is part of the rule.
struct fare_quote {
    bool discounted = false;
    float cost = 0.0F;
    float discount = 0.0F;     // meaningful only when discounted
    float total_price = 0.0F;  // meaningful only when discounted
};

inline constexpr double cost_per_length_unit = 2.5;
inline constexpr double discount_fraction = 0.3;  // the nearest double, not 3/10
inline constexpr double days_threshold = 7.0;
inline constexpr double length_threshold = 800.0;

// Accepts any pair of doubles (zero, negative, infinite, not-a-number) and
// never fails: an overflow gives an infinity, an invalid operation a NaN.
// Rounds each product with the fastest way this target has to round it once.
fare_quote compute_fare(double length, double travel_days);

// The same rule with the rounding of products given, so that both ways can
// be held to each other wherever both exist.
fare_quote compute_fare(double length, double travel_days, float_product_fn float_product);

// The discounted quote for a cost: the discount and the total after it. The
// exhaustive test holds it to an exact model for every float cost.
fare_quote discounted_quote(float cost, float_product_fn float_product);

}  // namespace fare
