// What the Windows program takes from its runtime: MinGW-w64's start-up, its
// printf and the x87 state that the extended rounding path needs.

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <string>

#include "float_product.h"

namespace {

std::string printed(double value) {
    char text[512];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

TEST(WindowsRuntime, PrintsTheExactDecimalValue) {
    // The system C library prints only the leading 17 digits of these.
    EXPECT_EQ(printed(FLT_MAX), "340282346638528859811704183484516925440.000000");
    EXPECT_EQ(printed(0x1p100), "1267650600228229401496703205376.000000");
    EXPECT_EQ(printed(-0x1.fffffep+126), "-170141173319264429905852091742258462720.000000");
    // Halfway between two six-decimal renderings: to even, both ways.
    EXPECT_EQ(printed(25000.0078125), "25000.007812");
    EXPECT_EQ(printed(25000.0234375), "25000.023438");
}

#if defined(__i386__) || defined(__x86_64__)
// long double lives on the x87 in both Windows builds. MinGW-w64's start-up
// resets the x87 unit (fninit); the Windows default would be a 53-bit
// significand, which rounds the extended path twice.
TEST(WindowsRuntime, X87CarriesA64BitSignificandAndRoundsToNearest) {
    static_assert(fare::long_double_rounds_once);
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    EXPECT_EQ((control >> 8) & 3U, 3U) << "precision control, word " << std::hex << control;
    EXPECT_EQ((control >> 10) & 3U, 0U) << "rounding control, word " << std::hex << control;
    EXPECT_EQ(control & 0x3fU, 0x3fU) << "exception masks, word " << std::hex << control;
}
#endif

}  // namespace
