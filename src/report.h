#pragma once

// The report of a quote: the cost alone, or the cost, the discount and the
// total price of a discounted trip. Its last line has no line end; the wait
// for a key follows on that line.

#include <cstdio>

#include "fare_rule.h"

namespace fare {

// Writes the report to out; whether it got there is for the caller to ask
// the stream (fflush, ferror).
void print_report(const fare_quote& quote, std::FILE* out);

}  // namespace fare
