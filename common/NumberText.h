#pragma once

// Exact reading and writing of numbers as text, shared by the value text and the conversions.
// Nothing here goes through a binary double except the formatting of one, so decimal texts
// round exactly and no locale of the C library is involved.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/RegionalSettings.h"

namespace vr::numtext {

// The locale's decimal separator; a point should the settings carry none, so that numbers never
// lose their separator when written.
inline std::string_view DecimalSeparator(const RegionalSettings& settings) {
    return settings.decimalSeparator.empty() ? std::string_view(".") : settings.decimalSeparator;
}

// A decimal number read from text: value = digits * 10^exponent, with the sign apart.
struct DecimalDigits {
    bool negative = false;
    std::string digits;         // significant digits without leading zeros; empty for zero
    std::int64_t exponent = 0;  // saturated far beyond any value a rule can use
};

// Reads [spaces] [+|-] digits [separator digits] [(E|e) [+|-] digits] [spaces], spaces being
// U+0020 only; anything else gives no value. A huge exponent costs no more than its digits.
std::optional<DecimalDigits> ScanDecimal(std::string_view text, std::string_view separator);

// The value times 10^places rounded to the nearest integer, ties to even; no value when the
// result does not fit a signed 64-bit integer. places is small (0 to 18).
std::optional<std::int64_t> ToScaledInteger(const DecimalDigits& number, int places);

// Decimal exponent of the leading digit (1234 gives 3, 0.05 gives -2); 0 for zero.
std::int64_t LeadingExponent(const DecimalDigits& number);

// A double in the general form of the value text: at most 15 significant digits, no trailing
// zeros, the given separator, exponent form below 0.0001 or from 10^15 on ("1E-5", "1,5E20").
std::string FormatGeneral(double value, std::string_view separator);

// A number too large for a double in the same general form, rounded to 15 significant digits
// (ties to even): always in exponent form ("1E400", "-1,5E999999").
std::string FormatBeyondDouble(const DecimalDigits& number, std::string_view separator);

}  // namespace vr::numtext
