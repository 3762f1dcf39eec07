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
        EXPECT_EQ(line.Action(), c.mode);
    }
}

}  // namespace
}  // namespace vr
