#include <cstdint>
#include <limits>
#include <optional>

#include "common/NumberText.h"
#include "tax/TaxRules.h"

namespace vr {
namespace {

constexpr int kDecimalPlaces = 4;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Length of the hexadecimal prefix at the start of text ("$", "x", "X", "0x", "0X"), or 0.
std::size_t HexPrefixLength(std::string_view text) {
    if (text.empty()) return 0;
    if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') return 1;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return 2;
    return 0;
}

// Hexadecimal digits are a 32-bit pattern: up to FFFFFFFF they are accepted and "$FFFFFFFF"
// is -1, as a 32-bit value written in hexadecimal would be read back; more is out of range.
std::optional<std::uint32_t> ReadHex(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(d);
        if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::uint64_t> ReadDecimal(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 32;  // beyond any 32-bit magnitude
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > kLimit) return std::nullopt;
    }
    return value;
}

}  // namespace

Decimal DecimalFromText(std::string_view text, const RegionalSettings& settings) {
    const auto number = numtext::ScanDecimal(text, numtext::DecimalSeparator(settings));
    if (!number) return 0;
    return numtext::ToScaledInteger(*number, kDecimalPlaces).value_or(0);
}

std::int32_t IntegerFromText(std::string_view text) {
    std::size_t pos = text.find_first_not_of(' ');
    if (pos == std::string_view::npos) return 0;
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-') {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::string_view rest = text.substr(pos);

    if (const std::size_t prefix = HexPrefixLength(rest); prefix > 0) {
        const auto pattern = ReadHex(rest.substr(prefix));
        if (!pattern) return 0;
        // Negating in unsigned arithmetic keeps "-$80000000" defined.
        const std::uint32_t bits = negative ? 0u - *pattern : *pattern;
        return static_cast<std::int32_t>(bits);
    }

    const auto magnitude = ReadDecimal(rest);
    if (!magnitude) return 0;
    const std::int64_t value = negative ? -static_cast<std::int64_t>(*magnitude)
                                        : static_cast<std::int64_t>(*magnitude);
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return 0;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace vr
