// The executable itself, as the service manager and an operator start it.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "tests/service/HostNotifySocket.h"
#include "tests/service/HostTestSupport.h"
#include "tests/support/ChildReaper.h"

namespace vr {
namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
};

// Runs the executable through the shell with `arguments`, NOTIFY_SOCKET removed.
Outcome RunByHand(const std::string& arguments) {
    const std::string command =
        std::string("env -u NOTIFY_SOCKET '") + VR_HOST_BINARY + "' " + arguments + " 2>/dev/null";
    Outcome outcome;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return outcome;
    char buffer[512];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) {
        outcome.out.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// Started by hand, and with arguments that only look like switches: it tries to connect to the
// service manager, fails, and ends with 0 without a word on standard output.
TEST(HostBinary, StartedByHandEndsQuietly) {
    for (const char* arguments : {"", "install", "--install", "/install:x", "-", "/"}) {
        SCOPED_TRACE(arguments);
        const Outcome outcome = RunByHand(arguments);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.out, "");
    }
}

// The usage and the version, in both spellings, on standard output with exit code 0; nothing
// else happens (no connection to a service manager, no event log entry on standard error).
TEST(HostBinary, HelpAndVersion) {
    for (const char* arguments : {"/VERSION", "--version"}) {
        SCOPED_TRACE(arguments);
        const Outcome outcome = RunByHand(arguments);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_TRUE(std::regex_match(outcome.out,
                                     std::regex("VevoveRazara [0-9]+\\.[0-9]+\\.[0-9]+ \\(commit ([0-9a-f]{4,}|unknown)\\)\n")))
            << outcome.out;
    }
    for (const char* arguments : {"-help", "--help"}) {
        SCOPED_TRACE(arguments);
        const Outcome outcome = RunByHand(arguments);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.out.rfind("Uso: ", 0), 0u) << outcome.out;
        EXPECT_NE(outcome.out.find("\n  /CHECK "), std::string::npos) << outcome.out;
    }
}

TEST(HostBinary, InstallWithoutSystemd) {
    if (std::filesystem::exists("/run/systemd/system")) {
        GTEST_SKIP() << "systemd runs here; this test must not register a service";
    }
    // Install and uninstall alike: the service manager's own error, as it stands.
    for (const char* arguments : {"/install /silent", "-UNINSTALL", "/install /uninstall"}) {
        SCOPED_TRACE(arguments);
        const Outcome outcome = RunByHand(arguments);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.out, "o systemd não está em execução (/run/systemd/system não existe)\n");
    }
}

// Under a service manager of the test's own: ready, then stopped on SIGTERM, exit code 0.
TEST(HostBinary, RunsAndStopsUnderTheServiceManager) {
    test::TempDir temp;
    const std::filesystem::path socketPath = temp.path() / "notify";
    test::NotifySocket notify(socketPath);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("NOTIFY_SOCKET", socketPath.c_str(), 1);
        ::execl(VR_HOST_BINARY, VR_HOST_BINARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Whatever fails below, the child does not outlive the test.
    test::ChildReaper reaper{pid};
    EXPECT_EQ(notify.Next(), "STATUS=start pending");
    EXPECT_EQ(notify.Next(), "READY=1\nSTATUS=running");
    ::kill(pid, SIGTERM);
    EXPECT_EQ(notify.Next(), "STOPPING=1\nSTATUS=stop pending");
    EXPECT_EQ(notify.Next(), "STATUS=stopped");
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    reaper.reaped = true;
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace vr
