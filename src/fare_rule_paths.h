#pragma once

// The fare rule with its rounding path chosen by the caller, so both paths
// can be checked on one machine. compute_fare picks the native one.

#include "fare_rule.h"
#include "single_rounding.h"

namespace fare {

fare_quote compute_fare(double length, double travel_days, single_product_fn single_product);

}  // namespace fare
