#include "platform/FileAccess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/Error.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace vr {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace fs = std::filesystem;

using test::Put;
using test::Slurp;

// Expects a vr::Error whose message names the file.
template <typename F>
void ExpectErrorNaming(const fs::path& path, F action) {
    EXPECT_THAT([&] { action(); }, ThrowsMessage<Error>(HasSubstr(path.string())));
}

class FileAccessTest : public ::testing::Test {
protected:
    test::TempDir dir;
    fs::path file = dir.path() / "file.log";
};

TEST_F(FileAccessTest, IdentityTellsStatesApart) {
    EXPECT_FALSE(IdentifyFile(file).has_value());
    EXPECT_FALSE(IdentifyFile(file / "below-a-file").has_value());

    Put(file, "abc");
    auto first = IdentifyFile(file);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->size, 3u);
    EXPECT_EQ(IdentifyFile(file), first);

    auto appended = AppendToFile(file, "de", first);
    ASSERT_TRUE(appended.has_value());
    EXPECT_EQ(appended->size, 5u);
    EXPECT_EQ(appended->inode, first->inode);
    EXPECT_EQ(IdentifyFile(file), appended);  // what the writer saw is what the path shows
}

TEST_F(FileAccessTest, ReadsWholeFilesWithEveryByte) {
    std::string bytes("a\0b\r\n\xFF", 6);
    bytes += std::string(300000, 'x');
    Put(file, bytes);
    EXPECT_EQ(ReadWholeFile(file), bytes);
    Put(file, "");
    EXPECT_EQ(ReadWholeFile(file), "");
}

TEST_F(FileAccessTest, RefusesToReadWhatIsNotARegularFile) {
    ExpectErrorNaming(dir.path(), [&] { ReadWholeFile(dir.path()); });
    ExpectErrorNaming(file, [&] { ReadWholeFile(file); });  // missing
}

TEST_F(FileAccessTest, ReplaceLeavesNoTemporaryFileAndCreatesMissingFiles) {
    Put(file, "old content");
    FileIdentity id = ReplaceWholeFile(file, "new");
    EXPECT_EQ(Slurp(file), "new");
    EXPECT_EQ(IdentifyFile(file), id);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    fs::path fresh = dir.path() / "fresh.log";
    FileIdentity created = ReplaceWholeFile(fresh, std::string("x\0y", 3));
    EXPECT_EQ(Slurp(fresh), std::string("x\0y", 3));
    EXPECT_EQ(IdentifyFile(fresh), created);
    EXPECT_NE(created.inode, id.inode);
}

TEST_F(FileAccessTest, WriteFailuresNameTheFileAndKeepTheOldContent) {
    fs::path nowhere = dir.path() / "missing" / "file.log";
    ExpectErrorNaming(nowhere, [&] { ReplaceWholeFile(nowhere, "x"); });
    ExpectErrorNaming(nowhere, [&] { AppendToFile(nowhere, "x"); });

    // A directory in the file's place cannot be replaced by the rename: nothing is left behind.
    fs::create_directory(file);
    Put(file / "inside", "kept");
    ExpectErrorNaming(file, [&] { ReplaceWholeFile(file, "x"); });
    EXPECT_EQ(Slurp(file / "inside"), "kept");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A temporary file left beside the file by a writer that was killed is taken over by the next
// replacement, whatever it held.
TEST_F(FileAccessTest, AStaleTemporaryFileIsTakenOver) {
    Put(file, "earlier");
    Put(file.string() + ".tmp", std::string(100000, 'z'));
    ReplaceWholeFile(file, "next");
    EXPECT_EQ(Slurp(file), "next");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// Two writers of the same file at once (the service and a /ONCE run beside it): each content
// arrives whole, the last commit wins, and neither leaves a file behind.
TEST_F(FileAccessTest, TwoWritersAtOnceNeverShareATemporaryFile) {
    Put(file, "earlier");
    {
        FileReplacement first(file);
        first.Write("first, ");
        FileReplacement second(file);
        second.Write("second");
        first.Write("whole");
        first.Commit();
        EXPECT_EQ(Slurp(file), "first, whole");
        second.Commit();
    }
    EXPECT_EQ(Slurp(file), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // One abandoned while the other commits.
    {
        FileReplacement first(file);
        first.Write("abandoned");
        FileReplacement second(file);
        second.Write("kept");
        second.Commit();
    }
    EXPECT_EQ(Slurp(file), "kept");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(FileAccessTest, AppendWritesNothingWhenTheFileChangedMeanwhile) {
    Put(file, "abc");
    auto before = IdentifyFile(file);
    Put(file, "abcd");  // someone else wrote
    EXPECT_FALSE(AppendToFile(file, "zz", before).has_value());
    EXPECT_EQ(Slurp(file), "abcd");
    EXPECT_TRUE(AppendToFile(file, "zz").has_value());
    EXPECT_EQ(Slurp(file), "abcdzz");
}

}  // namespace
}  // namespace vr
