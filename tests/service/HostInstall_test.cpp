// Registration and removal against a unit directory of the test's own, with a stand-in for
// systemctl that records its arguments.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/SystemdServiceManager.h"
#include "service/ServiceInstaller.h"
#include "service/ServiceNames.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

const char* const kInstallFailure =
    "Service \"Brisen Fiscal - Atualizador Fiscal\" failed to install with error: \"";
const char* const kUninstallFailure =
    "Service \"Brisen Fiscal - Atualizador Fiscal\" failed to uninstall with error: \"";

class HostInstall : public ::testing::Test {
protected:
    HostInstall() {
        fs::create_directories(units());
        fs::create_directories(runtime());
        SetSystemctl("exit 0\n");
    }

    fs::path units() const { return temp.path() / "units"; }
    fs::path runtime() const { return temp.path() / "run-systemd-system"; }
    fs::path unit() const { return units() / "SrvVevoveRazara.service"; }
    fs::path calls() const { return temp.path() / "systemctl-calls"; }

    // The stand-in appends its arguments as one line, then runs `body`.
    void SetSystemctl(const std::string& body) {
        const fs::path script = temp.path() / "systemctl";
        WriteFile(script, "#!/bin/sh\necho \"$@\" >> '" + calls().string() + "'\n" + body);
        fs::permissions(script, fs::perms::owner_all);
    }

    ServiceInstaller Installer(const fs::path& executable = "/opt/brisen/VevoveRazara") {
        return ServiceInstaller(
            [this] {
                return std::make_unique<SystemdServiceManager>(
                    SystemdLayout{units(), runtime(), (temp.path() / "systemctl").string()});
            },
            executable, messages);
    }

    std::string Calls() const { return fs::exists(calls()) ? ReadFile(calls()) : ""; }

    test::TempDir temp;
    std::ostringstream out;
    StreamResultMessages messages{out};
};

// The lines of a unit, to compare it with its template line by line.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(HostInstall, InstallWritesTheUnitReloadsAndEnables) {
    EXPECT_EQ(Installer().Install(false), 0);
    EXPECT_EQ(out.str(), "Service installed successfully\n");
    // The template's text, with the executable's paths in the lines that name them.
    const std::map<std::string, std::string> filled = {
        {"Description=@DESCRIPTION@", "Description=Brisen Fiscal - Atualizador Fiscal"},
        {"ConditionPathExists=@DIRECTORY_PATH@/Rivelto.ini",
         "ConditionPathExists=/opt/brisen/Rivelto.ini"},
        {"ExecStart=@EXEC_START@", "ExecStart=/opt/brisen/VevoveRazara"},
        {"ReadWritePaths=@DIRECTORY@", "ReadWritePaths=/opt/brisen"},
        {"ReadOnlyPaths=@EXECUTABLE@ -@DIRECTORY@/Rivelto.ini",
         "ReadOnlyPaths=/opt/brisen/VevoveRazara -/opt/brisen/Rivelto.ini"},
    };
    const std::vector<std::string> expected = Lines(ReadFile(VR_UNIT_TEMPLATE));
    const std::vector<std::string> written = Lines(ReadFile(unit()));
    ASSERT_EQ(written.size(), expected.size()) << ReadFile(unit());
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto line = filled.find(expected[i]);
        replaced += line != filled.end();
        EXPECT_EQ(written[i], line != filled.end() ? line->second : expected[i]);
    }
    EXPECT_EQ(replaced, filled.size()) << "a line with a placeholder is missing from the template";
    // Registration as the service manager is told it: notified start, the system's account,
    // started with the system.
    for (const char* line : {"\nType=notify\n", "\nUser=root\n", "\nWantedBy=multi-user.target\n"}) {
        EXPECT_NE(ReadFile(unit()).find(line), std::string::npos) << line;
    }
    EXPECT_EQ(Calls(), "daemon-reload\nenable SrvVevoveRazara.service\n");
}

// The package ships the unit that /INSTALL writes for the installed executable.
TEST_F(HostInstall, ThePackagedUnitIsTheOneInstallWrites) {
    EXPECT_EQ(ReadFile(VR_PACKAGED_UNIT),
              SystemdServiceManager::UnitText(
                  {NomeServico, NomeExibicaoServico, VR_PACKAGED_EXECUTABLE}));
}

TEST_F(HostInstall, SilentInstallPrintsNothing) {
    EXPECT_EQ(Installer().Install(true), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_TRUE(fs::exists(unit()));
}

// Every line that names a path, as systemd reads it: quoted where blanks or quotes split words,
// "%" doubled everywhere; a condition takes the rest of its line as it stands.
TEST_F(HostInstall, PathQuoting) {
    struct Case {
        const char* executable;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"/opt/Brisen Fiscal/VevoveRazara",
         {"ExecStart=\"/opt/Brisen Fiscal/VevoveRazara\"",
          "ReadWritePaths=\"/opt/Brisen Fiscal\"",
          "ReadOnlyPaths=\"/opt/Brisen Fiscal/VevoveRazara\" -\"/opt/Brisen Fiscal\"/Rivelto.ini",
          "ConditionPathExists=/opt/Brisen Fiscal/Rivelto.ini"}},
        {"/opt/brisen/VevoveRazara",
         {"ExecStart=/opt/brisen/VevoveRazara", "ReadWritePaths=/opt/brisen",
          "ReadOnlyPaths=/opt/brisen/VevoveRazara -/opt/brisen/Rivelto.ini",
          "ConditionPathExists=/opt/brisen/Rivelto.ini"}},
        {"/opt/100%/VevoveRazara",
         {"ExecStart=/opt/100%%/VevoveRazara", "ReadWritePaths=/opt/100%%",
          "ReadOnlyPaths=/opt/100%%/VevoveRazara -/opt/100%%/Rivelto.ini",
          "ConditionPathExists=/opt/100%%/Rivelto.ini"}},
        {"/opt/a\\b/Vevove \"R\"",
         {"ExecStart=\"/opt/a\\\\b/Vevove \\\"R\\\"\"", "ReadWritePaths=/opt/a\\\\b",
          "ReadOnlyPaths=\"/opt/a\\\\b/Vevove \\\"R\\\"\" -/opt/a\\\\b/Rivelto.ini",
          "ConditionPathExists=/opt/a\\b/Rivelto.ini"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable);
        const std::string text = SystemdServiceManager::UnitText(
            {"SrvVevoveRazara", "Brisen Fiscal - Atualizador Fiscal", c.executable});
        for (const std::string& line : c.lines) {
            EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << "\n" << text;
        }
        EXPECT_EQ(text.find("@D"), std::string::npos) << text;
        EXPECT_EQ(text.find("@E"), std::string::npos) << text;
    }
    EXPECT_EQ(Installer("/opt/Brisen Fiscal/VevoveRazara").Install(true), 0);
    EXPECT_NE(ReadFile(unit()).find("\nExecStart=\"/opt/Brisen Fiscal/VevoveRazara\"\n"),
              std::string::npos);
}

TEST_F(HostInstall, InstallOverAnExistingServiceFails) {
    WriteFile(unit(), "anterior\n");
    EXPECT_EQ(Installer().Install(true), 0);
    EXPECT_EQ(out.str(), std::string(kInstallFailure) + "o serviço já existe (" + unit().string() +
                             ")\"\n");
    EXPECT_EQ(ReadFile(unit()), "anterior\n");
    EXPECT_EQ(Calls(), "");
}

// The service manager cannot be used: its error as it stands (also with SILENT), exit code 1.
TEST_F(HostInstall, ServiceManagerUnavailable) {
    struct Case {
        const char* name;
        bool install;
        fs::path missing;
        std::string message;
    };
    const Case cases[] = {
        {"install without systemd", true, runtime(),
         "o systemd não está em execução (" + runtime().string() + " não existe)"},
        {"uninstall without systemd", false, runtime(),
         "o systemd não está em execução (" + runtime().string() + " não existe)"},
        {"install without unit directory", true, units(),
         "o diretório de unidades do systemd " + units().string() + " não existe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(units());
        fs::create_directories(runtime());
        fs::remove_all(c.missing);
        out.str("");
        ServiceInstaller installer = Installer();
        EXPECT_EQ(c.install ? installer.Install(true) : installer.Uninstall(true), 1);
        EXPECT_EQ(out.str(), c.message + "\n");
        EXPECT_FALSE(fs::exists(unit()));
        EXPECT_EQ(Calls(), "");
    }
}

// A failed enable leaves nothing behind, so that the next attempt does not find a half-made
// service.
TEST_F(HostInstall, FailedEnableIsReportedAndUndone) {
    SetSystemctl("if [ \"$1\" = enable ]; then echo 'Failed to enable unit' >&2; exit 1; fi\n");
    EXPECT_EQ(Installer().Install(false), 1);
    EXPECT_EQ(out.str(), std::string(kInstallFailure) +
                             "systemctl enable SrvVevoveRazara.service terminou com o código 1: "
                             "Failed to enable unit\"\n");
    EXPECT_FALSE(fs::exists(unit()));
    EXPECT_EQ(Calls(), "daemon-reload\nenable SrvVevoveRazara.service\ndaemon-reload\n");
}

TEST_F(HostInstall, UninstallDisablesAndRemovesWithoutStopping) {
    ASSERT_EQ(Installer().Install(true), 0);
    fs::remove(calls());
    EXPECT_EQ(Installer().Uninstall(false), 0);
    EXPECT_EQ(out.str(), "Service uninstalled successfully\n");
    EXPECT_FALSE(fs::exists(unit()));
    EXPECT_EQ(Calls(), "disable SrvVevoveRazara.service\ndaemon-reload\n");
}

TEST_F(HostInstall, UninstallFailures) {
    struct Case {
        const char* name;
        bool unitPresent;
        std::string systemctl;
        std::string message;
        bool unitRemains;
        int exitCode;  // 0 only when the service ends absent
    };
    const Case cases[] = {
        {"no such service", false, "exit 0\n",
         "o serviço especificado não existe (" + unit().string() + ")", false, 0},
        {"disable refused", true, "echo 'Access denied' >&2; exit 4\n",
         "systemctl disable SrvVevoveRazara.service terminou com o código 4: Access denied", true, 1},
    };
    for (const Case& c : cases) {
        for (bool silent : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (silent ? " (silent)" : ""));
            fs::remove(unit());
            if (c.unitPresent) WriteFile(unit(), "[Unit]\n");
            SetSystemctl(c.systemctl);
            out.str("");
            EXPECT_EQ(Installer().Uninstall(silent), c.exitCode);
            EXPECT_EQ(out.str(), std::string(kUninstallFailure) + c.message + "\"\n");
            EXPECT_EQ(fs::exists(unit()), c.unitRemains);
        }
    }
}

TEST_F(HostInstall, MissingSystemctlIsAFailureNotACrash) {
    ServiceInstaller installer(
        [this] {
            return std::make_unique<SystemdServiceManager>(
                SystemdLayout{units(), runtime(), (temp.path() / "nao-existe").string()});
        },
        "/opt/brisen/VevoveRazara", messages);
    EXPECT_EQ(installer.Install(true), 1);
    EXPECT_EQ(out.str().rfind(kInstallFailure, 0), 0u) << out.str();
    EXPECT_FALSE(fs::exists(unit()));
}

}  // namespace
}  // namespace vr
