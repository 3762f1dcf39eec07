#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vr {

// The switches of the command line. A switch is an argument made of "-" or "/" and the switch's
// name in any letter case, nothing before or after; its position does not matter.
struct CommandLine {
    bool install = false;
    bool uninstall = false;
    bool silent = false;
    bool once = false;   // run one update cycle in the foreground and end
    bool check = false;  // run the support checks and end
    // The installer's: completes or withdraws what the service manager knows beyond the
    // registration (ServiceInstaller), for a registration that the installer made itself.
    bool configure = false;
    bool unconfigure = false;
    bool help = false;     // also "--help"
    bool version = false;  // also "--version"

    enum class Mode { Help, Version, Install, Uninstall, Configure, Unconfigure, Check, Once, Service };
    // HELP, then VERSION, win over everything, since they change nothing; then INSTALL wins
    // over UNINSTALL, both over CONFIGURE, which wins over UNCONFIGURE, all over CHECK, which
    // wins over ONCE; no switch runs the service.
    Mode Action() const;
};

bool IsSwitch(std::string_view argument, std::string_view name);

// `arguments` excludes the program's own name.
CommandLine ParseCommandLine(std::span<const std::string> arguments);

// Every switch with one line about it.
std::string UsageText(std::string_view program);
// The project's version and the commit the build came from.
std::string VersionText();

}  // namespace vr
