#include "service/ActivityLog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "common/Error.h"
#include "common/Text.h"
#include "platform/CodePage.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TempDir.h"

namespace vr {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

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

// Without a byte-order mark the file's content decides its encoding, not the process's
// settings: the earlier bytes stay as they are and the entry follows them.
TEST_F(ActivityLogTest, TheFileDecidesTheEncodingOfTheEntry) {
    const std::string stamp = "\r\n05/03/2024 07:08:09 - ";
    const std::string piece(std::size_t{1} << 20, 'x');  // the size the file is read in
    struct Case {
        const char* name;
        std::string codePage;  // of the process
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"8-bit file under a UTF-8 locale", "UTF-8", "antes \xE7\xE3o\n",
         "antes \xE7\xE3o\r\n" + stamp + "a\xE7\xE3o \x80\r\n"},
        {"8-bit file already in CR LF form", "UTF-8", "antes \xE7\xE3o\r\n",
         "antes \xE7\xE3o\r\n" + stamp + "a\xE7\xE3o \x80\r\n"},
        {"UTF-8 file under an 8-bit locale", "ISO-8859-1", "antes ação\n",
         "antes ação\r\n" + stamp + "ação €\r\n"},
        {"UTF-8 file under cp1252", "WINDOWS-1252", "antes ação\r\n", "antes ação\r\n" + stamp + "ação €\r\n"},
        {"ASCII alone takes the process's page", "ISO-8859-1", "antes\n", "antes\r\n" + stamp + "a\xE7\xE3o ?\r\n"},
        {"ASCII alone, UTF-8 locale", "UTF-8", "antes\n", "antes\r\n" + stamp + "ação €\r\n"},
        {"UTF-8 broken by one byte is 8-bit", "UTF-8", "ação \xFF\n",
         "ação \xFF\r\n" + stamp + "a\xE7\xE3o \x80\r\n"},
        {"UTF-8 cut at the very end is 8-bit", "UTF-8", "ação\r\n\xC3",
         "ação\r\n\xC3\r\n" + stamp + "a\xE7\xE3o \x80\r\n"},
        {"8-bit under another 8-bit locale keeps that page", "ISO-8859-1", "antes \xE7\n",
         "antes \xE7\r\n" + stamp + "a\xE7\xE3o ?\r\n"},
        // The file is read in pieces: a character, a CR LF or a lone CR cut by their seam.
        {"UTF-8 character across the seam", "ISO-8859-1", piece.substr(1) + "ç\n",
         piece.substr(1) + "ç\r\n" + stamp + "ação €\r\n"},
        {"invalid byte after the first piece", "UTF-8", piece + "ç \xE7\n",
         piece + "ç \xE7\r\n" + stamp + "a\xE7\xE3o \x80\r\n"},
        {"CR LF across the seam", "UTF-8", piece.substr(1) + "\r\nfim\r\n",
         piece.substr(1) + "\r\nfim\r\n" + stamp + "ação €\r\n"},
        {"lone CR at the seam", "UTF-8", piece.substr(1) + "\rfim\r\n",
         piece.substr(1) + "\r\nfim\r\n" + stamp + "ação €\r\n"},
        {"lone LF after the first piece", "UTF-8", piece + "\r\num\ndois\r\n",
         piece + "\r\num\r\ndois\r\n" + stamp + "ação €\r\n"},
        {"UTF-16 CR LF across the seam", "UTF-8",
         "\xFF\xFE" + Utf16(std::u16string(((std::size_t{1} << 20) - 4) / 2, u'x') + u"\r\nfim\n", false),
         "\xFF\xFE" + Utf16(std::u16string(((std::size_t{1} << 20) - 4) / 2, u'x') +
                                u"\r\nfim\r\n\r\n05/03/2024 07:08:09 - ação €\r\n", false)},
        {"odd byte at the end of UTF-16 is kept", "UTF-8", "\xFF\xFE" + Utf16(u"a", false) + "b",
         "\xFF\xFE" + Utf16(u"a", false) + std::string("b\0", 2) +
             Utf16(u"\r\n\r\n05/03/2024 07:08:09 - ação €\r\n", false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(file, c.before);
        ActivityLog log(dir.path(), test::SettingsFor(c.codePage), clock);
        log.Append("ação €");
        EXPECT_TRUE(Slurp(file) == c.after);
        // The next entry, appended in place, follows the same encoding.
        log.Append("ação €");
        const std::string second =
            c.before.starts_with("\xFF\xFE")
                ? Utf16(u"\r\n05/03/2024 07:08:09 - ação €\r\n", false)
                : c.after.substr(c.after.rfind(stamp));
        EXPECT_TRUE(Slurp(file) == c.after + second);
    }
}

// Every byte value of an 8-bit log survives a rewrite (CR and LF aside, which become CR LF), and
// a message holding each of those characters, the five bytes that Windows-1252 leaves undefined
// included, is written back as the same bytes.
TEST_F(ActivityLogTest, All256ByteValuesSurviveAndReadBackUnchanged) {
    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    std::string everyNormalised;
    for (int b = 0; b < 256; ++b) {
        if (b == '\n' || b == '\r') {
            everyNormalised += "\r\n";
        } else {
            everyNormalised += static_cast<char>(b);
        }
    }
    everyNormalised += "\r\n";

    struct Case {
        const char* name;
        std::string codePage;  // of the process
        std::string fileCodePage;  // as the characters of the bytes read
    };
    const Case cases[] = {
        {"UTF-8 locale: Windows-1252", "UTF-8", "WINDOWS-1252"},
        {"cp1252 locale", "WINDOWS-1252", "WINDOWS-1252"},
        {"Latin-1 locale", "ISO-8859-1", "ISO-8859-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The message: every byte but CR and LF as a character of the file's page, an undefined
        // byte as the C1 control of its value.
        std::string message;
        std::string messageBytes;
        for (int b = 0; b < 256; ++b) {
            if (b == '\n' || b == '\r') continue;
            const char byte = static_cast<char>(b);
            std::string character = codepage::ToUtf8(std::string_view(&byte, 1), c.fileCodePage);
            if (character == "\uFFFD") {
                character.clear();
                text::AppendUtf8(character, static_cast<char32_t>(b));
            }
            message += character;
            messageBytes += byte;
        }
        Put(file, every);
        ActivityLog log(dir.path(), test::SettingsFor(c.codePage), clock);
        log.Append(message);
        const std::string expected = everyNormalised + "\r\n05/03/2024 07:08:09 - " + messageBytes + "\r\n";
        EXPECT_TRUE(Slurp(file) == expected);
        log.Append(message);  // in place
        EXPECT_TRUE(Slurp(file) == expected + "\r\n05/03/2024 07:08:09 - " + messageBytes + "\r\n");
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
        EXPECT_THAT([&] { log.Append("x"); }, ThrowsMessage<Error>(HasSubstr(log.path().string())));
    }
    EXPECT_EQ(Slurp(dir.path() / "occupied" / "VevoveRazara.log" / "kept"), "x");
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

}  // namespace
}  // namespace vr
