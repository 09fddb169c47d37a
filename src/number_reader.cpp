#include "number_reader.h"

#include <algorithm>
#include <cstdlib>

namespace fare {

namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Exponents beyond this are saturated: with any realistic number of digits
// the value is then already an infinity or a zero.
constexpr std::int64_t exponent_limit = 1'000'000'000'000'000'000;

}  // namespace

bool number_scanner::take(int c) {
    switch (part_) {
        case part::white_space:
            if (is_space(c)) {
                return true;
            }
            if (c == '+' || c == '-') {
                negative_ = c == '-';
                part_ = part::sign;
                return true;
            }
            return take_mantissa(c);
        case part::sign:
        case part::integer:
            return take_mantissa(c);
        case part::fraction:
            if (is_digit(c)) {
                any_digit_ = true;
                if (count_ == 0 && c == '0') {
                    --point_position_;  // a zero between the point and the first significant digit
                } else {
                    add_digit(c - '0');
                }
                return true;
            }
            return take_exponent_mark(c);
        case part::exponent_mark:
            if (c == '+' || c == '-') {
                negative_exponent_ = c == '-';
                part_ = part::exponent;
                return true;
            }
            [[fallthrough]];
        case part::exponent:
            if (!is_digit(c)) {
                return false;
            }
            part_ = part::exponent;
            exponent_digits_ = true;
            if (exponent_ < exponent_limit / 10) {
                exponent_ = exponent_ * 10 + (c - '0');
            }
            return true;
    }
    return false;
}

bool number_scanner::take_mantissa(int c) {
    if (is_digit(c)) {
        any_digit_ = true;
        part_ = part::integer;
        if (count_ != 0 || c != '0') {  // leading zeros count for nothing
            add_digit(c - '0');
            ++point_position_;
        }
        return true;
    }
    if (c == '.') {
        part_ = part::fraction;
        return true;
    }
    return take_exponent_mark(c);
}

bool number_scanner::take_exponent_mark(int c) {
    if (any_digit_ && (c == 'e' || c == 'E')) {
        part_ = part::exponent_mark;
        return true;
    }
    return false;
}

void number_scanner::add_digit(int digit) {
    if (count_ < kept_digits) {
        digits_[count_++] = static_cast<char>('0' + digit);
    } else if (digit != 0) {
        sticky_ = true;
    }
}

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
