#include "number_reader.h"

#include <algorithm>
#include <cstdlib>

namespace fare {

bool number_scanner::finish(double& value) {
    value = 0.0;
    // An exponent mark must be followed by digits.
    const bool exponent_complete =
        part_ != part::exponent_mark && (part_ != part::exponent || exponent_digits_);
    if (!any_digit_ || !exponent_complete) {
        return false;
    }
    if (count_ == 0) {
        value = negative_ ? -0.0 : 0.0;
        return true;
    }
    // Past this the value is an infinity or a zero anyway; keeping it small
    // keeps the text short.
    constexpr std::int64_t exponent_cap = 100'000;
    std::int64_t exponent = point_position_ + (negative_exponent_ ? -exponent_ : exponent_);
    exponent = std::clamp(exponent, -exponent_cap, exponent_cap) - count_;

    // "<digits>[1]e<exponent>", the digits read as a whole number: a single 1
    // after the kept digits stands for any non-zero tail. strtod rounds the
    // text correctly, and rounding to nearest does not depend on the sign.
    char* out = digits_ + count_;
    if (sticky_) {
        *out++ = '1';
        --exponent;
    }
    *out++ = 'e';
    if (exponent < 0) {
        *out++ = '-';
        exponent = -exponent;
    }
    // By hand: a formatted print would cost more than the rest of the read.
    char* const first_exponent_digit = out;
    do {
        *out++ = static_cast<char>('0' + exponent % 10);
        exponent /= 10;
    } while (exponent != 0);
    std::reverse(first_exponent_digit, out);
    *out = '\0';
    const double magnitude = std::strtod(digits_, nullptr);
    value = negative_ ? -magnitude : magnitude;
    return true;
}

}  // namespace fare
