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
    bool once = false;  // run one update cycle in the foreground and end

    enum class Mode { Install, Uninstall, Once, Service };
    // INSTALL wins over UNINSTALL, both over ONCE; no switch runs the service.
    Mode Action() const;
};

bool IsSwitch(std::string_view argument, std::string_view name);

// `arguments` excludes the program's own name.
CommandLine ParseCommandLine(std::span<const std::string> arguments);

}  // namespace vr
