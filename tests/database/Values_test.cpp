#include <gtest/gtest.h>

#include <cstdint>

#include "common/Error.h"
#include "database/Latin1.h"
#include "database/Values.h"

namespace vr::db {
namespace {

TEST(DbLatin1, RoundTripAndReplacement) {
    struct Case {
        std::string utf8;
        std::string latin1;
    } const cases[] = {
        {"ABC", "ABC"},
        {"Ação é ÿ", "A\xE7\xE3o \xE9 \xFF"},
        {"€", "?"},            // in Windows-1252, not in ISO-8859-1
        {"Ω and 😀", "? and ?"},  // a character above U+FFFF is one "?"
        {"\xC3", "?"},         // cut sequence
        {"a\xFF" "b", "a?b"},    // invalid byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(Utf8ToLatin1(c.utf8), c.latin1);
    }
    EXPECT_EQ(Latin1ToUtf8("A\xE7\xE3o \xFF"), "Ação ÿ");
}

TEST(DbValues, ScaledNumbers) {
    EXPECT_EQ(FormatScaled({123456, -4}), "12.3456");
    EXPECT_EQ(FormatScaled({125000, -4}), "12.5");
    EXPECT_EQ(FormatScaled({54050000, -4}), "5405");
    EXPECT_EQ(FormatScaled({-1, -4}), "-0.0001");
    EXPECT_EQ(FormatScaled({0, -4}), "0");
    EXPECT_EQ(FormatScaled({7, 0}), "7");

    const auto parsed = ParseScaled("-12,345");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->unscaled, -12345);
    EXPECT_EQ(parsed->scale, -3);
    for (const char* bad : {"", "-", "1.2.3", "12a", " 1", "1e5"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseScaled(bad));
    }

    // Half away from zero, as the server rounds.
    EXPECT_EQ(Rescale({123455, -4}, -3), 12346);
    EXPECT_EQ(Rescale({-123455, -4}, -3), -12346);
    EXPECT_EQ(Rescale({123454, -4}, -3), 12345);
    EXPECT_EQ(Rescale({5405, 0}, -4), 54050000);
    EXPECT_THROW(Rescale({INT64_MAX / 10, 0}, -4), Error);
}

TEST(DbValues, DatesAsTheServerCountsThem) {
    EXPECT_EQ(ToIscDate({1858, 11, 17}), 0);
    EXPECT_EQ(ToIscDate({1970, 1, 1}), 40587);
    EXPECT_EQ(ToIscDate({2024, 2, 29}), 60369);
    EXPECT_EQ(ToIscTime({2000, 1, 1, 13, 45, 10}), 495100000u);
    const LocalDateTime back = FromIscDateTime(60369, 495101234);
    EXPECT_EQ(back, (LocalDateTime{2024, 2, 29, 13, 45, 10}));

    EXPECT_EQ(ParseDateTime("2026-03-14"), (LocalDateTime{2026, 3, 14, 0, 0, 0}));
    EXPECT_EQ(ParseDateTime("2026-03-14 23:59:58"), (LocalDateTime{2026, 3, 14, 23, 59, 58}));
    for (const char* bad : {"2026-02-30", "14/03/2026", "2026-03-14 24:00:00", "2026-03-14T10:00:00"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseDateTime(bad));
    }
    EXPECT_EQ(FormatTimestamp({2026, 3, 4, 5, 6, 7}), "2026-03-04 05:06:07");
}

}  // namespace
}  // namespace vr::db
