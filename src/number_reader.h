#pragma once

// Reads one decimal number from a character source, the way a scanf "%lf"
// conversion restricted to decimal notation would: leading white space is
// skipped, then an optional sign, digits with an optional decimal point and
// an optional exponent are taken; the first character that cannot continue
// the number stays in the source for the next read. Hexadecimal, "inf" and
// "nan" are not numbers here.
//
// The conversion is correctly rounded to the nearest double, in constant
// memory whatever the length of the number: only the leading significant
// digits are kept, plus whether any digit after them is non-zero.

#include <cstdint>
#include <cstdio>

namespace fare {

// The characters of one number, taken one at a time, and its value.
class number_scanner {
public:
    // Takes c if it continues the number; false if c ends it (c is then no
    // part of it).
    bool take(int c);
    // The value of what was taken; false for a failed read, which yields 0.
    // A number cut short (a lone sign or point, an exponent mark with no
    // digits after it, as in "-x", "." or "1e+x") is a failed read too.
    // Not const: the text for strtod is built around the kept digits.
    bool finish(double& value);

    // Enough digits to tell apart every pair of neighbouring doubles and the
    // midpoint between them: a midpoint can need 768 significant digits, as
    // (2^54 - 1) x 2^-1075 does.
    static constexpr int kept_digits = 800;

private:
    enum class part : std::uint8_t {
        white_space,
        sign,
        integer,
        fraction,
        exponent_mark,
        exponent
    };

    static bool is_digit(int c) { return c >= '0' && c <= '9'; }
    static bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    bool take_mantissa(int c);
    bool take_exponent_mark(int c);
    void add_digit(int digit);

    // Exponents beyond this are saturated: with any realistic number of
    // digits the value is then already an infinity or a zero.
    static constexpr std::int64_t exponent_limit = 1'000'000'000'000'000'000;

    // The number is 0.digits_ x 10^(point_position_ + exponent), with a
    // sticky flag for non-zero digits beyond those kept. finish appends the
    // rest of the text for strtod (a sticky digit, the exponent) behind the
    // digits, hence the room.
    char digits_[kept_digits + 24]{};
    int count_ = 0;
    bool sticky_ = false;
    bool negative_ = false;
    bool any_digit_ = false;
    part part_ = part::white_space;
    bool exponent_digits_ = false;
    bool negative_exponent_ = false;
    std::int64_t point_position_ = 0;
    std::int64_t exponent_ = 0;
};

// Source needs get() returning the next character or EOF, and unget(c)
// putting back the one character just taken (EOF is never put back).
template <class Source>
bool read_number(Source& in, double& value) {
    number_scanner number;
    int c = in.get();
    while (number.take(c)) {
        c = in.get();
    }
    if (c != EOF) {
        in.unget(c);
    }
    return number.finish(value);
}

// Characters from a C stream. The character put back is held here, not
// handed back to the stream: ungetc would add a C library function for the
// dynamic loader to resolve, which costs a run more than the read itself. Use
// one source for all the reads of a stream.
struct stream_source {
    std::FILE* stream = nullptr;
    int held = EOF;

    int get() {
        const int c = held;
        if (c == EOF) {
            return std::getc(stream);
        }
        held = EOF;
        return c;
    }
    void unget(int c) { held = c; }
};

inline bool number_scanner::take(int c) {
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

inline bool number_scanner::take_mantissa(int c) {
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

inline bool number_scanner::take_exponent_mark(int c) {
    if (any_digit_ && (c == 'e' || c == 'E')) {
        part_ = part::exponent_mark;
        return true;
    }
    return false;
}

inline void number_scanner::add_digit(int digit) {
    if (count_ < kept_digits) {
        digits_[count_++] = static_cast<char>('0' + digit);
    } else if (digit != 0) {
        sticky_ = true;
    }
}

}  // namespace fare
