#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

#include "platform/SystemClock.h"

namespace vr {
namespace {

auto Ordered(const LocalDateTime& t) { return std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second); }

// The local time reached the other way: the UTC time through the active time zone. The test
// runs with a zone west of UTC under Wine (TZ in the test's environment), so that local time
// and UTC differ.
LocalDateTime LocalFromUtc() {
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    GetSystemTime(&utc);
    EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

TEST(SystemClockWindowsTest, GivesTheLocalTimeOfTheTimeZone) {
    LocalDateTime before = LocalFromUtc();
    LocalDateTime now = SystemClock().Now();
    LocalDateTime after = LocalFromUtc();
    EXPECT_LE(Ordered(before), Ordered(now));
    EXPECT_LE(Ordered(now), Ordered(after));
}

}  // namespace
}  // namespace vr
