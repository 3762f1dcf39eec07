#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/SystemClock.h"

namespace vr {
namespace {

TEST(SystemClockTest, GivesTheLocalTimeOfTheTimeZone) {
    // Three hours west of UTC, without summer time, needs no time zone database.
    std::optional<std::string> oldTz;
    if (const char* tz = std::getenv("TZ")) oldTz = tz;
    ::setenv("TZ", "BRT3", 1);
    ::tzset();

    std::time_t before = std::time(nullptr);
    LocalDateTime now = SystemClock().Now();
    std::time_t after = std::time(nullptr);

    if (oldTz) ::setenv("TZ", oldTz->c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();

    bool matched = false;
    for (std::time_t t = before; t <= after; ++t) {
        std::time_t shifted = t - 3 * 3600;
        std::tm utc{};
        gmtime_r(&shifted, &utc);
        LocalDateTime expected{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                               utc.tm_hour,        utc.tm_min,     utc.tm_sec};
        matched = matched || now == expected;
    }
    EXPECT_TRUE(matched) << now.day << "/" << now.month << "/" << now.year << " " << now.hour
                         << ":" << now.minute << ":" << now.second;
}

}  // namespace
}  // namespace vr
