// Any bytes in, two reads as the dialogue makes them, one quote.
//
// Each read is checked against the C library: the characters it took, after
// the white space, must be a decimal text that strtod converts whole to the
// very same double (or, for a failed read, the start of one), and the
// character it stopped at must be one that could not have continued it.

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fare_rule.h"
#include "float_product.h"
#include "number_reader.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "%s: \"%.200s\"\n", what, text.c_str());
    std::abort();
}

bool is_decimal_char(char c) { return c != '\0' && std::strchr("0123456789+-.eE", c) != nullptr; }

// strtod takes the whole text, and the text is non-empty.
bool strtod_takes_all(const std::string& text, double* value = nullptr) {
    char* end = nullptr;
    const double converted = std::strtod(text.c_str(), &end);
    if (value != nullptr) {
        *value = converted;
    }
    return !text.empty() && end == text.c_str() + text.size();
}

// One read from [begin, end), checked; returns where the next read starts.
const char* checked_read(const char* begin, const char* end, double& value) {
    fare::memory_source source{begin, end};
    value = -1.0;
    const bool read = fare::read_number(source, value);
    const char* stop = source.next;
    if (stop < begin || stop > end) {
        fail("read left its input", std::string(begin, end));
    }
    const char* first = begin;
    while (first != stop && std::isspace(static_cast<unsigned char>(*first)) != 0) {
        ++first;
    }
    const std::string taken(first, stop);
    for (const char c : taken) {
        if (!is_decimal_char(c)) {
            fail("took a character that is no part of a decimal number", taken);
        }
    }
    // Whatever was taken could still have become a number.
    if (!taken.empty() && !strtod_takes_all(taken + "0")) {
        fail("took characters that begin no number", taken);
    }
    if (stop != end) {
        if (taken.empty() && std::isspace(static_cast<unsigned char>(*stop)) != 0) {
            fail("stopped in the leading white space", std::string(begin, end));
        }
        // A single 0 completes every beginning of a decimal number, so if it
        // completes this one the stopping character should have been taken.
        if (is_decimal_char(*stop) && strtod_takes_all(taken + *stop + "0")) {
            fail("stopped at a character that continues the number", taken + *stop);
        }
    }

    double expected = 0.0;
    if (strtod_takes_all(taken, &expected)) {
        if (!read) {
            fail("failed on a whole number", taken);
        }
        if (std::bit_cast<std::uint64_t>(value) != std::bit_cast<std::uint64_t>(expected)) {
            fail("not the correctly rounded value", taken);
        }
    } else if (read || std::bit_cast<std::uint64_t>(value) != 0) {
        fail("a failed read must give +0 and return false", taken);
    }
    return stop;
}

// The program reads through a C stream: it must see the same numbers and
// leave the same character for whatever reads next.
void check_stream(const std::uint8_t* data, std::size_t size, double length, double travel_days,
                  const char* rest) {
    if (size == 0) {
        return;
    }
    std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (stream == nullptr) {
        std::abort();
    }
    fare::stream_source source{stream};
    double first = -1.0;
    double second = -1.0;
    fare::read_number(source, first);
    fare::read_number(source, second);
    const int next = source.get();
    std::fclose(stream);
    const char* end = reinterpret_cast<const char*>(data) + size;
    const int expected_next = rest == end ? EOF : static_cast<unsigned char>(*rest);
    if (std::bit_cast<std::uint64_t>(first) != std::bit_cast<std::uint64_t>(length) ||
        std::bit_cast<std::uint64_t>(second) != std::bit_cast<std::uint64_t>(travel_days) ||
        next != expected_next) {
        fail("the stream reads differently", std::string(reinterpret_cast<const char*>(data), end));
    }
}

bool same_price(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

bool same_quote(const fare::fare_quote& a, const fare::fare_quote& b) {
    return a.discounted == b.discounted && same_price(a.cost, b.cost) &&
           (!a.discounted ||
            (same_price(a.discount, b.discount) && same_price(a.total_price, b.total_price)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* begin = reinterpret_cast<const char*>(data);
    const char* end = begin + size;
    double length = 0.0;
    double travel_days = 0.0;
    const char* rest = checked_read(begin, end, length);
    rest = checked_read(rest, end, travel_days);
    check_stream(data, size, length, travel_days, rest);

    // Both rounding paths must give the quote the program prints.
    const fare::fare_quote quote = fare::compute_fare(length, travel_days);
    const fare::fare_quote odd =
        fare::compute_fare(length, travel_days, fare::float_product_round_to_odd);
    if (!same_quote(quote, odd)) {
        fail("the rounding paths disagree", std::string(begin, rest));
    }
    return 0;
}
