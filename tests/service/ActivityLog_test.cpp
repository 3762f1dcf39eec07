#include "service/ActivityLog.h"

#include <gtest/gtest.h>

#include <string>

#include "common/Error.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TempDir.h"

namespace vr {
namespace {

namespace fs = std::filesystem;
using test::Slurp;
using test::Put;
using test::Utf16;

class ActivityLogTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::ManualClock clock;
    fs::path file = dir.path() / "VevoveRazara.log";
};

TEST_F(ActivityLogTest, FirstEntryIsWrittenInTheAnsiCodePage) {
    struct Case {
        const char* name;
        std::string codePage;
        std::string message;
        std::string expected;
    };
    const Case cases[] = {
        {"plain", "ISO-8859-1", "Serviço iniciado",
         "\r\n05/03/2024 07:08:09 - Servi\xE7o iniciado\r\n"},
        {"empty message keeps the trailing space", "ISO-8859-1", "", "\r\n05/03/2024 07:08:09 - \r\n"},
        {"Portuguese letters in Latin-1", "ISO-8859-1", "ação Ç é",
         "\r\n05/03/2024 07:08:09 - a\xE7\xE3o \xC7 \xE9\r\n"},
        {"Portuguese letters in UTF-8, no mark", "UTF-8", "ação Ç é",
         "\r\n05/03/2024 07:08:09 - ação Ç é\r\n"},
        {"characters outside the page", "ISO-8859-1", "€ 日本 ok",
         "\r\n05/03/2024 07:08:09 - ? ?? ok\r\n"},
        {"euro inside cp1252", "WINDOWS-1252", "€ 日", "\r\n05/03/2024 07:08:09 - \x80 ?\r\n"},
        {"unknown page falls back to UTF-8", "NO-SUCH-PAGE", "ç", "\r\n05/03/2024 07:08:09 - ç\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(file);
        ActivityLog log(dir.path(), test::SettingsFor(c.codePage), clock);
        EXPECT_EQ(log.path(), file);
        log.Append(c.message);
        EXPECT_EQ(Slurp(file), c.expected);
    }
}

TEST_F(ActivityLogTest, TimestampUsesTheSettingsSeparatorsAndTheClock) {
    RegionalSettings settings = test::SettingsFor("UTF-8");
    settings.dateSeparator = "-";
    settings.timeSeparator = ".";
    ActivityLog log(dir.path(), settings, clock);
    clock.now = {987, 1, 2, 3, 4, 5};
    log.Append("a");
    clock.now = {2025, 12, 31, 23, 59, 58};
    log.Append("b");
    EXPECT_EQ(Slurp(file), "\r\n02-01-0987 03.04.05 - a\r\n\r\n31-12-2025 23.59.58 - b\r\n");
}

TEST_F(ActivityLogTest, MessageLineBreaksBecomeCrLf) {
    ActivityLog log(dir.path(), test::SettingsFor("UTF-8"), clock);
    log.Append("linha 1\nlinha 2\r\nlinha 3\rfim");
    log.Append("termina em LF\n");
    log.Append("CR e LF separados\r\r\n");
    EXPECT_EQ(Slurp(file),
              "\r\n05/03/2024 07:08:09 - linha 1\r\nlinha 2\r\nlinha 3\r\nfim\r\n"
              "\r\n05/03/2024 07:08:09 - termina em LF\r\n\r\n"
              "\r\n05/03/2024 07:08:09 - CR e LF separados\r\n\r\n\r\n");
}

// An existing file keeps its encoding and every line, its breaks rewritten as CR LF.
TEST_F(ActivityLogTest, ExistingFilesKeepTheirEncodingAndContent) {
    const std::string entry = "\r\n05/03/2024 07:08:09 - ação €\r\n";
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"UTF-8 mark", "\xEF\xBB\xBF" "antes ç\r\nfim\n", "\xEF\xBB\xBF" "antes ç\r\nfim\r\n" + entry},
        {"UTF-16 LE mark", "\xFF\xFE" + Utf16(u"antes ç\nfim", false),
         "\xFF\xFE" + Utf16(u"antes ç\r\nfim\r\n\r\n05/03/2024 07:08:09 - ação €\r\n", false)},
        {"UTF-16 BE mark", "\xFE\xFF" + Utf16(u"antes ç\rfim\r\n", true),
         "\xFE\xFF" + Utf16(u"antes ç\r\nfim\r\n\r\n05/03/2024 07:08:09 - ação €\r\n", true)},
        {"no mark: ANSI, LF only", "um\ndois \xE7\n\ntr\xEAs\n",
         "um\r\ndois \xE7\r\n\r\ntr\xEAs\r\n\r\n05/03/2024 07:08:09 - a\xE7\xE3o ?\r\n"},
        {"lone CR and no final break", "um\rdois\r\n\rtr\xEAs",
         "um\r\ndois\r\n\r\ntr\xEAs\r\n\r\n05/03/2024 07:08:09 - a\xE7\xE3o ?\r\n"},
        {"mark only", "\xEF\xBB\xBF", "\xEF\xBB\xBF" + entry},
        {"empty file", "", "\r\n05/03/2024 07:08:09 - a\xE7\xE3o ?\r\n"},
        {"NUL bytes survive", std::string("a\0b\n", 4),
         std::string("a\0b\r\n", 5) + "\r\n05/03/2024 07:08:09 - a\xE7\xE3o ?\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(file, c.before);
        ActivityLog log(dir.path(), test::SettingsFor("ISO-8859-1"), clock);
        log.Append("ação €");
        EXPECT_EQ(Slurp(file), c.after);
    }
}

TEST_F(ActivityLogTest, WriteFailuresReachTheCallerNamingTheFile) {
    struct Case {
        const char* name;
        fs::path directory;
    };
    fs::create_directories(dir.path() / "occupied" / "VevoveRazara.log");
    Put(dir.path() / "occupied" / "VevoveRazara.log" / "kept", "x");
    const Case cases[] = {
        {"missing directory", dir.path() / "missing"},
        {"a directory in the file's place", dir.path() / "occupied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ActivityLog log(c.directory, test::SettingsFor("UTF-8"), clock);
        try {
            log.Append("x");
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(log.path().string()), std::string::npos)
                << e.what();
        }
    }
    EXPECT_EQ(Slurp(dir.path() / "occupied" / "VevoveRazara.log" / "kept"), "x");
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

}  // namespace
}  // namespace vr
