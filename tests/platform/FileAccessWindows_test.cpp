#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>


#include "common/Error.h"
#include "platform/FileAccess.h"
#include "tests/support/OtherHandle.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::Gt;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::SizeIs;
using ::testing::StartsWith;
using ::testing::ThrowsMessage;
using test::OtherHandle;
using test::Put;
using test::Slurp;


std::size_t EntriesIn(const fs::path& directory) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

class FileAccessWindowsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    fs::path file = dir.path() / "file.log";
};

// An operator's viewer keeps the log open, letting others read and write: the service goes on
// writing it, and the viewer sees every entry.
TEST_F(FileAccessWindowsTest, AReaderHoldingTheLogOpenBlocksNothing) {
    Put(file, "abc");
    OtherHandle viewer(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(viewer.valid());

    auto before = IdentifyFile(file);
    ASSERT_TRUE(before.has_value());
    auto after = AppendToFile(file, "de", before);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(ReadWholeFile(file), "abcde");
    EXPECT_EQ(IdentifyFile(file), after);
    EXPECT_EQ(viewer.ReadFromStart(), "abcde");
}

// A reader that allows deletion may or may not stop the replacement, depending on the file
// system's rename rules; either way nothing is lost: the new content is whole or the old one is
// untouched with nothing left beside it, and the reader goes on reading what it opened.
TEST_F(FileAccessWindowsTest, ReplacingAFileOpenForReadingLosesNothing) {
    Put(file, "old");
    {
        OtherHandle reader(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        ASSERT_TRUE(reader.valid());
        bool replaced = false;
        try {
            ReplaceWholeFile(file, "new content");
            replaced = true;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        }
        EXPECT_EQ(Slurp(file), replaced ? "new content" : "old");
        EXPECT_EQ(EntriesIn(dir.path()), 1u);
        EXPECT_EQ(reader.ReadFromStart(), "old");
    }
    FileIdentity id = ReplaceWholeFile(file, "newer");  // the reader is gone
    EXPECT_EQ(Slurp(file), "newer");
    EXPECT_EQ(IdentifyFile(file), id);
}

// A program that holds the file and forbids others what the service needs: the failure names
// the file and gives the system's reason, and the file keeps its content with nothing left
// beside it.
TEST_F(FileAccessWindowsTest, AFileLockedByAnotherProgramFailsWithTheSystemsReason) {
    Put(file, "old");
    OtherHandle locker(file, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(locker.valid());
    for (auto attempt : {+[](const fs::path& p) { ReplaceWholeFile(p, "new"); },
                         +[](const fs::path& p) { AppendToFile(p, "new"); }}) {
        // The file's name, then the system's reason on one line, without its final full stop.
        const std::string prefix = "Não foi possível gravar o arquivo \"" + file.string() + "\": ";
        EXPECT_THAT([&] { attempt(file); },
                    ThrowsMessage<Error>(AllOf(StartsWith(prefix), SizeIs(Gt(prefix.size())), Not(EndsWith(".")),
                                               Not(HasSubstr("\n")))));
    }
    EXPECT_EQ(ReadWholeFile(file), "old");  // reading is still shared
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

// The file index and the write time to the 100 ns tell a replaced or rewritten file apart even
// when its size stays the same.
TEST_F(FileAccessWindowsTest, IdentityChangesWithEveryWriteOfTheSameSize) {
    FileIdentity first = ReplaceWholeFile(file, "aaaa");
    FileIdentity second = ReplaceWholeFile(file, "bbbb");
    EXPECT_NE(first.inode, second.inode);
    EXPECT_EQ(first.device, second.device);
    EXPECT_GE(second.modifiedNanoseconds, 0);
    EXPECT_LT(second.modifiedNanoseconds, 1'000'000'000);
    EXPECT_EQ(second.modifiedNanoseconds % 100, 0);

    // Close to now: the seconds count from 1970, as everywhere else.
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    auto ticks = static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
    std::int64_t unixNow = ticks / 10'000'000 - 11'644'473'600;
    EXPECT_LE(std::abs(second.modifiedSeconds - unixNow), 5);
}

}  // namespace
}  // namespace vr
