// Prices a trip: asks for its length and number of travel days, prints the
// cost (with the discount and total of a long trip), waits for a key.

#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "fare_rule.h"
#include "key_wait.h"
#include "number_reader.h"
#include "report.h"

namespace {

// Standard error is unbuffered, so the complaint is one write either way.
// Made on the descriptor, it spares every run the dynamic loader's search for
// the C library's stderr object; if it fails too, nothing is left to say.
void complain_report_unwritten() {
    static constexpr char line[] = "error: no se pudo escribir el resultado\n";
    const auto written = write(STDERR_FILENO, line, sizeof line - 1);
    static_cast<void>(written);
}

// A read that finds no number leaves the quantity at 0.
double ask(const char* prompt, fare::stream_source& input) {
    std::fputs(prompt, stdout);
    std::fflush(stdout);  // the prompt must be on screen before the read blocks
    double value = 0.0;
    fare::read_number(input, value);
    return value;
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
    fare::print_report(quote, stdout);
    const bool report_written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    // Said before the wait, so that nobody waits for a report that is not coming.
    if (!report_written) {
        complain_report_unwritten();
    }
    fare::wait_for_key();
    return report_written ? 0 : 1;
}
