// While the file is as the log left it, entries are appended in place; these tests hold that to
// the bytes a full read-and-rewrite would give, and check that outside changes are noticed.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/FileAccess.h"
#include "service/ActivityLog.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TempDir.h"

namespace vr {
namespace {

namespace fs = std::filesystem;
using test::Put;
using test::Slurp;
using test::Utf16;

const std::vector<std::string> kMessages = {
    "primeira: ação",  "", "duas\nlinhas", "termina em CR\r", "fora da página: 日 €",
    "com\r\nCRLF\n\n", "última",
};

std::uint64_t Inode(const fs::path& path) { return IdentifyFile(path).value().inode; }

struct Start {
    const char* name;
    std::string codePage;  // the ANSI code page of the settings
    std::optional<std::string> file;
};

class ActivityLogFastPathTest : public ::testing::TestWithParam<Start> {
protected:
    test::ManualClock clock;
};

// One object writing every entry (in place after the first) against a new object per entry
// (each one reading the whole file, and rewriting it unless it is already in the log's form).
TEST_P(ActivityLogFastPathTest, InPlaceEntriesEqualFullRewrites) {
    const Start& start = GetParam();
    test::TempDir inPlace;
    test::TempDir rewritten;
    fs::path inPlaceFile = inPlace.path() / "VevoveRazara.log";
    fs::path rewrittenFile = rewritten.path() / "VevoveRazara.log";
    if (start.file) {
        Put(inPlaceFile, *start.file);
        Put(rewrittenFile, *start.file);
    }
    RegionalSettings settings = test::SettingsFor(start.codePage);

    ActivityLog log(inPlace.path(), settings, clock);
    std::uint64_t takenOver = 0;
    for (std::size_t i = 0; i < kMessages.size(); ++i) {
        SCOPED_TRACE(i);
        clock.now.second = static_cast<int>(i);
        log.Append(kMessages[i]);
        if (i == 0) takenOver = Inode(inPlaceFile);
        EXPECT_EQ(Inode(inPlaceFile), takenOver) << "the entry was not appended in place";

        ActivityLog(rewritten.path(), settings, clock).Append(kMessages[i]);
        ASSERT_EQ(Slurp(inPlaceFile), Slurp(rewrittenFile));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, ActivityLogFastPathTest,
    ::testing::Values(
        Start{"NewLatin1", "ISO-8859-1", std::nullopt}, Start{"NewUtf8", "UTF-8", std::nullopt},
        Start{"Latin1NoFinalBreak", "ISO-8859-1", std::string("um\ndois\rtr\xEAs sem quebra")},
        Start{"Utf8AnsiUndecodable", "UTF-8", std::string("bytes \xFF\xFE soltos\n")},
        Start{"Utf8Mark", "ISO-8859-1", std::string("\xEF\xBB\xBF" "antes ç\nsem quebra")},
        Start{"Utf16LeMark", "ISO-8859-1", "\xFF\xFE" + Utf16(u"antes ç\rsem quebra", false)},
        Start{"Utf16BeMark", "ISO-8859-1", "\xFE\xFF" + Utf16(u"antes ç\nsem quebra", true)}),
    [](const ::testing::TestParamInfo<Start>& param) { return std::string(param.param.name); });

class ActivityLogOutsideChangeTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::ManualClock clock;
    fs::path file = dir.path() / "VevoveRazara.log";
    ActivityLog log{dir.path(), test::SettingsFor("ISO-8859-1"), clock};
    const std::string entryA = "\r\n05/03/2024 07:08:09 - A\r\n";
    const std::string entryB = "\r\n05/03/2024 07:08:09 - B\r\n";
};

TEST_F(ActivityLogOutsideChangeTest, AnotherWritersLinesAreNormalisedAndKept) {
    log.Append("A");
    Put(file, Slurp(file) + "de fora\nsem quebra");
    log.Append("B");
    EXPECT_EQ(Slurp(file), entryA + "de fora\r\nsem quebra\r\n" + entryB);
}

TEST_F(ActivityLogOutsideChangeTest, SameSizeChangeIsSeenByItsTime) {
    log.Append("A");
    std::string changed = Slurp(file);
    changed[changed.size() - 3] = 'Z';  // same length, other content
    Put(file, changed);
    // The clock of the file system may not have moved since the log's write: set it apart.
    fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
    log.Append("B\nb");
    EXPECT_EQ(Slurp(file), changed + "\r\n05/03/2024 07:08:09 - B\r\nb\r\n");
}

TEST_F(ActivityLogOutsideChangeTest, ReplacedEncodingIsFollowed) {
    log.Append("A");
    Put(file, "\xFF\xFE" + Utf16(u"novo ç", false));
    log.Append("B ç");
    EXPECT_EQ(Slurp(file), "\xFF\xFE" + Utf16(u"novo ç\r\n\r\n05/03/2024 07:08:09 - B ç\r\n", false));
}

// A new process reads the log whole; it replaces the file only when the content must change.
TEST_F(ActivityLogOutsideChangeTest, ANewProcessAppendsToALogAlreadyInItsForm) {
    Put(file, entryA);
    const std::uint64_t before = Inode(file);
    ActivityLog(dir.path(), test::SettingsFor("ISO-8859-1"), clock).Append("B");
    EXPECT_EQ(Slurp(file), entryA + entryB);
    EXPECT_EQ(Inode(file), before) << "the file was replaced";

    Put(file, "de fora\n");
    const std::uint64_t outside = Inode(file);
    ActivityLog(dir.path(), test::SettingsFor("ISO-8859-1"), clock).Append("B");
    EXPECT_EQ(Slurp(file), "de fora\r\n" + entryB);
    EXPECT_NE(Inode(file), outside) << "the file was not rewritten";
}

TEST_F(ActivityLogOutsideChangeTest, DeletedFileStartsAgain) {
    log.Append("A");
    fs::remove(file);
    log.Append("B");
    EXPECT_EQ(Slurp(file), entryB);
}

}  // namespace
}  // namespace vr
