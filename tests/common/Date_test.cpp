#include <gtest/gtest.h>

#include <string>

#include "common/Date.h"

namespace vr {
namespace {

TEST(Date, DayNumbersMatchKnownDates) {
    struct Case {
        CivilDate date;
        std::int64_t days;
    } cases[] = {
        {{1970, 1, 1}, 0},
        {{1858, 11, 17}, -40587},  // the database's day zero
        {{2024, 2, 29}, 19782},
        {{2000, 3, 1}, 11017},
        {{1, 1, 1}, -719162},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.days);
        EXPECT_EQ(DaysFromCivil(c.date), c.days);
        EXPECT_EQ(CivilFromDays(c.days), c.date);
    }
}

TEST(Date, PreviousDayCrossesMonthsYearsAndLeapDays) {
    struct Case {
        CivilDate from, previous;
    } cases[] = {
        {{2024, 3, 1}, {2024, 2, 29}},
        {{2023, 3, 1}, {2023, 2, 28}},
        {{2024, 1, 1}, {2023, 12, 31}},
        {{1900, 3, 1}, {1900, 2, 28}},
        {{2000, 3, 1}, {2000, 2, 29}},
        {{2024, 5, 1}, {2024, 4, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.year << "-" << c.from.month << "-" << c.from.day);
        EXPECT_EQ(AddDays(c.from, -1), c.previous);
        EXPECT_EQ(AddDays(c.previous, 1), c.from);
    }
}

TEST(Date, EarlierComparesToTheSecond) {
    const LocalDateTime midnight{2024, 6, 10, 0, 0, 0};
    EXPECT_TRUE(IsEarlier({2024, 6, 9, 23, 59, 59}, midnight));
    EXPECT_FALSE(IsEarlier(midnight, midnight));
    EXPECT_FALSE(IsEarlier({2024, 6, 10, 8, 0, 0}, midnight));
    EXPECT_TRUE(IsEarlier({2023, 12, 31, 23, 0, 0}, midnight));
    EXPECT_FALSE(IsEarlier({2025, 1, 1, 0, 0, 0}, midnight));
}

TEST(Date, TextsArePaddedAndKeepWideValuesWhole) {
    struct Case {
        LocalDateTime moment;
        std::string iso, isoDateTime, dayMonthYear, time;
    } const cases[] = {
        {{2024, 3, 7, 9, 5, 0}, "2024-03-07", "2024-03-07 09:05:00", "07.03.2024", "09-05-00"},
        {{2024, 12, 31, 23, 59, 59}, "2024-12-31", "2024-12-31 23:59:59", "31.12.2024", "23-59-59"},
        {{999, 1, 1, 0, 0, 0}, "0999-01-01", "0999-01-01 00:00:00", "01.01.0999", "00-00-00"},
        {{12345, 1, 1, 0, 0, 0}, "12345-01-01", "12345-01-01 00:00:00", "01.01.12345", "00-00-00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.isoDateTime);
        EXPECT_EQ(IsoDateText(DateOf(c.moment)), c.iso);
        EXPECT_EQ(IsoDateTimeText(c.moment), c.isoDateTime);
        EXPECT_EQ(DayMonthYearText(DateOf(c.moment), "."), c.dayMonthYear);
        EXPECT_EQ(TimeText(c.moment, "-"), c.time);
    }
    // A separator of several bytes, as a regional setting may give.
    EXPECT_EQ(DayMonthYearText({2024, 3, 7}, " / "), "07 / 03 / 2024");
}

}  // namespace
}  // namespace vr
