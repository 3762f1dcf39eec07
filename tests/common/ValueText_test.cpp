#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/ValueText.h"
#include "tests/support/Locales.h"

namespace vr {
namespace {

using ::testing::HasSubstr;
using ::testing::Lt;
using ::testing::SizeIs;
using ::testing::ThrowsMessage;

using test::CommaLocale;
using test::PointLocale;

// The value text of the JSON value json, read as member "v" of an object.
std::string Read(const std::string& json, const RegionalSettings& settings) {
    const JsonDocument doc = JsonDocument::Parse("{\"v\":" + json + "}");
    return ValueText(*doc.root().Find("v"), settings);
}

struct NumberCase {
    std::string json;
    std::string point;
    std::string comma;
};

TEST(TaxValueText, NumbersFollowTheGeneralFormInBothLocales) {
    const std::vector<NumberCase> cases = {
        {"0", "0", "0"},
        {"-0", "0", "0"},
        {"0.0", "0", "0"},
        {"15", "15", "15"},
        {"-3", "-3", "-3"},
        {"18.50", "18.5", "18,5"},
        {"38.24", "38.24", "38,24"},
        {"-2.5", "-2.5", "-2,5"},
        {"0.1", "0.1", "0,1"},
        {"0.30000000000000004", "0.3", "0,3"},
        {"1234567.891", "1234567.891", "1234567,891"},
        {"1E2", "100", "100"},
        {"2.5e1", "25", "25"},
        // Eleven characters without a point still read through the double.
        {"12345678901", "12345678901", "12345678901"},
        {"-1234567890", "-1234567890", "-1234567890"},
        // Fifteen significant digits, rounded.
        {"123456789012345.6", "123456789012346", "123456789012346"},
        {"0.123456789012345678", "0.123456789012346", "0,123456789012346"},
        {"999999999999999.4", "999999999999999", "999999999999999"},
        // Below 0.0001 the exponent form takes over.
        {"0.0001", "0.0001", "0,0001"},
        {"0.00012", "0.00012", "0,00012"},
        {"0.00001", "1E-5", "1E-5"},
        {"-0.00001", "-1E-5", "-1E-5"},
        {"0.00000015", "1.5E-7", "1,5E-7"},
        {"0.000099999999999999999", "0.0001", "0,0001"},
        {"0.0000999", "9.99E-5", "9,99E-5"},
        // More than fifteen digits before the separator.
        {"999999999999999.9", "1E15", "1E15"},
        {"1e15", "1E15", "1E15"},
        {"1e20", "1E20", "1E20"},
        {"12345678901234567.0", "1.23456789012346E16", "1,23456789012346E16"},
        {"-1.5e300", "-1.5E300", "-1,5E300"},
        {"1.7976931348623157e308", "1.79769313486232E308", "1,79769313486232E308"},
        {"5e-324", "4.94065645841247E-324", "4,94065645841247E-324"},
        // Below the smallest double: zero, not a failure.
        {"1e-400", "0", "0"},
        {"-1.0e-999999999", "0", "0"},
        {"0.0000000000000000000000000000e-99999999", "0", "0"},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(Read(c.json, PointLocale()), c.point);
        EXPECT_EQ(Read(c.json, CommaLocale()), c.comma);
    }
}

TEST(TaxValueText, NumbersTakeTheSeparatorOfTheSettings) {
    RegionalSettings arabic;
    arabic.decimalSeparator = "\xD9\xAB";  // U+066B
    EXPECT_EQ(Read("18.50", arabic), "18\xD9\xAB" "5");
    EXPECT_EQ(Read("1.5e-7", arabic), "1\xD9\xAB" "5E-7");
    RegionalSettings none;
    none.decimalSeparator.clear();
    EXPECT_EQ(Read("18.50", none), "18.5");
}

TEST(TaxValueText, RandomNumbersReadBackWithinFifteenDigits) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> mantissas(-10.0, 10.0);
    std::uniform_int_distribution<int> exponents(-30, 30);
    for (int i = 0; i < 20000; ++i) {
        const double value = mantissas(random) * std::pow(10.0, exponents(random));
        char buffer[64];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
        std::string json(buffer, end);
        if (json.find('.') == std::string::npos) json += ".0";  // stay off the long-text rule
        SCOPED_TRACE(json);
        const std::string point = Read(json, PointLocale());
        std::string comma = Read(json, CommaLocale());
        std::replace(comma.begin(), comma.end(), ',', '.');
        ASSERT_EQ(comma, point);
        double back = 0;
        const auto read = std::from_chars(point.data(), point.data() + point.size(), back);
        ASSERT_EQ(read.ptr, point.data() + point.size());
        ASSERT_LE(std::fabs(back - value), std::fabs(value) * 5e-15);
        const bool exponentForm = point.find('E') != std::string::npos;
        ASSERT_EQ(exponentForm, std::fabs(back) < 1e-4 || std::fabs(back) >= 1e15);
        ASSERT_NE(point.back(), '.');
        if (point.find('.') != std::string::npos && !exponentForm) {
            ASSERT_NE(point.back(), '0');
        }
    }
}

TEST(TaxValueText, LongNumbersWithoutPointKeepEveryDigit) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"123456789012", "123456789012"},
        {"-12345678901", "-12345678901"},
        {"7891234567895", "7891234567895"},
        {"123456789012345678", "123456789012345678"},
        {"9223372036854775807", "9223372036854775807"},
        {"-9223372036854775808", "-9223372036854775808"},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json);
        EXPECT_EQ(Read(json, CommaLocale()), expected);
        EXPECT_EQ(Read(json, PointLocale()), expected);
    }
}

TEST(TaxValueText, UnreadableLongNumbersFailWithTheirText) {
    const std::vector<std::string> cases = {
        "9223372036854775808",  // one past the 64-bit range
        "-9223372036854775809",
        "123456789012345678901234567890",
        "123456789012e3",  // long, no point, but an exponent
        "12345678901E0",
        "-1e-999999999",
    };
    for (const std::string& json : cases) {
        SCOPED_TRACE(json);
        EXPECT_THAT([&] { Read(json, CommaLocale()); }, ThrowsMessage<Error>(HasSubstr(json)));
    }
}

// A number too large for a double is valid JSON and reads in the general form from its own
// digits: exponent form, 15 significant digits, the locale's separator. It never reads as a
// value it does not have (infinity, the largest double), and its decimal conversion gives 0.
TEST(TaxValueText, NumbersBeyondAnyDoubleReadInExponentForm) {
    const std::vector<NumberCase> cases = {
        {"1e400", "1E400", "1E400"},
        {"1e999999", "1E999999", "1E999999"},
        {"-1.5e999999999", "-1.5E999999999", "-1,5E999999999"},
        {"1.0e309", "1E309", "1E309"},
        {"1.7976931348623159e308", "1.79769313486232E308", "1,79769313486232E308"},
        {"9.99999999999999999e400", "1E401", "1E401"},
        {"1.234567890123456e400", "1.23456789012346E400", "1,23456789012346E400"},
        // Ties go to the even last digit.
        {"1.000000000000005e400", "1E400", "1E400"},
        {"1.000000000000015e400", "1.00000000000002E400", "1,00000000000002E400"},
        {"1.0000000000000050001e400", "1.00000000000001E400", "1,00000000000001E400"},
        {"1" + std::string(399, '0') + ".5", "1E399", "1E399"},
        {"-" + std::string(1, '7') + std::string(500, '0') + ".0", "-7E500", "-7E500"},
        // Too small for a double still reads as zero, as it did.
        {"1e-400", "0", "0"},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.json.substr(0, 40));
        EXPECT_EQ(Read(c.json, PointLocale()), c.point);
        EXPECT_EQ(Read(c.json, CommaLocale()), c.comma);
    }
    // Without a point and longer than eleven characters it is a long integer, which it is not.
    EXPECT_THROW(Read("1e1000000000000", PointLocale()), Error);
}

TEST(TaxValueText, AHugeNumberIsQuotedOnlyInPart) {
    const std::string json = "1" + std::string(100000, '0');
    EXPECT_THAT([&] { Read(json, PointLocale()); }, ThrowsMessage<Error>(SizeIs(Lt(200u))));
}

TEST(TaxValueText, OtherKindsReadAsTheirText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"("abc")", "abc"},
        {R"("")", ""},
        {R"("18.50")", "18.50"},  // strings are not reformatted
        {R"("a\u00e7\"b\n")", "a\xC3\xA7\"b\n"},
        {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
        {"true", "true"},
        {"false", "false"},
        {"null", "null"},
        {"{}", ""},
        {R"({"a":1})", ""},
        {"[]", ""},
        {R"([1,"x"])", ""},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json);
        EXPECT_EQ(Read(json, CommaLocale()), expected);
    }
}

TEST(TaxValueText, RequiredMemberTakesTheFirstOfDuplicatesAndNamesAMissingOne) {
    const JsonDocument doc = JsonDocument::Parse(R"({"ncm":"1","NCM":"3","ncm":"2","n":null})");
    EXPECT_EQ(RequiredMemberText(doc.root(), "ncm", PointLocale()), "1");
    EXPECT_EQ(RequiredMemberText(doc.root(), "NCM", PointLocale()), "3");
    EXPECT_EQ(RequiredMemberText(doc.root(), "n", PointLocale()), "null");
    for (const std::string name : {"cest", "Ncm", "nc", ""}) {
        SCOPED_TRACE(name);
        EXPECT_THAT([&] { RequiredMemberText(doc.root(), name, PointLocale()); },
                    ThrowsMessage<Error>(HasSubstr("\"" + name + "\"")));
    }
    // Not an object: every member is missing.
    const JsonDocument array = JsonDocument::Parse(R"([{"ncm":"1"}])");
    EXPECT_THROW(RequiredMemberText(array.root(), "ncm", PointLocale()), Error);
}

}  // namespace
}  // namespace vr
