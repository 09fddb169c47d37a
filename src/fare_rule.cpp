#include "fare_rule.h"

#include <cmath>
#include <limits>

#include "float_product.h"

namespace fare {

fare_quote discounted_quote(float cost, float_product_fn float_product) {
    fare_quote quote{.discounted = true, .cost = cost};
    quote.discount = float_product(static_cast<double>(cost), discount_fraction);
    // Two floats within a factor of four of each other: their difference is
    // exact in double, so this rounds once.
    quote.total_price =
        static_cast<float>(static_cast<double>(cost) - static_cast<double>(quote.discount));
    // Infinity minus infinity. An x86 processor answers with a NaN whose sign
    // bit is set, ARM, POWER and IBM Z with one whose sign bit is clear; the
    // report prints that sign, so every build gives x86's.
    if (std::isnan(quote.total_price)) {
        quote.total_price = -std::numeric_limits<float>::quiet_NaN();
    }
    return quote;
}

fare_quote compute_fare(double length, double travel_days, float_product_fn float_product) {
    const float cost = float_product(length, cost_per_length_unit);
    // A NaN fails either comparison, so it never qualifies.
    if (travel_days > days_threshold && length > length_threshold) {
        return discounted_quote(cost, float_product);
    }
    return {.cost = cost};
}

fare_quote compute_fare(double length, double travel_days) {
    if constexpr (long_double_rounds_once) {
        return compute_fare(length, travel_days, float_product_extended);
    } else {
        return compute_fare(length, travel_days, float_product_round_to_odd);
    }
}

}  // namespace fare
