#include "service/CommandLine.h"

#include <string>

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
        line.check = line.check || IsSwitch(argument, "CHECK");
        line.configure = line.configure || IsSwitch(argument, "CONFIGURE");
        line.unconfigure = line.unconfigure || IsSwitch(argument, "UNCONFIGURE");
        // The GNU spellings that administrators type, exactly so: any other doubled prefix
        // (--install) stays no switch.
        line.help = line.help || IsSwitch(argument, "HELP") || argument == "--help";
        line.version = line.version || IsSwitch(argument, "VERSION") || argument == "--version";
    }
    return line;
}

CommandLine::Mode CommandLine::Action() const {
    if (help) return Mode::Help;
    if (version) return Mode::Version;
    if (install) return Mode::Install;
    if (uninstall) return Mode::Uninstall;
    if (configure) return Mode::Configure;
    if (unconfigure) return Mode::Unconfigure;
    if (check) return Mode::Check;
    if (once) return Mode::Once;
    return Mode::Service;
}

// VR_VERSION and VR_COMMIT come from the build (service/CMakeLists.txt).
std::string VersionText() { return std::string("VevoveRazara ") + VR_VERSION + " (commit " + VR_COMMIT + ")"; }

std::string UsageText(std::string_view program) {
    const std::string name(program);
    return "Uso: " + name + " [/INSTALL | /UNINSTALL | /CONFIGURE | /UNCONFIGURE | /ONCE | /CHECK | /HELP | /VERSION] [/SILENT]\n"
           "  (sem opção)  executa como serviço, iniciado pelo gerenciador de serviços\n"
           "  /INSTALL     registra o serviço no gerenciador de serviços\n"
           "  /UNINSTALL   remove o registro do serviço (um serviço em execução não é parado)\n"
           "  /SILENT      com /INSTALL ou /UNINSTALL: não mostra a mensagem de sucesso\n"
           "  /CONFIGURE   usado pelo instalador: descrição, recuperação, início atrasado e fontes do log de eventos\n"
           "  /UNCONFIGURE usado pelo instalador: remove as fontes do log de eventos\n"
           "  /ONCE        executa um ciclo de atualização agora, em primeiro plano, e termina\n"
           "  /CHECK       verifica INI, banco de dados, serviço de classificação e arquivos, sem gravar nada\n"
           "  /HELP        mostra este texto (também --help)\n"
           "  /VERSION     mostra a versão e o commit de origem (também --version)\n"
           "As opções começam com \"/\" ou \"-\"; maiúsculas e minúsculas não se distinguem.";
}

}  // namespace vr
