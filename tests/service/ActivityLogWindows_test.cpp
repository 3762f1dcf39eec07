#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "common/Error.h"
#include "service/ActivityLog.h"
#include "tests/support/ManualClock.h"
#include "tests/support/OtherHandle.h"
#include "tests/support/TempDir.h"

namespace vr {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace fs = std::filesystem;
using test::OtherHandle;
using test::Put;
using test::Slurp;

class ActivityLogWindowsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::ManualClock clock;
    fs::path file = dir.path() / "VevoveRazara.log";
};

// A viewer that lets others write (as log viewers do) opened after the service's first entry:
// the service goes on adding entries and the viewer sees each one.
TEST_F(ActivityLogWindowsTest, AViewerFollowingTheLogSeesEveryEntry) {
    ActivityLog log(dir.path(), test::SettingsFor("WINDOWS-1252"), clock);
    log.Append("início");
    OtherHandle viewer(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(viewer.valid());
    log.Append("ação");
    log.Append("fim");
    const std::string expected =
        "\r\n05/03/2024 07:08:09 - in\xED" "cio\r\n"
        "\r\n05/03/2024 07:08:09 - a\xE7\xE3o\r\n"
        "\r\n05/03/2024 07:08:09 - fim\r\n";
    EXPECT_EQ(viewer.ReadFromStart(), expected);
    EXPECT_EQ(Slurp(file), expected);
}

// A new process's first entry finds a log in its own form and only appends to it, which Windows
// allows while another program holds the file without letting it be deleted.
TEST_F(ActivityLogWindowsTest, ALogHeldAgainstDeletionStillTakesANewProcesssEntry) {
    Put(file, "\r\n05/03/2024 07:00:00 - antes\r\n");
    OtherHandle viewer(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(viewer.valid());
    ActivityLog log(dir.path(), test::SettingsFor("WINDOWS-1252"), clock);
    log.Append("depois");
    EXPECT_EQ(viewer.ReadFromStart(),
              "\r\n05/03/2024 07:00:00 - antes\r\n"
              "\r\n05/03/2024 07:08:09 - depois\r\n");
}

// A log that must be rewritten (lone LF line breaks) is replaced through a rename, which Windows
// refuses while the file is held that way: the caller hears of it, naming the file, and the log
// stays as it was with nothing left beside it.
TEST_F(ActivityLogWindowsTest, ALogHeldAgainstDeletionIsLeftWholeWhenTheRewriteIsRefused) {
    Put(file, "antes\n");
    OtherHandle viewer(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(viewer.valid());
    ActivityLog log(dir.path(), test::SettingsFor("WINDOWS-1252"), clock);
    EXPECT_THAT([&] { log.Append("perdida"); }, ThrowsMessage<Error>(HasSubstr(file.string())));
    EXPECT_EQ(viewer.ReadFromStart(), "antes\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace vr
