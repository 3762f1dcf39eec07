#include "service/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vr {
namespace {

struct Case {
    std::vector<std::string> arguments;
    bool install, uninstall, silent, once;
    CommandLine::Mode mode;
};

using M = CommandLine::Mode;

TEST(CommandLine, SwitchTable) {
    const Case cases[] = {
        {{}, false, false, false, false, M::Service},
        {{"/install", "/silent"}, true, false, true, false, M::Install},
        {{"-INSTALL"}, true, false, false, false, M::Install},
        {{"/Install"}, true, false, false, false, M::Install},
        {{"/INSTALL", "/UNINSTALL"}, true, true, false, false, M::Install},
        {{"/UNINSTALL", "/INSTALL"}, true, true, false, false, M::Install},
        {{"-UnInstall"}, false, true, false, false, M::Uninstall},
        {{"/silent", "qualquer", "/uninstall"}, false, true, true, false, M::Uninstall},
        {{"install"}, false, false, false, false, M::Service},
        {{"--install"}, false, false, false, false, M::Service},
        {{"//install"}, false, false, false, false, M::Service},
        {{"/install:x"}, false, false, false, false, M::Service},
        {{"/install "}, false, false, false, false, M::Service},
        {{"/instal"}, false, false, false, false, M::Service},
        {{"/"}, false, false, false, false, M::Service},
        {{"-"}, false, false, false, false, M::Service},
        {{""}, false, false, false, false, M::Service},
        {{"/\xC3\x8DNSTALL"}, false, false, false, false, M::Service},  // "/ÍNSTALL"
        {{"-Once"}, false, false, false, true, M::Once},
        {{"/ONCE", "/silent"}, false, false, true, true, M::Once},
        {{"--once"}, false, false, false, false, M::Service},
        {{"/once", "/install"}, true, false, false, true, M::Install},
        {{"/once", "-uninstall"}, false, true, false, true, M::Uninstall},
        {{"/silent"}, false, false, true, false, M::Service},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments) shown += "[" + a + "]";
        SCOPED_TRACE(shown);
        const CommandLine line = ParseCommandLine(c.arguments);
        EXPECT_EQ(line.install, c.install);
        EXPECT_EQ(line.uninstall, c.uninstall);
        EXPECT_EQ(line.silent, c.silent);
        EXPECT_EQ(line.once, c.once);
        EXPECT_FALSE(line.check || line.help || line.version);
        EXPECT_EQ(line.Action(), c.mode);
    }
}

// The switches an administrator or a technician types; the GNU spellings only exactly so.
TEST(CommandLine, CheckHelpAndVersion) {
    struct NewCase {
        std::vector<std::string> arguments;
        bool check, help, version;
        CommandLine::Mode mode;
    };
    const NewCase cases[] = {
        {{"/CHECK"}, true, false, false, M::Check},
        {{"-check"}, true, false, false, M::Check},
        {{"/Check", "/once"}, true, false, false, M::Check},
        {{"/check", "/install"}, true, false, false, M::Install},
        {{"/check", "/uninstall"}, true, false, false, M::Uninstall},
        {{"--check"}, false, false, false, M::Service},
        {{"/check:all"}, false, false, false, M::Service},
        {{"/HELP"}, false, true, false, M::Help},
        {{"-Help"}, false, true, false, M::Help},
        {{"--help"}, false, true, false, M::Help},
        {{"--HELP"}, false, false, false, M::Service},
        {{"---help"}, false, false, false, M::Service},
        {{"--help=x"}, false, false, false, M::Service},
        {{"help"}, false, false, false, M::Service},
        {{"/VERSION"}, false, false, true, M::Version},
        {{"-version"}, false, false, true, M::Version},
        {{"--version"}, false, false, true, M::Version},
        {{"--Version"}, false, false, false, M::Service},
        {{"/version:2"}, false, false, false, M::Service},
        // Asking for the usage or the version changes nothing, so it wins over every action.
        {{"/install", "--help"}, false, true, false, M::Help},
        {{"/uninstall", "/version"}, false, false, true, M::Version},
        {{"--version", "--help"}, false, true, true, M::Help},
        {{"/check", "-version"}, true, false, true, M::Version},
        // The installer's own switches: below a registration or removal, above the checks.
        {{"/Configure"}, false, false, false, M::Configure},
        {{"-UNCONFIGURE"}, false, false, false, M::Unconfigure},
        {{"/configure", "/unconfigure"}, false, false, false, M::Configure},
        {{"/configure", "/install"}, false, false, false, M::Install},
        {{"/unconfigure", "/uninstall"}, false, false, false, M::Uninstall},
        {{"/check", "/configure"}, true, false, false, M::Configure},
        {{"--configure"}, false, false, false, M::Service},
    };
    for (const NewCase& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments) shown += "[" + a + "]";
        SCOPED_TRACE(shown);
        const CommandLine line = ParseCommandLine(c.arguments);
        EXPECT_EQ(line.check, c.check);
        EXPECT_EQ(line.help, c.help);
        EXPECT_EQ(line.version, c.version);
        EXPECT_EQ(line.Action(), c.mode);
    }
}

// Every switch has a line of its own in the usage; the GNU spellings are named there too.
TEST(CommandLine, UsageNamesEverySwitch) {
    const std::string usage = UsageText("VevoveRazara");
    for (const char* name : {"/INSTALL", "/UNINSTALL", "/CONFIGURE", "/UNCONFIGURE", "/SILENT", "/ONCE", "/CHECK", "/HELP", "/VERSION"}) {
        EXPECT_NE(usage.find(std::string("\n  ") + name + " "), std::string::npos) << name;
    }
    for (const char* name : {"--help", "--version"}) EXPECT_NE(usage.find(name), std::string::npos) << name;
}

}  // namespace
}  // namespace vr
