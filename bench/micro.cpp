// Nanoseconds per call of the two pieces of work in a run: pricing a trip
// and reading one number.

#include <benchmark/benchmark.h>

#include <string_view>

#include "fare_rule.h"
#include "number_reader.h"

namespace {

void price_trip(benchmark::State& state, double length, double travel_days) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(length);
        benchmark::DoNotOptimize(travel_days);
        fare::fare_quote quote = fare::compute_fare(length, travel_days);
        benchmark::DoNotOptimize(quote);
    }
}
BENCHMARK_CAPTURE(price_trip, discounted, 1000.0, 10.0);
BENCHMARK_CAPTURE(price_trip, not_discounted, 1000.0, 7.0);

void read_number(benchmark::State& state, std::string_view text) {
    for (auto _ : state) {
        const char* next = text.data();
        benchmark::DoNotOptimize(next);  // or the parse of a constant folds away
        fare::memory_source source{next, next + text.size()};
        double value = 0.0;
        bool read = fare::read_number(source, value);
        benchmark::DoNotOptimize(read);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK_CAPTURE(read_number, integer, std::string_view("1000\n"));
BENCHMARK_CAPTURE(read_number, fraction, std::string_view("800.1\n"));
BENCHMARK_CAPTURE(read_number, exponent, std::string_view("2.5E-3\n"));
BENCHMARK_CAPTURE(read_number, seventeen_digits, std::string_view("2.4703282292062328e-324\n"));
BENCHMARK_CAPTURE(read_number, not_a_number, std::string_view("abc\n"));

}  // namespace

BENCHMARK_MAIN();
