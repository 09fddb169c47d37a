#include "number_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

const double inf = std::numeric_limits<double>::infinity();

struct read_case {
    const char* input;
    bool read;
    double value;
    const char* left;  // what the next read sees
};

const read_case read_cases[] = {
    {"1000\n10\n", true, 1000, "\n10\n"},
    {"  \t\n\r\v\f 42", true, 42, ""},
    {"1000 10", true, 1000, " 10"},
    {"1000,5\n", true, 1000, ",5\n"},
    {"+7.5x", true, 7.5, "x"},
    {"-0", true, -0.0, ""},
    {".5", true, 0.5, ""},
    {"5.", true, 5, ""},
    {"1.e5", true, 1e5, ""},
    {"2.5E-3;", true, 0.0025, ";"},
    {"1e+2e", true, 100, "e"},
    {"123.456", true, 123.456, ""},
    {"800.1", true, 800.1, ""},
    {"0x10", true, 0, "x10"},
    {"1e400", true, inf, ""},
    {"-1e400", true, -inf, ""},
    {"1e-400", true, 0, ""},
    {"4.9406564584124654e-324", true, 4.9406564584124654e-324, ""},
    {"2.4703282292062328e-324", true, 4.9406564584124654e-324, ""},  // above half the least
    {"2.4703282292062327e-324", true, 0, ""},                        // just below half the least
    {"179769313486231580793728971405301e276", true, 1.7976931348623157e308, ""},
    {"179769313486231580793728971405304e276", true, inf, ""},
    {"9007199254740993", true, 9007199254740992, ""},  // a tie between doubles: to even
    {"9007199254740993.0000000000000000000000000001", true, 9007199254740994, ""},
    {"000000000000000000000000000000001", true, 1, ""},
    {"0.000000000000000000000000000000001e33", true, 1, ""},
    {"1e0000000000000000000000000000005", true, 1e5, ""},
    // Exponents whose digits include zeros, on both sides.
    {"1e305", true, 1e305, ""},
    {"-1e-305", true, -1e-305, ""},
    {"12345e-10", true, 1.2345e-6, ""},
    {"6.02214076e23", true, 6.02214076e23, ""},
    {"1e999999999999999999999999999999", true, inf, ""},
    {"1e-999999999999999999999999999999", true, 0, ""},
    // Not numbers: nothing but the stopping character is left, and it stays.
    {"", false, 0, ""},
    {"   \n", false, 0, ""},
    {"inf", false, 0, "inf"},
    {"infinity", false, 0, "infinity"},
    {"nan", false, 0, "nan"},
    {"abc", false, 0, "abc"},
    {",5", false, 0, ",5"},
    {"e5", false, 0, "e5"},
    {"-x", false, 0, "x"},
    {"+", false, 0, ""},
    {".", false, 0, ""},
    {"-.e1", false, 0, "e1"},
    {"1e", false, 0, ""},
    {"1e+x", false, 0, "x"},
    {"1E-\n", false, 0, "\n"},
};

TEST(NumberReader, ReadsWhatItShouldAndLeavesTheRest) {
    for (const auto& expected : read_cases) {
        SCOPED_TRACE(std::string("input \"") + expected.input + "\"");
        const std::string input = expected.input;
        fare::memory_source source{input.data(), input.data() + input.size()};
        double value = -1.0;
        EXPECT_EQ(fare::read_number(source, value), expected.read);
        EXPECT_EQ(value, expected.value);
        EXPECT_EQ(std::signbit(value), std::signbit(expected.value));
        EXPECT_EQ(std::string(source.next, source.end), expected.left);
    }
}

TEST(NumberReader, StreamSourceKeepsTheStopperForTheNextRead) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    std::fputs("1000,5\n", stream);
    std::rewind(stream);
    fare::stream_source source{stream};
    double first = 0;
    double second = -1;
    EXPECT_TRUE(fare::read_number(source, first));
    EXPECT_FALSE(fare::read_number(source, second));
    EXPECT_EQ(first, 1000);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(source.get(), ',');
    EXPECT_EQ(source.get(), '5');
    std::fclose(stream);
}

// Long numbers keep only their leading digits, yet must round as if all
// were there: compare with the C library's conversion of the whole text.
TEST(NumberReader, LongNumbersRoundLikeTheWholeText) {
    const std::string ties[] = {
        // Just below, at and just above the midpoint 1 + 2^-53.
        "1.00000000000000011102230246251565404236316680908203124",
        "1.00000000000000011102230246251565404236316680908203125",
        "1.00000000000000011102230246251565404236316680908203125" + std::string(2000, '0') + "1",
        "0." + std::string(5000, '0') + "1e5001",
        std::string(3000, '9') + "e-2999",
        std::string(900, '1') + "." + std::string(900, '7'),
    };
    for (const std::string& text : ties) {
        fare::memory_source source{text.data(), text.data() + text.size()};
        double value = 0;
        ASSERT_TRUE(fare::read_number(source, value));
        EXPECT_EQ(value, std::strtod(text.c_str(), nullptr)) << text.substr(0, 60);
        EXPECT_EQ(source.next, source.end);
    }
}

}  // namespace
