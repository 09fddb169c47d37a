// Every float cost but the NaNs, about 2^32 of them: each rounding path this
// target has must give the discount and the total that exact integer
// arithmetic gives, rounded once to float. Threads split the costs.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <thread>
#include <utility>
#include <vector>

#include "fare_rule.h"

namespace {

__extension__ using uint128 = unsigned __int128;

struct exact {
    uint128 significand;  // the magnitude is significand * 2^exponent
    int exponent;
};

exact decode(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value) & 0x7fffffffU;
    const auto biased = static_cast<int>(bits >> 23U);
    const std::uint32_t fraction = bits & 0x7fffffU;
    return biased == 0 ? exact{fraction, -149} : exact{fraction | 0x800000U, biased - 150};
}

// The float nearest to a finite magnitude, ties to even, subnormals included.
float nearest_float(exact value) {
    const auto high = static_cast<std::uint64_t>(value.significand >> 64U);
    const auto low = static_cast<std::uint64_t>(value.significand);
    const int width = high != 0 ? 128 - std::countl_zero(high) : 64 - std::countl_zero(low);
    // Bits below the float's last place: beyond 24 digits, or below 2^-149.
    const int dropped = std::max(width - 24, -149 - value.exponent);
    uint128 kept = value.significand << static_cast<unsigned>(std::max(-dropped, 0));
    if (dropped > 0) {
        kept = value.significand >> static_cast<unsigned>(dropped);
        const uint128 rest = value.significand - (kept << static_cast<unsigned>(dropped));
        const uint128 half = uint128{1} << static_cast<unsigned>(dropped - 1);
        kept += static_cast<unsigned>(rest > half || (rest == half && (kept & 1U) != 0));
    }
    // kept has 24 digits (2^24 carries into the exponent), or the exponent is
    // the subnormals' 2^-149, or kept is 0.
    const auto place = static_cast<std::uint32_t>(value.exponent + dropped + 149);
    return std::bit_cast<float>(kept == 0 ? 0U : (place << 23U) + static_cast<std::uint32_t>(kept));
}

// The discount fraction, the double nearest 0.3, as significand * 2^exponent.
const std::uint64_t fraction_bits = std::bit_cast<std::uint64_t>(fare::discount_fraction);
const exact point_three{(fraction_bits & 0xfffffffffffffU) | (std::uint64_t{1} << 52U),
                        static_cast<int>(fraction_bits >> 52U) - 1075};

// The quote that exact arithmetic gives for a finite cost.
fare::fare_quote exact_quote(float cost) {
    const exact magnitude = decode(cost);
    const float discount = nearest_float({magnitude.significand * point_three.significand,
                                          magnitude.exponent + point_three.exponent});
    // The discount's exponent is at most the cost's, and 2 below it at most:
    // aligned to it, the cost loses no bit.
    const exact taken = decode(discount);
    const float total = nearest_float(
        {(magnitude.significand << static_cast<unsigned>(magnitude.exponent - taken.exponent)) -
             taken.significand,
         taken.exponent});
    return {true, cost, std::copysign(discount, cost), std::copysign(total, total == 0 ? 1 : cost)};
}

bool same(float got, float want) {
    return std::isnan(want)
               ? std::isnan(got) && std::signbit(got)
               : std::bit_cast<std::uint32_t>(got) == std::bit_cast<std::uint32_t>(want);
}

// A quote scaled by 2^shift: rounding commutes with that while every result
// stays normal.
float scaled(float value, int shift) {
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(value) +
                                (static_cast<std::uint32_t>(shift) << 23U));
}

// The exact quote for a cost, from the exact quote for the cost in [1, 2)
// with the same significand. From 2^-124 on, discount and total are normal.
fare::fare_quote expected_quote(float cost, const fare::fare_quote& base) {
    const auto binade = static_cast<int>((std::bit_cast<std::uint32_t>(cost) >> 23U) & 0xffU);
    if (binade == 0xff) {
        return {true, cost, cost, cost - cost};  // infinity minus infinity
    }
    if (binade < 3) {
        return exact_quote(cost);
    }
    return {true, cost, std::copysign(scaled(base.discount, binade - 127), cost),
            std::copysign(scaled(base.total_price, binade - 127), cost)};
}

using paths = std::vector<std::pair<const char*, fare::float_product_fn>>;
std::atomic<unsigned> reported{0};

// The costs of every sign and binade whose significand bits are first,
// first + step, ...: the number of results that differ from the exact ones.
std::uint64_t sweep(std::uint32_t first, std::uint32_t step, const paths& ways) {
    std::uint64_t differing = 0;
    for (std::uint32_t fraction = first; fraction < 0x800000U; fraction += step) {
        const fare::fare_quote base = exact_quote(std::bit_cast<float>(0x3f800000U | fraction));
        for (std::uint32_t sign_and_binade = 0; sign_and_binade < 0x200U; ++sign_and_binade) {
            const auto cost = std::bit_cast<float>(sign_and_binade << 23U | fraction);
            if (std::isnan(cost)) {
                continue;
            }
            const fare::fare_quote want = expected_quote(cost, base);
            for (const auto& [name, product] : ways) {
                const fare::fare_quote got = fare::discounted_quote(cost, product);
                if (!same(got.discount, want.discount) ||
                    !same(got.total_price, want.total_price)) {
                    if (++differing, reported++ < 10) {
                        std::printf("%s, cost %a: discount %a, total %a; exactly %a, %a\n", name,
                                    static_cast<double>(cost), static_cast<double>(got.discount),
                                    static_cast<double>(got.total_price),
                                    static_cast<double>(want.discount),
                                    static_cast<double>(want.total_price));
                    }
                }
            }
        }
    }
    return differing;
}

}  // namespace

int main() {
    paths ways{{"round to odd", fare::float_product_round_to_odd}};
    if (fare::long_double_rounds_once) {
        ways.emplace_back("extended", fare::float_product_extended);
    }
    const unsigned threads = std::max(1U, std::thread::hardware_concurrency());
    std::vector<std::uint64_t> differing(threads);
    {
        std::vector<std::jthread> workers;
        for (unsigned i = 0; i < threads; ++i) {
            workers.emplace_back([&, i] { differing[i] = sweep(i, threads, ways); });
        }
    }
    const std::uint64_t total = std::reduce(differing.begin(), differing.end());
    std::printf("%zu paths, every float cost but NaN: %llu results differ from the exact ones\n",
                ways.size(), static_cast<unsigned long long>(total));
    return total == 0 ? 0 : 1;
}
