#include "service/ActivityLog.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "common/Error.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TempDir.h"

namespace vr {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace fs = std::filesystem;
using test::Slurp;
using test::Put;

class ActivityLogPosixTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::ManualClock clock;
    fs::path file = dir.path() / "VevoveRazara.log";
};

// Nothing a FIFO holds can be read as a log; the failure is recorded by appending to it, and the
// FIFO is not replaced by a file holding the failure alone.
TEST_F(ActivityLogPosixTest, UnreadableFileGetsTheFailureAppendedNotReplaced) {
    ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    int reader = ::open(file.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    ActivityLog log(dir.path(), test::SettingsFor("ISO-8859-1"), clock);
    log.Append("mensagem perdida");

    char buffer[512];
    ssize_t n = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n)),
              "05/03/2024 07:08:09 - N\xE3o foi poss\xEDvel ler o arquivo \"" + file.string() +
                  "\": n\xE3o \xE9 um arquivo comum\r\n");
    EXPECT_TRUE(fs::is_fifo(file));

    // With nobody reading, the FIFO cannot take the failure either: the caller hears of it.
    EXPECT_THAT([&] { log.Append("outra"); }, ThrowsMessage<Error>(HasSubstr(file.string())));
}

// Files of this process may not grow past a limit while the object lives: writes beyond it fail
// as on a full disk, even for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

template <typename F>
void ExpectWriteErrorNaming(const fs::path& path, F action) {
    EXPECT_THAT([&] { action(); }, ThrowsMessage<Error>(HasSubstr(path.string())));
}

TEST_F(ActivityLogPosixTest, FullDiskDuringARewriteLeavesTheOldFileWhole) {
    std::string old;
    for (int i = 0; i < 100; ++i) old += "linha antiga " + std::to_string(i) + "\n";
    Put(file, old);
    ActivityLog log(dir.path(), test::SettingsFor("UTF-8"), clock);
    {
        FileSizeLimit limit(old.size() / 2);
        ExpectWriteErrorNaming(file, [&] { log.Append("nova"); });
    }
    EXPECT_EQ(Slurp(file), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "a temporary file was left behind";
}

TEST_F(ActivityLogPosixTest, FullDiskDuringAnAppendTakesThePartialEntryBack) {
    ActivityLog log(dir.path(), test::SettingsFor("UTF-8"), clock);
    log.Append("A");
    const std::string before = Slurp(file);
    {
        FileSizeLimit limit(before.size() + 10);
        ExpectWriteErrorNaming(file, [&] { log.Append(std::string(100, 'x')); });
    }
    EXPECT_EQ(Slurp(file), before);
    log.Append("B");
    EXPECT_EQ(Slurp(file), before + "\r\n05/03/2024 07:08:09 - B\r\n");
}

// A rewrite (lone LF line breaks here) keeps what the administrator set on the log, as
// logrotate's "create 0640 root adm" does; only root can hand a file to another owner.
TEST_F(ActivityLogPosixTest, ARewriteKeepsOwnerGroupAndMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another owner";
    Put(file, "antes\n");
    ASSERT_EQ(::chown(file.c_str(), 1, 4), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);

    ActivityLog(dir.path(), test::SettingsFor("UTF-8"), clock).Append("nova");
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "the file was not rewritten";
    EXPECT_EQ(after.st_uid, 1u);
    EXPECT_EQ(after.st_gid, 4u);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(Slurp(file), "antes\r\n\r\n05/03/2024 07:08:09 - nova\r\n");
}

// A log that is a symbolic link stays one: its target is rewritten, and entries go on being
// appended in place through the link.
TEST_F(ActivityLogPosixTest, ALinkedLogStaysALink) {
    fs::create_directory(dir.path() / "var");
    const fs::path target = dir.path() / "var" / "vevove.log";
    Put(target, "antes\n");
    fs::create_symlink(target, file);

    ActivityLog log(dir.path(), test::SettingsFor("UTF-8"), clock);
    log.Append("um");
    log.Append("dois");
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(Slurp(target),
              "antes\r\n\r\n05/03/2024 07:08:09 - um\r\n\r\n05/03/2024 07:08:09 - dois\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "var"), fs::directory_iterator()), 1);
}

// A rewrite interrupted by a kill leaves VevoveRazara.log.tmp beside the log: the next rewrite
// takes it over and nothing is left behind.
TEST_F(ActivityLogPosixTest, ATemporaryFileLeftByAKilledRewriteIsTakenOver) {
    Put(file, "antes\n");
    Put(dir.path() / "VevoveRazara.log.tmp", "antes\r\nmetade de uma reescrita");
    ActivityLog(dir.path(), test::SettingsFor("UTF-8"), clock).Append("nova");
    EXPECT_EQ(Slurp(file), "antes\r\n\r\n05/03/2024 07:08:09 - nova\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace vr
