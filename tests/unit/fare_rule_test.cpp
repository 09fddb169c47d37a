#include "fare_rule.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "float_product.h"

namespace {

using fare::compute_fare;
using fare::fare_quote;

std::string printed(float price) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(price));
    return text;
}

struct rounding_path {
    const char* name;
    fare::float_product_fn product;
};

// The extended path is exact only where long double rounds once; the other
// one must agree with it wherever both exist.
std::vector<rounding_path> exact_paths() {
    std::vector<rounding_path> paths{{"round_to_odd", fare::float_product_round_to_odd}};
    if (fare::long_double_rounds_once) {
        paths.push_back({"extended", fare::float_product_extended});
    }
    return paths;
}

struct worked_quote {
    double length;
    double travel_days;
    bool discounted;
    const char* cost;
    const char* discount;
    const char* total_price;
};

const worked_quote worked_quotes[] = {
    {1000, 10, true, "2500.000000", "750.000000", "1750.000000"},
    {1000, 8, true, "2500.000000", "750.000000", "1750.000000"},
    {1000, 7.5, true, "2500.000000", "750.000000", "1750.000000"},
    {1000, 7, false, "2500.000000", "", ""},
    {800, 10, false, "2000.000000", "", ""},
    {800.1, 8, true, "2000.250000", "600.075012", "1400.175049"},
    {123.456, 3, false, "308.640015", "", ""},
    {2175.76, 10, true, "5439.399902", "1631.819946", "3807.580078"},
    {-1000, 10, false, "-2500.000000", "", ""},
    {0, 0, false, "0.000000", "", ""},
    // Just past each threshold, and the thresholds' other sides.
    {std::nextafter(800.0, 900.0), std::nextafter(7.0, 8.0), true, "2000.000000", "600.000000",
     "1400.000000"},
    {1e6, std::numeric_limits<double>::infinity(), true, "2500000.000000", "750000.000000",
     "1750000.000000"},
    {-1e6, 10, false, "-2500000.000000", "", ""},
    {1e6, -10, false, "2500000.000000", "", ""},
    // Products that a double intermediate would round twice, wrongly.
    {460.85207519531252, 3, false, "1152.130249", "", ""},
    {12943121.199999999, 3, false, "32357802.000000", "", ""},
    {10507.860546874999, 10, true, "26269.650391", "7880.895020", "18388.755859"},
    // A halfway price: 25000.0078125 exactly, printed by the C library.
    {10000.003, 3, false, "25000.007812", "", ""},
};

TEST(FareRule, WorkedQuotesOnEveryExactPath) {
    for (const auto& path : exact_paths()) {
        for (const auto& expected : worked_quotes) {
            SCOPED_TRACE(std::string(path.name) + " length " + std::to_string(expected.length));
            const fare_quote quote =
                compute_fare(expected.length, expected.travel_days, path.product);
            EXPECT_EQ(quote.discounted, expected.discounted);
            EXPECT_EQ(printed(quote.cost), expected.cost);
            if (expected.discounted) {
                EXPECT_EQ(printed(quote.discount), expected.discount);
                EXPECT_EQ(printed(quote.total_price), expected.total_price);
            }
        }
    }
}

TEST(FareRule, DoubleRoundingCasesAreReal) {
    // Rounding through double first lands on a midpoint and rounds again.
    for (const double length : {460.85207519531252, 12943121.199999999, 10507.860546874999}) {
        // Stored, so that it is a double even where double arithmetic runs
        // at extended precision (the x87 of a 32-bit x86).
        const volatile double through_double = length * 2.5;
        const float twice = static_cast<float>(through_double);
        EXPECT_NE(compute_fare(length, 0).cost, twice) << length;
    }
}

TEST(FareRule, OverflowGivesInfinityAndNotANumber) {
    const double inf = std::numeric_limits<double>::infinity();
    // The smallest length whose exact cost reaches 2^128 - 2^103, the
    // midpoint above the largest float, overflows.
    const double first_infinite = 0x1.999998ccccccdp+126;
    for (const auto& path : exact_paths()) {
        SCOPED_TRACE(path.name);
        const double below = std::nextafter(first_infinite, 0.0);
        EXPECT_TRUE(std::isinf(compute_fare(first_infinite, 0, path.product).cost));
        EXPECT_EQ(compute_fare(below, 0, path.product).cost, std::numeric_limits<float>::max());

        const fare_quote huge = compute_fare(1e39, 10, path.product);
        EXPECT_TRUE(huge.discounted);
        EXPECT_TRUE(std::isinf(huge.cost) && std::isinf(huge.discount));
        // Infinity minus infinity: x86's NaN, sign bit set, as the report shows it.
        EXPECT_TRUE(std::isnan(huge.total_price) && std::signbit(huge.total_price));

        const fare_quote negative = compute_fare(-1e39, 10, path.product);
        EXPECT_FALSE(negative.discounted);
        EXPECT_EQ(negative.cost, -std::numeric_limits<float>::infinity());

        EXPECT_TRUE(std::isinf(compute_fare(inf, 0, path.product).cost));
        const fare_quote nan_length = compute_fare(std::nan(""), 10, path.product);
        EXPECT_FALSE(nan_length.discounted);
        EXPECT_TRUE(std::isnan(nan_length.cost));
        EXPECT_FALSE(compute_fare(1000, std::nan(""), path.product).discounted);
    }
}

// Every float cost in a few whole binades, subnormals included, times 0.3:
// the two paths must give the very same float. (The exhaustive test tries
// every cost where that is cheap; this runs everywhere, under qemu too.)
TEST(FareRule, PathsAgreeOnDiscountsForWholeBinades) {
    if (!fare::long_double_rounds_once) {
        GTEST_SKIP() << "long double does not round once to 64 bits or more here";
    }
    for (const std::uint32_t first : {0x00000001U, 0x45000000U, 0x7e800000U}) {
        for (std::uint32_t bits = first; bits < first + 0x800000U; ++bits) {
            const auto cost = static_cast<double>(std::bit_cast<float>(bits));
            const float extended = fare::float_product_extended(cost, fare::discount_fraction);
            const float odd = fare::float_product_round_to_odd(cost, fare::discount_fraction);
            ASSERT_EQ(std::bit_cast<std::uint32_t>(extended), std::bit_cast<std::uint32_t>(odd))
                << "cost bits " << bits;
        }
    }
}

// Lengths near single-precision midpoints of the cost, where a wrong
// rounding would show, and random lengths of every magnitude.
TEST(FareRule, PathsAgreeOnCosts) {
    if (!fare::long_double_rounds_once) {
        GTEST_SKIP() << "long double does not round once to 64 bits or more here";
    }
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<std::uint32_t> mantissa(0x1000000U, 0x1ffffffU);
    std::uniform_int_distribution<int> scale(-170, 140);
    std::uniform_int_distribution<std::uint64_t> any_bits;
    for (int i = 0; i < 200000; ++i) {
        const double midpoint = std::ldexp((mantissa(random) | 1U), scale(random));
        double length = std::nextafter(midpoint / 2.5, (i & 1) != 0 ? 0.0 : HUGE_VAL);
        if (i % 4 == 3) {
            length = std::bit_cast<double>(any_bits(random));
        }
        const float extended = fare::float_product_extended(length, 2.5);
        const float odd = fare::float_product_round_to_odd(length, 2.5);
        if (std::isnan(extended)) {
            ASSERT_TRUE(std::isnan(odd));
        } else {
            ASSERT_EQ(extended, odd) << std::hexfloat << length;
        }
    }
}

}  // namespace
