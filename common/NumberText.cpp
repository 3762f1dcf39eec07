#include "common/NumberText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace vr::numtext {
namespace {

// Exponents are clamped here while read: far beyond any representable value, far below the
// point where adding a digit count could overflow.
constexpr std::int64_t kExponentLimit = 1'000'000'000'000'000;  // 10^15

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipSpaces(std::string_view text, std::size_t pos) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    return pos;
}

// Appends the digits at pos to digits (leading zeros of the whole number dropped); returns how
// many digits were read.
std::size_t ReadDigits(std::string_view text, std::size_t& pos, std::string& digits) {
    const std::size_t start = pos;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (!(digits.empty() && text[pos] == '0')) digits.push_back(text[pos]);
        ++pos;
    }
    return pos - start;
}

bool AnyNonZero(std::string_view digits) {
    return digits.find_first_not_of('0') != std::string_view::npos;
}

// "1,5E20": the leading digit, the others after the separator, then the exponent.
void AppendExponentForm(std::string& out, const std::string& digits, std::int64_t exponent,
                        std::string_view separator) {
    out.push_back(digits.front());
    if (digits.size() > 1) {
        out.append(separator);
        out.append(digits, 1);
    }
    out.push_back('E');
    out.append(std::to_string(exponent));
}

}  // namespace

std::optional<DecimalDigits> ScanDecimal(std::string_view text, std::string_view separator) {
    DecimalDigits number;
    std::size_t pos = SkipSpaces(text, 0);
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        number.negative = text[pos] == '-';
        ++pos;
    }
    if (ReadDigits(text, pos, number.digits) == 0) return std::nullopt;

    std::int64_t fractionLength = 0;
    if (!separator.empty() && text.substr(pos, separator.size()) == separator) {
        pos += separator.size();
        const std::size_t count = ReadDigits(text, pos, number.digits);
        if (count == 0) return std::nullopt;
        fractionLength = static_cast<std::int64_t>(count);
    }

    std::int64_t exponent = 0;
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        ++pos;
        bool negativeExponent = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            negativeExponent = text[pos] == '-';
            ++pos;
        }
        const std::size_t start = pos;
        for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
            if (exponent < kExponentLimit) exponent = exponent * 10 + (text[pos] - '0');
        }
        if (pos == start) return std::nullopt;
        if (negativeExponent) exponent = -exponent;
    }

    pos = SkipSpaces(text, pos);
    if (pos != text.size()) return std::nullopt;
    number.exponent = exponent - fractionLength;
    return number;
}

std::int64_t LeadingExponent(const DecimalDigits& number) {
    if (number.digits.empty()) return 0;
    return static_cast<std::int64_t>(number.digits.size()) - 1 + number.exponent;
}

std::optional<std::int64_t> ToScaledInteger(const DecimalDigits& number, int places) {
    const std::string_view digits = number.digits;
    if (digits.empty()) return 0;
    constexpr std::int64_t kMaxIntegerDigits = 19;  // 10^19 - 1 still fits an unsigned 64-bit
    const std::int64_t length = static_cast<std::int64_t>(digits.size());
    const std::int64_t integerLength = length + number.exponent + places;
    if (integerLength > kMaxIntegerDigits) return std::nullopt;

    std::uint64_t magnitude = 0;
    std::string_view dropped;
    if (integerLength > 0) {
        const std::int64_t kept = std::min(integerLength, length);
        for (std::int64_t i = 0; i < kept; ++i) {
            magnitude = magnitude * 10 + static_cast<std::uint64_t>(digits[static_cast<std::size_t>(i)] - '0');
        }
        for (std::int64_t i = kept; i < integerLength; ++i) magnitude *= 10;
        if (kept < length) dropped = digits.substr(static_cast<std::size_t>(kept));
    } else if (integerLength == 0) {
        dropped = digits;
    }
    // integerLength < 0: below a tenth of the last place, rounds to zero.

    if (!dropped.empty()) {
        const char first = dropped.front();
        const bool roundUp =
            first > '5' ||
            (first == '5' && (AnyNonZero(dropped.substr(1)) || magnitude % 2 == 1));
        if (roundUp) ++magnitude;
    }

    constexpr std::uint64_t kMaxPositive = std::numeric_limits<std::int64_t>::max();
    if (number.negative) {
        if (magnitude > kMaxPositive + 1) return std::nullopt;
        if (magnitude == kMaxPositive + 1) return std::numeric_limits<std::int64_t>::min();
        return -static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > kMaxPositive) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

std::string FormatGeneral(double value, std::string_view separator) {
    if (value == 0 || !std::isfinite(value)) return "0";
    constexpr int kSignificant = 15;

    // Correctly rounded "d.dddddddddddddde[+-]x", independent of any locale.
    std::array<char, 64> buffer{};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                       std::fabs(value), std::chars_format::scientific,
                                       kSignificant - 1);
    const std::string_view scientific(buffer.data(),
                                      static_cast<std::size_t>(written.ptr - buffer.data()));
    const std::size_t e = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, e)) {
        if (IsDigit(c)) digits.push_back(c);
    }
    std::string_view exponentText = scientific.substr(e + 1);
    if (!exponentText.empty() && exponentText.front() == '+') exponentText.remove_prefix(1);
    int exponent = 0;
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out;
    if (value < 0) out.push_back('-');
    if (exponent < -4 || exponent >= kSignificant) {
        AppendExponentForm(out, digits, exponent, separator);
    } else if (exponent < 0) {
        out.push_back('0');
        out.append(separator);
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(digits);
    } else {
        const std::size_t integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= integerDigits) {
            out.append(digits);
            out.append(integerDigits - digits.size(), '0');
        } else {
            out.append(digits, 0, integerDigits);
            out.append(separator);
            out.append(digits, integerDigits);
        }
    }
    return out;
}

std::string FormatBeyondDouble(const DecimalDigits& number, std::string_view separator) {
    if (number.digits.empty()) return "0";
    constexpr std::size_t kSignificant = 15;
    std::string digits = number.digits;
    std::int64_t exponent = LeadingExponent(number);
    if (digits.size() > kSignificant) {
        const std::string_view dropped = std::string_view(digits).substr(kSignificant);
        const char first = dropped.front();
        const bool roundUp = first > '5' || (first == '5' && (AnyNonZero(dropped.substr(1)) ||
                                                              (digits[kSignificant - 1] - '0') % 2 == 1));
        digits.resize(kSignificant);
        if (roundUp) {
            std::size_t i = digits.size();
            while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
            if (i == 0) {
                digits.insert(digits.begin(), '1');
                digits.pop_back();
                ++exponent;
            } else {
                ++digits[i - 1];
            }
        }
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out;
    if (number.negative) out.push_back('-');
    AppendExponentForm(out, digits, exponent, separator);
    return out;
}

}  // namespace vr::numtext
