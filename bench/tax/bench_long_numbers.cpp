// Decimal conversion of texts built to make a careless reader slow: exponents of nine digits and
// more, and texts of 200,000 digits. Prints the time per conversion next to a single pass over
// the same bytes (the least any reader must do), measured in the same run; it never fails on a
// time.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/RegionalSettings.h"
#include "tax/TaxRules.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
    const char* name;
    std::string text;
};

std::vector<Case> Cases() {
    return {
        {"exponent of 9 digits", "1e999999999"},
        {"negative exponent", "1e-999999999"},
        {"exponent of 32 digits", "-1e99999999999999999999999999999999"},
        {"exponent of 200000 digits", "1e" + std::string(200000, '9')},
        {"200000 digits", std::string(200000, '1')},
        {"200000 decimals", "0," + std::string(200000, '0') + "1"},
        {"small value in disguise", std::string(200000, '0') + "25e-1"},
    };
}

template <typename F>
double MicrosecondsPerRun(int runs, F&& f) {
    const auto start = Clock::now();
    for (int i = 0; i < runs; ++i) f();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / runs;
}

}  // namespace

int main() {
    vr::RegionalSettings comma;
    comma.decimalSeparator = ",";
    constexpr int kRuns = 200;
    std::printf("%-28s %14s %14s %8s\n", "text", "conversion", "one pass", "ratio");
    long long sink = 0;  // keeps the work from being optimised away
    for (const Case& c : Cases()) {
        const double convert =
            MicrosecondsPerRun(kRuns, [&] { sink += vr::DecimalFromText(c.text, comma); });
        const double pass = MicrosecondsPerRun(
            kRuns, [&] { sink += std::count(c.text.begin(), c.text.end(), '9'); });
        std::printf("%-28s %11.2f us %11.2f us %8.1f\n", c.name, convert, pass,
                    pass > 0 ? convert / pass : 0.0);
    }
    std::printf("(checksum %lld)\n", sink);
    return 0;
}
