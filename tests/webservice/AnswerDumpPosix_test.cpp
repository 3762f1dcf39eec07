// The answer dump where POSIX lets a test see more: owners, links, and a writer killed for real.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "tests/support/KilledWriter.h"
#include "tests/support/TempDir.h"
#include "webservice/AnswerDump.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

TEST(WebSalvarJsonPosix, ALinkedDumpStaysALinkAndKeepsOwnerGroupAndMode) {
    test::TempDir dir;
    fs::create_directory(dir.path() / "var");
    const fs::path target = dir.path() / "var" / "resposta.log";
    dir.Write("var/resposta.log", "anterior\r\n");
    fs::create_symlink(target, dir.path() / "BRISEN_RESPOSTA.LOG");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 1, 4), 0);
    }
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);

    SalvarJson("{\"a\":1}", TTipoJson::tjRetorno, {dir.path(), "UTF-8"});
    EXPECT_TRUE(fs::is_symlink(dir.path() / "BRISEN_RESPOSTA.LOG"));
    EXPECT_EQ(dir.Read("var/resposta.log"), "{\"a\":1}\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 1u);
        EXPECT_EQ(st.st_gid, 4u);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "var"), fs::directory_iterator()), 1);
}

// A process killed while it writes a huge answer slowly: the earlier dump stays whole, and the
// next dump leaves no temporary file behind.
TEST(WebSalvarJsonPosix, AProcessKilledWhileDumpingLeavesNothingAfterTheNextDump) {
    test::TempDir dir;
    SalvarJson("anterior", TTipoJson::tjRetorno, {dir.path(), "WINDOWS-1252"});
    test::KillMidWrite([&](const std::function<void()>& ready) {
        TDumpWriter writer({dir.path(), "WINDOWS-1252"});
        const std::string piece = "{\"descricao\":\"ação\"},\n";
        for (int i = 0; i < 200000; ++i) writer.Write(piece);  // several pieces on disk already
        ready();
        for (;;) {
            writer.Write(piece);
            ::usleep(1000);
        }
    });
    EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"), "anterior\r\n");
    EXPECT_EQ(dir.EntryCount(), 2u) << "the killed writer left no file to take over";

    SalvarJson("{}", TTipoJson::tjRetorno, {dir.path(), "WINDOWS-1252"});
    EXPECT_EQ(dir.Read("BRISEN_RESPOSTA.LOG"), "{}\r\n");
    EXPECT_EQ(dir.EntryCount(), 1u) << "a temporary file was left behind";
}

}  // namespace
}  // namespace vr
