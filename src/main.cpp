// Prices a trip: asks for its length and number of travel days, prints the
// cost (with the discount and total of a long trip), waits for a key.

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "fare_rule.h"
#include "key_wait.h"
#include "number_reader.h"

namespace {

// A read that finds no number leaves the quantity at 0.
double ask(const char* prompt, fare::stream_source& input) {
    std::printf("%s", prompt);
    std::fflush(stdout);  // the prompt must be on screen before the read blocks
    double value = 0.0;
    fare::read_number(input, value);
    return value;
}

// How "%f" spells a not-a-number is the C library's choice; spell it as glibc
// does, sign included, so that every build prints the same report.
void print_price(const char* format, float price) {
    if (!std::isnan(price)) {
        std::printf(format, static_cast<double>(price));
        return;
    }
    const char* const conversion = std::strstr(format, "%f");
    std::fwrite(format, 1, static_cast<std::size_t>(conversion - format), stdout);
    std::fputs(std::signbit(price) ? "-nan" : "nan", stdout);
    std::fputs(conversion + 2, stdout);
}

void print_report(const fare::fare_quote& quote) {
    if (quote.discounted) {
        print_price("el costo es %f \n", quote.cost);
        print_price("el descuento es de %f \n", quote.discount);
        print_price("el precio total es %f ", quote.total_price);
    } else {
        print_price("el costo es %f ", quote.cost);
    }
}

}  // namespace

int main() {
    // A reader that went away is a report that could not be written: say so
    // and fail with status 1, rather than die of the signal.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif

    fare::stream_source input{stdin};
    const double length = ask("Ingresa longitud\n", input);
    const double travel_days = ask("Ingresa dias de viaje\n", input);
    const fare::fare_quote quote = fare::compute_fare(length, travel_days);

    fare::prepare_key_wait();
    print_report(quote);
    const bool report_written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    // Said before the wait, so that nobody waits for a report that is not coming.
    if (!report_written) {
        std::fputs("error: no se pudo escribir el resultado\n", stderr);
    }
    fare::wait_for_key();
    return report_written ? 0 : 1;
}
