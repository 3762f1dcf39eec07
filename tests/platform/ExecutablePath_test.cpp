#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/ExecutablePath.h"
#include "platform/SystemClock.h"
#include "tests/platform/TempDir.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

TEST(ExecutablePathTest, IsTheExecutablesDirectoryWhateverTheWorkingDirectory) {
    testing::TempDir elsewhere;
    fs::path before = fs::current_path();
    fs::current_path(elsewhere.path());
    fs::path directory = ExecutableDirectory();
    fs::current_path(before);

    EXPECT_NE(directory, elsewhere.path());
    EXPECT_TRUE(directory.is_absolute());
    EXPECT_TRUE(fs::is_regular_file(directory / "test_platform")) << directory;
}

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
