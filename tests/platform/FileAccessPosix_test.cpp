#include <gtest/gtest.h>
#include <sys/stat.h>


#include "common/Error.h"
#include "platform/FileAccess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

using test::Put;
using test::Slurp;

class FileAccessPosixTest : public ::testing::Test {
protected:
    test::TempDir dir;
    fs::path file = dir.path() / "file.log";
};

TEST_F(FileAccessPosixTest, RefusesToReadAFifoWithoutBlocking) {
    fs::path fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    try {
        ReadWholeFile(fifo);
        ADD_FAILURE() << "no error for " << fifo;
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(fifo.string()), std::string::npos) << e.what();
    }
}

TEST_F(FileAccessPosixTest, ReplaceKeepsPermissions) {
    Put(file, "old content");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ReplaceWholeFile(file, "new");
    EXPECT_EQ(Slurp(file), "new");
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FileAccessPosixTest, ReplaceThroughALinkReplacesTheFileItNames) {
    fs::path target = dir.path() / "target.log";
    Put(target, "old");
    fs::create_symlink(target, file);
    ReplaceWholeFile(file, "new");
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(Slurp(target), "new");
}

TEST_F(FileAccessPosixTest, AFullDiskIsToldInTheOperatorsLanguage) {
    try {
        AppendToFile("/dev/full", "x");
        ADD_FAILURE() << "no error for /dev/full";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Não foi possível gravar o arquivo \"/dev/full\": disco cheio");
    }
}

}  // namespace
}  // namespace vr
