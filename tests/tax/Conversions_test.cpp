#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tax/TaxRules.h"
#include "tests/support/Locales.h"

namespace vr {
namespace {

using test::CommaLocale;
using test::PointLocale;

constexpr Decimal kMaxDecimal = std::numeric_limits<Decimal>::max();
constexpr Decimal kMinDecimal = std::numeric_limits<Decimal>::min();

struct DecimalCase {
    std::string text;
    Decimal comma;
    Decimal point;
};

TEST(TaxDecimal, ReadsTheLocaleGrammarExactly) {
    const std::vector<DecimalCase> cases = {
        {" 7,5 ", 75000, 0},
        {"7.5", 0, 75000},
        {"   38,24", 382400, 0},
        {"1.234,56", 0, 0},  // no thousands separator
        {"1,234.56", 0, 0},
        {"1e2", 1000000, 1000000},
        {"1E2", 1000000, 1000000},
        {"1,5E-1", 1500, 0},
        {"15e-1", 15000, 15000},
        {"1e+2", 1000000, 1000000},
        {"-3", -30000, -30000},
        {"+3", 30000, 30000},
        {"0", 0, 0},
        {"-0", 0, 0},
        {"007", 70000, 70000},
        {"18", 180000, 180000},
        {"1E-5", 0, 0},   // a value text in exponent form
        {"1,5E-4", 2, 0},
        // Nothing else reads.
        {"", 0, 0},
        {" ", 0, 0},
        {"abc", 0, 0},
        {"1,5x", 0, 0},
        {"x1", 0, 0},
        {"1,", 0, 0},
        {",5", 0, 0},
        {"1e", 0, 0},
        {"1e+", 0, 0},
        {"e5", 0, 0},
        {"--1", 0, 0},
        {"+-1", 0, 0},
        {"- 1", 0, 0},
        {"1 2", 0, 0},
        {"1,,5", 0, 0},
        {"\t1", 0, 0},
        {"1\n", 0, 0},
        {"1\xC2\xA0", 0, 0},           // no-break space
        {"\xD9\xA1", 0, 0},            // a digit of another script
        {"true", 0, 0},
        {"null", 0, 0},
        {std::string("1\0", 2), 0, 0},
    };
    for (const DecimalCase& c : cases) {
        SCOPED_TRACE("[" + c.text + "]");
        EXPECT_EQ(DecimalFromText(c.text, CommaLocale()), c.comma);
        EXPECT_EQ(DecimalFromText(c.text, PointLocale()), c.point);
    }
}

TEST(TaxDecimal, RoundsToFourPlacesTiesToEven) {
    const std::vector<std::pair<std::string, Decimal>> cases = {
        {"0,00005", 0},
        {"0,00015", 2},
        {"0,00025", 2},
        {"0,00035", 4},
        {"0,000050000000", 0},   // still a tie
        {"0,000050000001", 1},
        {"0,00004999999999", 0},
        {"0,00006", 1},
        {"-0,00015", -2},
        {"-0,00025", -2},
        {"-0,00005", 0},
        {"2,00005", 20000},
        {"2,00015", 20002},
        {"0,99995", 10000},
        {"0,000005", 0},
        {"12,34565", 123456},
        {"12,34575", 123458},
        {"5E-5", 0},
        {"15E-5", 2},
        {"1234567890123456789e-18", 12346},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(DecimalFromText(text, CommaLocale()), expected);
    }
}

TEST(TaxDecimal, StaysWithinTheRangeOfTheScaledInteger) {
    const std::vector<std::pair<std::string, Decimal>> cases = {
        {"922337203685477,5807", kMaxDecimal},
        {"922337203685477,58074999", kMaxDecimal},
        {"922337203685477,5808", 0},
        {"922337203685477,58075", 0},  // rounds past the top
        {"-922337203685477,5808", kMinDecimal},
        {"-922337203685477,5809", 0},
        {"100000000000000", 1000000000000000000},
        {"1000000000000000", 0},
        {"99999999999999999999", 0},
        {"1e14", 1000000000000000000},
        {"1e15", 0},
        {"00000000000000000000000000000001,5", 15000},
        {"1,00000000000000000000000000000000", 10000},
        {"100000000000000000000e-20", 10000},
        {"0,0000000000000000000000000000000000000000", 0},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(DecimalFromText(text, CommaLocale()), expected);
    }
}

// How long these take is bench_long_numbers' figure; here, what they read as.
TEST(TaxDecimal, HugeExponentsAndLongTextsReadAsZero) {
    const std::vector<std::string> cases = {
        "1e999999999",
        "1e-999999999",
        "-1e99999999999999999999999999999999",
        "1e-99999999999999999999999999999999",
        "0e999999999",
        "0,0e-999999999",
        "1e" + std::string(200000, '9'),
        "1e-" + std::string(200000, '9'),
        std::string(200000, '1'),
        "0," + std::string(200000, '0') + "1",
        std::string(200000, '0') + "1e-200000",
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        EXPECT_EQ(DecimalFromText(text, CommaLocale()), 0);
    }
    // A long text that is a small number in disguise still reads.
    EXPECT_EQ(DecimalFromText(std::string(200000, '0') + "25e-1", CommaLocale()), 25000);
    EXPECT_EQ(DecimalFromText("1" + std::string(200000, '0') + "e-200000", CommaLocale()), 10000);
}

TEST(TaxDecimal, AcceptsASeparatorOfSeveralBytes) {
    RegionalSettings arabic;
    arabic.decimalSeparator = "\xD9\xAB";  // U+066B
    EXPECT_EQ(DecimalFromText("1\xD9\xAB" "5", arabic), 15000);
    EXPECT_EQ(DecimalFromText("1,5", arabic), 0);
    EXPECT_EQ(DecimalFromText("1\xD9", arabic), 0);
    // Settings without a separator fall back to a point rather than reading "1" as 1.
    RegionalSettings none;
    none.decimalSeparator.clear();
    EXPECT_EQ(DecimalFromText("1.5", none), 15000);
    EXPECT_EQ(DecimalFromText("1", none), 10000);
}

// The fraction digits of m / 10^scale written out, e.g. (-12345, 3) gives "-12,345".
std::string Written(std::int64_t m, int scale, char separator) {
    std::string digits = std::to_string(m < 0 ? -m : m);
    if (static_cast<int>(digits.size()) <= scale) {
        digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    }
    if (scale > 0) digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, separator);
    return (m < 0 ? "-" : "") + digits;
}

TEST(TaxDecimal, AgreesWithIntegerRoundingOnRandomValues) {
    std::mt19937_64 random(20261209);
    std::uniform_int_distribution<std::int64_t> values(-99'999'999'999'999, 99'999'999'999'999);
    std::uniform_int_distribution<int> scales(0, 9);
    for (int i = 0; i < 20000; ++i) {
        const std::int64_t m = values(random) / (i % 2 == 0 ? 1 : 100000);
        const int scale = scales(random);
        Decimal expected = 0;
        if (scale <= 4) {
            expected = m;
            for (int k = scale; k < 4; ++k) expected *= 10;
        } else {
            std::int64_t unit = 1;
            for (int k = 4; k < scale; ++k) unit *= 10;
            const std::int64_t magnitude = m < 0 ? -m : m;
            std::int64_t quotient = magnitude / unit;
            const std::int64_t remainder = magnitude % unit;
            if (remainder * 2 > unit || (remainder * 2 == unit && quotient % 2 == 1)) ++quotient;
            expected = m < 0 ? -quotient : quotient;
        }
        const std::string comma = Written(m, scale, ',');
        SCOPED_TRACE(comma);
        ASSERT_EQ(DecimalFromText(comma, CommaLocale()), expected);
        ASSERT_EQ(DecimalFromText(Written(m, scale, '.'), PointLocale()), expected);
    }
}

TEST(TaxConversions, ArbitraryTextsReadTheSameInEitherLocaleAndNeverFail) {
    // Texts from the characters the grammars care about, plus bytes of other characters.
    const std::vector<std::string> pieces = {"0", "1", "5", "9", ",", ".", "e", "E", "+", "-",
                                             " ", "$", "x", "0x", "F", "\t", "\xC3\xA7",
                                             "\xD9\xAB", "\xF0\x9F\x98\x80", "99999999999",
                                             "e99999999999", std::string(1, '\0')};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 12);
    for (int i = 0; i < 50000; ++i) {
        std::string text;
        for (int n = length(random); n > 0; --n) text += pieces[pick(random)];
        std::string swapped = text;
        for (char& c : swapped) {
            if (c == ',') c = '.';
            else if (c == '.') c = ',';
        }
        SCOPED_TRACE(text);
        ASSERT_EQ(DecimalFromText(text, CommaLocale()), DecimalFromText(swapped, PointLocale()));
        ASSERT_EQ(DecimalFromText("  " + text, CommaLocale()),
                  DecimalFromText(text, CommaLocale()));
        ASSERT_EQ(IntegerFromText(" " + text), IntegerFromText(text));
    }
}

TEST(TaxInteger, ReadsDecimalAndHexadecimalTexts) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const std::vector<std::pair<std::string, std::int32_t>> cases = {
        {"5102", 5102},
        {" 5102", 5102},
        {"   -12", -12},
        {"+12", 12},
        {"007", 7},
        {"0000000000000000000000000001", 1},
        {"2147483647", kMax},
        {"-2147483648", kMin},
        {"$1F", 31},
        {"$1f", 31},
        {"x1F", 31},
        {"X1F", 31},
        {"0x1F", 31},
        {"0X1f", 31},
        {"-$1F", -31},
        {" +0x10", 16},
        {"$000000000000000001F", 31},
        {"$7FFFFFFF", kMax},
        {"$FFFFFFFF", -1},          // the 32-bit pattern
        {"$80000000", kMin},
        {"-$80000000", kMin},
        {"-$FFFFFFFF", 1},
        // Nothing else reads.
        {"5102 ", 0},
        {"", 0},
        {"   ", 0},
        {"99999999999", 0},
        {"2147483648", 0},
        {"-2147483649", 0},
        {"18446744073709551617", 0},
        {"$100000000", 0},
        {"$FFFFFFFFFFFFFFFFFFFFFFFF", 0},
        {"$", 0},
        {"0x", 0},
        {"-", 0},
        {"$G", 0},
        {"$-1", 0},
        {"0x0x1", 0},
        {"12a", 0},
        {"1.0", 0},
        {"1,0", 0},
        {"1e2", 0},
        {"- 5", 0},
        {"--5", 0},
        {"+-5", 0},
        {"\t5", 0},
        {"\xD9\xA3", 0},
        {"0b101", 0},
        {"h1F", 0},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE("[" + text + "]");
        EXPECT_EQ(IntegerFromText(text), expected);
    }
}

}  // namespace
}  // namespace vr
