#include "report.h"

#include <cmath>
#include <cstring>

namespace fare {
namespace {

// How "%f" spells a not-a-number is the C library's choice; spell it as glibc
// does, sign included, so that every build prints the same report.
void print_price(std::FILE* out, const char* format, float price) {
    if (!std::isnan(price)) {
        std::fprintf(out, format, static_cast<double>(price));
        return;
    }
    const char* const conversion = std::strstr(format, "%f");
    std::fwrite(format, 1, static_cast<std::size_t>(conversion - format), out);
    std::fputs(std::signbit(price) ? "-nan" : "nan", out);
    std::fputs(conversion + 2, out);
}

}  // namespace

void print_report(const fare_quote& quote, std::FILE* out) {
    if (quote.discounted) {
        print_price(out, "el costo es %f \n", quote.cost);
        print_price(out, "el descuento es de %f \n", quote.discount);
        print_price(out, "el precio total es %f ", quote.total_price);
    } else {
        print_price(out, "el costo es %f ", quote.cost);
    }
}

}  // namespace fare
