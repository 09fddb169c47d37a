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

    bool take_mantissa(int c);
    bool take_exponent_mark(int c);
    void add_digit(int digit);

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

// Characters from memory: a string already read, a fuzzer's bytes. What is
// left unread stays visible in [next, end).
struct memory_source {
    const char* next;
    const char* end;

    int get() { return next == end ? EOF : static_cast<unsigned char>(*next++); }
    void unget(int /*c*/) { --next; }
};

}  // namespace fare
