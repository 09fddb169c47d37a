#include "number_reader.h"

#include <algorithm>
#include <cstdlib>

namespace fare {

void decimal_digits::add_significant_digit(int digit) {
    if (count_ < kept_digits) {
        text_[digits_start + count_++] = static_cast<char>('0' + digit);
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

double decimal_digits::to_double() {
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
    text_[0] = negative_ ? '-' : '+';
    text_[1] = '0';
    text_[2] = '.';
    char* out = text_ + digits_start + count_;
    if (sticky_) {
        *out++ = '1';
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
    return std::strtod(text_, nullptr);
}

}  // namespace fare
