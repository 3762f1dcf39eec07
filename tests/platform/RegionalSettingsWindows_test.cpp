#include "platform/windows/LocaleSettings.h"

#include <gtest/gtest.h>

#include "common/Text.h"
#include "platform/CodePage.h"
#include "platform/RegionalSettingsReader.h"

namespace vr::win {
namespace {

TEST(RegionalSettingsWindowsTest, SeparatorsComeFromTheLocale) {
    struct Case {
        const char* name;
        LCID locale;
        RegionalSettings expected;
    };
    const Case cases[] = {
        {"Brazilian", MAKELCID(MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), SORT_DEFAULT),
         {",", "/", ":", "WINDOWS-1252"}},
        {"German", MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT), {",", ".", ":", "WINDOWS-1252"}},
        {"Finnish times with a full stop", MAKELCID(MAKELANGID(LANG_FINNISH, SUBLANG_FINNISH_FINLAND), SORT_DEFAULT),
         {",", ".", ".", "WINDOWS-1252"}},
        {"American", MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT),
         {".", "/", ":", "WINDOWS-1252"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegionalSettings s = SettingsOf(c.locale, 1252);
        EXPECT_EQ(s.decimalSeparator, c.expected.decimalSeparator);
        EXPECT_EQ(s.dateSeparator, c.expected.dateSeparator);
        EXPECT_EQ(s.timeSeparator, c.expected.timeSeparator);
        EXPECT_EQ(s.ansiCodePage, c.expected.ansiCodePage);
    }
}

// Whatever GetACP says, the name given for it is one the converter takes back, meaning the same
// page: the euro sign lands where that page keeps it.
TEST(RegionalSettingsWindowsTest, AnsiCodePagesAreNamedForTheConverter) {
    struct Case {
        UINT acp;
        const char* name;
        std::string euro;
    };
    const Case cases[] = {
        {1252, "WINDOWS-1252", "\x80"},
        {65001, "UTF-8", "€"},
        {1250, "CP1250", "\x80"},
        {1251, "CP1251", "\x88"},
        {874, "CP874", "\x80"},
        {932, "CP932", "?"},
        {28591, "CP28591", "?"},
    };
    const LCID brazil = MAKELCID(MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), SORT_DEFAULT);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CodePageName(c.acp), c.name);
        std::string page = SettingsOf(brazil, c.acp).ansiCodePage;
        EXPECT_EQ(page, c.name);
        EXPECT_EQ(codepage::FromUtf8("a€", page), "a" + c.euro);
    }
    // A page the converter cannot take (UTF-7) leaves the log in UTF-8.
    EXPECT_EQ(SettingsOf(brazil, 65000).ansiCodePage, "UTF-8");
}

TEST(RegionalSettingsWindowsTest, TheUsersSettingsAreWhole) {
    RegionalSettings s = ReadRegionalSettings();
    for (const std::string& separator : {s.decimalSeparator, s.dateSeparator, s.timeSeparator}) {
        EXPECT_EQ(text::Utf16Length(separator), 1u) << separator;
        EXPECT_TRUE(text::IsValidUtf8(separator));
    }
    EXPECT_TRUE(codepage::IsKnown(s.ansiCodePage)) << s.ansiCodePage;
}

}  // namespace
}  // namespace vr::win
