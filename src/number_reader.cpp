#include "number_reader.h"

#include <cstdlib>

namespace fare {

void decimal_digits::add_significant_digit(int digit) {
    if (count_ < kept_digits) {
        digits_[count_++] = static_cast<char>('0' + digit);
    } else if (digit != 0) {
        sticky_ = true;
    }
}

void decimal_digits::add_integer_digit(int digit) {
    if (count_ == 0 && digit == 0) {
        return;  // a leading zero
    }
    add_significant_digit(digit);
    ++point_position_;
}

void decimal_digits::add_fraction_digit(int digit) {
    if (count_ == 0 && digit == 0) {
        --point_position_;  // a zero between the point and the first significant digit
        return;
    }
    add_significant_digit(digit);
}

void decimal_digits::set_exponent(bool negative, std::int64_t magnitude) {
    exponent_ = negative ? -magnitude : magnitude;
}

double decimal_digits::to_double() const {
    if (count_ == 0) {
        return negative_ ? -0.0 : 0.0;
    }
    // Past this the value is an infinity or a zero anyway; keeping it small
    // keeps the text short.
    constexpr std::int64_t exponent_cap = 100'000;
    std::int64_t exponent = point_position_ + exponent_;
    exponent = exponent > exponent_cap ? exponent_cap : exponent;
    exponent = exponent < -exponent_cap ? -exponent_cap : exponent;

    // "-0.<digits>[1]e<exponent>": a single 1 after the kept digits stands
    // for any non-zero tail; strtod rounds the text correctly.
    char text[kept_digits + 32];
    char* out = text;
    *out++ = negative_ ? '-' : '+';
    *out++ = '0';
    *out++ = '.';
    for (int i = 0; i < count_; ++i) {
        *out++ = digits_[i];
    }
    if (sticky_) {
        *out++ = '1';
    }
    *out++ = 'e';
    std::snprintf(out, static_cast<std::size_t>(text + sizeof text - out), "%lld",
                  static_cast<long long>(exponent));
    return std::strtod(text, nullptr);
}

}  // namespace fare
