#include "service/CommandLine.h"

namespace vr {
namespace {

// Switch names are ASCII; folding only ASCII keeps a non-ASCII argument from ever matching.
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool IsSwitch(std::string_view argument, std::string_view name) {
    if (argument.empty() || (argument.front() != '-' && argument.front() != '/')) return false;
    const std::string_view rest = argument.substr(1);
    if (rest.size() != name.size()) return false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (AsciiUpper(rest[i]) != AsciiUpper(name[i])) return false;
    }
    return true;
}

CommandLine ParseCommandLine(std::span<const std::string> arguments) {
    CommandLine line;
    for (const std::string& argument : arguments) {
        line.install = line.install || IsSwitch(argument, "INSTALL");
        line.uninstall = line.uninstall || IsSwitch(argument, "UNINSTALL");
        line.silent = line.silent || IsSwitch(argument, "SILENT");
        line.once = line.once || IsSwitch(argument, "ONCE");
    }
    return line;
}

CommandLine::Mode CommandLine::Action() const {
    if (install) return Mode::Install;
    if (uninstall) return Mode::Uninstall;
    if (once) return Mode::Once;
    return Mode::Service;
}

}  // namespace vr
