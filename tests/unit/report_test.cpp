#include "report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

namespace {

std::string report_of(const fare::fare_quote& quote) {
    std::FILE* out = std::tmpfile();
    if (out == nullptr) {
        ADD_FAILURE() << "no temporary file";
        return {};
    }
    fare::print_report(quote, out);
    std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
}

constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

struct report_case {
    fare::fare_quote quote;
    const char* report;
};

// Text mode on Windows writes each \n as CR LF; the temporary file is
// binary, so the bytes here are the same everywhere.
const report_case report_cases[] = {
    {{false, 2500.0F, 0.0F, 0.0F}, "el costo es 2500.000000 "},
    {{false, 308.640015F, 0.0F, 0.0F}, "el costo es 308.640015 "},
    {{false, 2500.0F, 750.0F, 1750.0F}, "el costo es 2500.000000 "},  // not discounted: one line
    {{true, 2500.0F, 750.0F, 1750.0F},
     "el costo es 2500.000000 \nel descuento es de 750.000000 \nel precio total es 1750.000000 "},
    {{false, -0.0F, 0.0F, 0.0F}, "el costo es -0.000000 "},
    {{false, -inf, 0.0F, 0.0F}, "el costo es -inf "},
    {{true, inf, inf, -nan}, "el costo es inf \nel descuento es de inf \nel precio total es -nan "},
    {{true, inf, inf, nan}, "el costo es inf \nel descuento es de inf \nel precio total es nan "},
    {{true, nan, -nan, 1.0F},
     "el costo es nan \nel descuento es de -nan \nel precio total es 1.000000 "},
};

TEST(Report, WritesTheExactBytes) {
    for (const auto& expected : report_cases) {
        EXPECT_EQ(report_of(expected.quote), expected.report);
    }
}

}  // namespace
