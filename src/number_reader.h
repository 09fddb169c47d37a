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

// The decimal number seen so far: 0.digits x 10^exponent, with a sticky flag
// for non-zero digits beyond those kept.
// text_ is left uninitialised: it is written before it is read, and clearing
// it would cost more than the read itself.
class decimal_digits {  // NOLINT(cppcoreguidelines-pro-type-member-init)
public:
    void add_integer_digit(int digit);
    void add_fraction_digit(int digit);
    void set_exponent(bool negative, std::int64_t magnitude);
    void set_negative(bool negative) { negative_ = negative; }
    // Not const: it writes the text for strtod around the kept digits.
    [[nodiscard]] double to_double();

    // Enough digits to tell apart every pair of neighbouring doubles and the
    // midpoint between them (those need at most 767 significant digits).
    static constexpr int kept_digits = 800;

private:
    void add_significant_digit(int digit);

    // The digits are kept where to_double needs them: in the text it hands
    // to strtod, after a sign, "0" and the point, and before room for a
    // sticky 1 and the exponent.
    static constexpr int digits_start = 3;
    char text_[digits_start + kept_digits + 16];
    int count_ = 0;
    bool sticky_ = false;
    bool negative_ = false;
    std::int64_t point_position_ = 0;  // where the point sits after the first kept digit
    std::int64_t exponent_ = 0;
};

inline bool is_digit(int c) { return c >= '0' && c <= '9'; }
inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Exponents beyond this are saturated: with any realistic number of digits
// the value is then already an infinity or a zero.
inline constexpr std::int64_t exponent_limit = 1'000'000'000'000'000'000;

// Source needs get() returning the next character or EOF, and unget(c)
// putting back the one character just taken (EOF is never put back).
//
// Returns false for a failed read, which yields 0. A number cut short (a lone
// sign or point, an exponent mark with no digits after it, as in "-x", "."
// or "1e+x") is a failed read too: its characters are taken, as scanf takes
// them, and the character that stopped it stays.
template <class Source>
bool read_number(Source& in, double& value) {
    value = 0.0;
    decimal_digits number;
    int c = in.get();
    while (is_space(c)) {
        c = in.get();
    }
    if (c == '+' || c == '-') {
        number.set_negative(c == '-');
        c = in.get();
    }
    bool any_digit = false;
    for (; is_digit(c); c = in.get()) {
        number.add_integer_digit(c - '0');
        any_digit = true;
    }
    if (c == '.') {
        for (c = in.get(); is_digit(c); c = in.get()) {
            number.add_fraction_digit(c - '0');
            any_digit = true;
        }
    }
    if (any_digit && (c == 'e' || c == 'E')) {
        c = in.get();
        const bool negative_exponent = c == '-';
        if (c == '+' || c == '-') {
            c = in.get();
        }
        any_digit = is_digit(c);
        std::int64_t magnitude = 0;
        for (; is_digit(c); c = in.get()) {
            if (magnitude < exponent_limit / 10) {
                magnitude = magnitude * 10 + (c - '0');
            }
        }
        number.set_exponent(negative_exponent, magnitude);
    }
    if (c != EOF) {
        in.unget(c);
    }
    if (!any_digit) {
        return false;
    }
    value = number.to_double();
    return true;
}

// Characters from a C stream. The character put back is held here, not in
// the stream (ungetc would cost a run more than the rest of the read): use one
// source for all the reads of a stream.
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

// Characters from memory; what is left unread stays visible in [next, end).
struct memory_source {
    const char* next;
    const char* end;
    int get() { return next == end ? EOF : static_cast<unsigned char>(*next++); }
    void unget(int /*c*/) { --next; }
};

}  // namespace fare
