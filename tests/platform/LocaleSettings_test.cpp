#include "platform/linux/LocaleSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "platform/RegionalSettingsReader.h"
#include "tests/support/TempDir.h"

// The C library keeps the list it builds from LOCPATH on every newlocale call; only the test
// sets LOCPATH, and the leak checker should not fail the test on the library's account.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }

namespace vr::posix {
namespace {

struct FactsCase {
    const char* name;
    LocaleFacts facts;
    RegionalSettings expected;
};

TEST(LocaleSettingsTest, SettingsFollowTheLocaleFacts) {
    const FactsCase cases[] = {
        {"Brazilian", {",", "%d/%m/%Y", "%H:%M:%S", "ISO-8859-1"}, {",", "/", ":", "ISO-8859-1"}},
        {"German style", {",", "%d.%m.%Y", "%T", "UTF-8"}, {",", ".", ":", "UTF-8"}},
        {"composite specifiers", {".", "%F", "%R", "UTF-8"}, {".", "-", ":", "UTF-8"}},
        {"C locale is ASCII: UTF-8 instead", {".", "%m/%d/%y", "%H:%M:%S", "ANSI_X3.4-1968"},
         {".", "/", ":", "UTF-8"}},
        {"modifiers and flags", {".", "%Od-%-m-%EY", "%OH.%02M", "UTF-8"}, {".", "-", ".", "UTF-8"}},
        {"multi-byte separator", {"·", "%Y年%m月%d日", "%H時%M分", "UTF-8"},
         {"·", "年", "時", "UTF-8"}},
        {"nothing between specifiers", {".", "%Y%m%d", "%H%M%S", "UTF-8"}, {".", "/", ":", "UTF-8"}},
        {"one specifier only", {".", "date: %x", "", "UTF-8"}, {".", "/", ":", "UTF-8"}},
        {"literal percent is not a specifier", {".", "%%d-%m|%Y", "%H%%%M", "UTF-8"},
         {".", "|", "%", "UTF-8"}},
        {"separator taken after the first specifier", {".", "a%d b%m", "%H :%M", "UTF-8"},
         {".", " ", " ", "UTF-8"}},
        {"unknown codeset", {",", "%d/%m/%Y", "%H:%M:%S", "NO-SUCH-SET"}, {",", "/", ":", "UTF-8"}},
        {"empty radix", {"", "", "", ""}, {".", "/", ":", "UTF-8"}},
    };
    for (const FactsCase& c : cases) {
        SCOPED_TRACE(c.name);
        RegionalSettings s = SettingsFromFacts(c.facts);
        EXPECT_EQ(s.decimalSeparator, c.expected.decimalSeparator);
        EXPECT_EQ(s.dateSeparator, c.expected.dateSeparator);
        EXPECT_EQ(s.timeSeparator, c.expected.timeSeparator);
        EXPECT_EQ(s.ansiCodePage, c.expected.ansiCodePage);
    }
}

TEST(LocaleSettingsTest, NamesComeFromLcAllThenTheCategoryThenLang) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> environment;
        LocaleNames expected;
    };
    const Case cases[] = {
        {"nothing set", {}, {"C", "C", "C"}},
        {"LANG only", {{"LANG", "pt_BR.UTF-8"}}, {"pt_BR.UTF-8", "pt_BR.UTF-8", "pt_BR.UTF-8"}},
        {"categories over LANG",
         {{"LANG", "en_US"}, {"LC_NUMERIC", "de_DE"}, {"LC_TIME", "fr_FR"}, {"LC_CTYPE", "C.UTF-8"}},
         {"de_DE", "fr_FR", "C.UTF-8"}},
        {"LC_ALL over all", {{"LC_ALL", "C"}, {"LC_NUMERIC", "de_DE"}, {"LANG", "en_US"}},
         {"C", "C", "C"}},
        {"empty values are unset", {{"LC_ALL", ""}, {"LC_TIME", ""}, {"LANG", "pt_BR"}},
         {"pt_BR", "pt_BR", "pt_BR"}},
    };
    static const std::map<std::string, std::string>* current = nullptr;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        current = &c.environment;
        LocaleNames names = LocaleNamesFrom([](const char* name) -> const char* {
            auto it = current->find(name);
            return it == current->end() ? nullptr : it->second.c_str();
        });
        EXPECT_EQ(names.numeric, c.expected.numeric);
        EXPECT_EQ(names.time, c.expected.time);
        EXPECT_EQ(names.characters, c.expected.characters);
    }
}

TEST(LocaleSettingsTest, ReadsTheInstalledLocales) {
    LocaleFacts c = ReadLocaleFacts({"C", "C", "C"});
    EXPECT_EQ(c.radix, ".");
    EXPECT_EQ(c.dateFormat, "%m/%d/%y");
    EXPECT_EQ(c.timeFormat, "%H:%M:%S");
    EXPECT_EQ(c.codeset, "ANSI_X3.4-1968");

    LocaleFacts utf8 = ReadLocaleFacts({"C.UTF-8", "C.UTF-8", "C.UTF-8"});
    EXPECT_EQ(utf8.codeset, "UTF-8");
    EXPECT_EQ(SettingsFromFacts(utf8).ansiCodePage, "UTF-8");

    // A locale that is not installed reads as the C locale, category by category.
    LocaleFacts missing = ReadLocaleFacts({"xx_NOWHERE.UTF-8", "C.UTF-8", "xx_NOWHERE"});
    EXPECT_EQ(missing.radix, ".");
    EXPECT_EQ(missing.dateFormat, utf8.dateFormat);
    EXPECT_EQ(missing.codeset, "ANSI_X3.4-1968");
}

// Sets one environment variable for the life of the object and puts the old value back.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedVariable() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(LocaleSettingsTest, ReadRegionalSettingsUsesTheProcessEnvironment) {
    for (const char* locale : {"C", "C.UTF-8", "xx_NOWHERE.ISO-8859-1"}) {
        SCOPED_TRACE(locale);
        ScopedVariable all("LC_ALL", locale);
        RegionalSettings s = ReadRegionalSettings();
        EXPECT_EQ(s.decimalSeparator, ".");
        EXPECT_EQ(s.dateSeparator, "/");
        EXPECT_EQ(s.timeSeparator, ":");
        EXPECT_EQ(s.ansiCodePage, "UTF-8");
    }
}

// Real locales other than C are not installed here: the test compiles two into a temporary
// directory and points the C library there, then reads them through the environment.
TEST(LocaleSettingsTest, ReadsCompiledLatin1AndUtf8Locales) {
    test::TempDir locales;
    for (auto [source, charmap] : {std::pair{"pt_BR", "ISO-8859-1"}, std::pair{"de_DE", "UTF-8"}}) {
        std::string name = std::string(source) + "." + charmap;
        std::string command = std::string("localedef -i ") + source + " -f " + charmap + " " +
                              (locales.path() / name).string() + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef cannot build " << name;
    }
    ScopedVariable path("LOCPATH", locales.path().c_str());
    struct Case {
        const char* all;
        const char* lang;
        const char* numeric;
        RegionalSettings expected;
    };
    const Case cases[] = {
        {"pt_BR.ISO-8859-1", "", "", {",", "/", ":", "ISO-8859-1"}},
        {"de_DE.UTF-8", "", "", {",", ".", ":", "UTF-8"}},
        {"", "de_DE.UTF-8", "C", {".", ".", ":", "UTF-8"}},
        {"", "pt_BR.ISO-8859-1", "de_DE.UTF-8", {",", "/", ":", "ISO-8859-1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.all) + "|" + c.lang + "|" + c.numeric);
        ScopedVariable all("LC_ALL", c.all);
        ScopedVariable lang("LANG", c.lang);
        ScopedVariable numeric("LC_NUMERIC", c.numeric);
        ScopedVariable time("LC_TIME", "");
        ScopedVariable characters("LC_CTYPE", "");
        RegionalSettings s = ReadRegionalSettings();
        EXPECT_EQ(s.decimalSeparator, c.expected.decimalSeparator);
        EXPECT_EQ(s.dateSeparator, c.expected.dateSeparator);
        EXPECT_EQ(s.timeSeparator, c.expected.timeSeparator);
        EXPECT_EQ(s.ansiCodePage, c.expected.ansiCodePage);
    }
}

}  // namespace
}  // namespace vr::posix
