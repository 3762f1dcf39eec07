#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "common/Error.h"
#include "platform/FileAccess.h"
#include "tests/support/KilledWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace vr {
namespace {

using ::testing::HasSubstr;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

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
    EXPECT_THAT([&] { ReadWholeFile(fifo); }, ThrowsMessage<Error>(HasSubstr(fifo.string())));
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

// What logrotate's "create 0640 root adm" sets must survive a replacement: the new file gets the
// old one's owner, group and mode. Only root can hand a file to another owner.
TEST_F(FileAccessPosixTest, ReplaceKeepsOwnerGroupAndMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another owner";
    struct Case {
        const char* name;
        uid_t owner;
        gid_t group;
        mode_t mode;
    };
    const Case cases[] = {
        {"another owner and group, 0640", 1, 4, 0640},
        {"group only, 0604", 0, 4, 0604},
        {"set-group-ID bit", 1, 4, 02640},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(file, "old content");
        ASSERT_EQ(::chown(file.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
        const std::uint64_t inode = IdentifyFile(file)->inode;
        ReplaceWholeFile(file, "new");
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_NE(static_cast<std::uint64_t>(st.st_ino), inode) << "not replaced";
        EXPECT_EQ(st.st_uid, c.owner);
        EXPECT_EQ(st.st_gid, c.group);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(Slurp(file), "new");
    }
}

// A link to a file elsewhere, relative or dangling: the link stays, the file it names takes the
// content, and no temporary file is left in either directory.
TEST_F(FileAccessPosixTest, ReplaceThroughLinksOfEveryKindKeepsTheLink) {
    fs::create_directory(dir.path() / "real");
    fs::create_directory(dir.path() / "links");
    fs::path target = dir.path() / "real" / "target.log";
    struct Case {
        const char* name;
        fs::path linkText;
        bool targetExists;
    };
    const Case cases[] = {
        {"absolute link", target, true},
        {"relative link", fs::path("..") / "real" / "target.log", true},
        {"dangling link", target, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(target);
        if (c.targetExists) Put(target, "old");
        fs::path link = dir.path() / "links" / "file.log";
        fs::remove(link);
        fs::create_symlink(c.linkText, link);
        // And a link to the link.
        fs::path second = dir.path() / "second.log";
        fs::remove(second);
        fs::create_symlink(link, second);
        ReplaceWholeFile(second, "new");
        EXPECT_TRUE(fs::is_symlink(second));
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), c.linkText);
        EXPECT_EQ(Slurp(target), "new");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "real"), fs::directory_iterator()), 1);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "links"), fs::directory_iterator()), 1);
    }
}

// A writer killed while it writes leaves the temporary file under its fixed name; the next
// replacement takes it over, and nothing stays beside the file.
TEST_F(FileAccessPosixTest, AWriterKilledMidWriteLeavesNothingTheNextOneKeeps) {
    Put(file, "earlier");
    test::KillMidWrite([&](const std::function<void()>& ready) {
        FileReplacement replacement(file);
        replacement.Write(std::string(1 << 20, 'x'));
        ready();
        for (;;) {  // writing slowly, until killed
            replacement.Write("y");
            ::usleep(1000);
        }
    });

    const fs::path temporary = file.string() + ".tmp";
    ASSERT_TRUE(fs::exists(temporary)) << "the killed writer's file is not where expected";
    EXPECT_EQ(Slurp(file), "earlier");
    ReplaceWholeFile(file, "next");
    EXPECT_EQ(Slurp(file), "next");
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(FileAccessPosixTest, AFullDiskIsToldInTheOperatorsLanguage) {
    EXPECT_THAT([&] { AppendToFile("/dev/full", "x"); },
                ThrowsMessage<Error>(StrEq("Não foi possível gravar o arquivo \"/dev/full\": disco cheio")));
}

}  // namespace
}  // namespace vr
