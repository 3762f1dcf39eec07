// The host's run as a service under systemd, watched from outside: a child process runs the host
// with a small test service, the test plays the service manager through a notify socket of its
// own and sends the control signals.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/Error.h"
#include "service/Intervals.h"
#include "service/ServiceHost.h"
#include "tests/service/HostNotifySocket.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

// Started by hand, the process has no notify socket: the connection is refused with a message
// for the operators (which the host writes to the event log).
TEST(HostNotifier, RefusedWithoutNotifySocket) {
    ASSERT_EQ(unsetenv("NOTIFY_SOCKET"), 0);
    try {
        ConnectServiceManager("SrvVevoveRazara");
        ADD_FAILURE() << "connected without a service manager";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("Não foi possível conectar ao gerenciador de serviços"),
                  std::string::npos)
            << error.what();
    }
}

// --- The run as a service, in a child process ---

using test::Clock;
using test::kPatience;
using test::MillisecondsLeft;
using test::NotifySocket;

// Lines that the child's cycles write; std::nullopt at end of file or after the patience.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    std::optional<std::string> Next() {
        const auto deadline = Clock::now() + kPatience;
        for (;;) {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, MillisecondsLeft(deadline)) <= 0) return std::nullopt;
            char chunk[256];
            const ssize_t got = ::read(fd_, chunk, sizeof chunk);
            if (got <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

private:
    int fd_;
    std::string buffer_;
};

// Event log of the child: a file the test reads afterwards.
class FileEventLog final : public EventLog {
public:
    explicit FileEventLog(fs::path path) : path_(std::move(path)) {}
    void ReportError(std::string_view source, std::string_view message) noexcept override {
        const std::lock_guard lock(mutex_);
        std::ofstream(path_, std::ios::app) << source << ": " << message << "\n";
    }

private:
    std::mutex mutex_;
    fs::path path_;
};

class HostService : public ::testing::Test {
protected:
    // Starts a child running the host as a service, with a notify socket of its own.
    void Start() {
        Finish();
        const fs::path socket = temp_.path() / ("notify" + std::to_string(++starts_));
        notify_.emplace(socket);
        int cycles[2];
        int go[2];
        ASSERT_EQ(::pipe2(cycles, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
        pid_ = ::fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            ::close(cycles[0]);
            ::close(go[1]);
            RunChild(socket, cycles[1], go[0]);
        }
        ::close(cycles[1]);
        ::close(go[0]);
        cycles_ = cycles[0];
        go_ = go[1];
        lines_.emplace(cycles_);
    }

    void Finish() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (go_ >= 0) ::close(go_);
        if (cycles_ >= 0) ::close(cycles_);
        go_ = cycles_ = -1;
        lines_.reset();
        notify_.reset();
    }

    void TearDown() override { Finish(); }

    // The child: the host over a test service whose cycle reports its start with the clock's
    // time, then waits for the test's word before it ends and re-arms like the real cycle.
    [[noreturn]] void RunChild(const fs::path& socket, int cycleOut, int goIn) {
        int code = 99;
        try {
            ::setenv("NOTIFY_SOCKET", socket.c_str(), 1);
            test::JumpingClock clock;
            FileEventLog eventLog(EventLogPath());
            EventLoop loop(clock, [&](const std::exception& e) {
                eventLog.ReportError("test_host", e.what());
            });
            test::TestService service;
            service.timer.SetOnTimer([&] {
                service.timer.SetEnabled(false);
                const std::string begin = "B" + std::to_string(clock.Milliseconds()) + "\n";
                [[maybe_unused]] ssize_t written = ::write(cycleOut, begin.data(), begin.size());
                char word = 0;
                [[maybe_unused]] ssize_t got = ::read(goIn, &word, 1);
                written = ::write(cycleOut, "E\n", 2);
                service.timer.SetInterval(IntervaloFalha);
                service.timer.SetEnabled(true);
            });
            PrepareServiceTimer(service.timer, loop, [&](const std::exception& e) {
                eventLog.ReportError("ManipulaExcecoes", e.what());
            });
            HostEnvironment environment;
            environment.eventLog = &eventLog;
            environment.processName = "test_host";
            StreamResultMessages messages(std::cout);
            environment.messages = &messages;
            ServiceHost host(service, loop, environment);
            code = host.Run(CommandLine{});
        } catch (...) {
            code = 98;
        }
        ::_exit(code);
    }

    fs::path EventLogPath() const { return temp_.path() / "eventlog"; }

    void Signal(int signal) { ASSERT_EQ(::kill(pid_, signal), 0); }
    void Go() { ASSERT_EQ(::write(go_, "g", 1), 1); }
    std::optional<std::string> Status() { return notify_->Next(); }
    std::optional<std::string> CycleLine() { return lines_->Next(); }

    bool StillRunning() {
        int status = 0;
        return ::waitpid(pid_, &status, WNOHANG) == 0;
    }

    // The child's exit code, or -1 when it did not exit normally in time.
    int ExitCode() {
        const auto deadline = Clock::now() + kPatience;
        int status = 0;
        while (Clock::now() < deadline) {
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(10000);
        }
        return -1;
    }

    std::string EventLogText() const {
        std::ifstream in(EventLogPath());
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    test::TempDir temp_;
    std::optional<NotifySocket> notify_;
    std::optional<LineReader> lines_;
    int starts_ = 0;
    pid_t pid_ = -1;
    int cycles_ = -1;
    int go_ = -1;
};

const std::string kStartPending = "STATUS=start pending";
const std::string kRunning = "READY=1\nSTATUS=running";
const std::string kStopPending = "STOPPING=1\nSTATUS=stop pending";
const std::string kStopped = "STATUS=stopped";

// A stop while a cycle runs: stopped is reported at once, the process ends only after the cycle,
// and no further cycle starts. The end of a user's session (SIGHUP) changes nothing.
TEST_F(HostService, StopDuringACycleEndsAfterIt) {
    for (int stop : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(stop));
        Start();
        EXPECT_EQ(Status(), kStartPending);
        EXPECT_EQ(Status(), kRunning);
        EXPECT_EQ(CycleLine(), "B60000");  // the first cycle one minute after arming
        Signal(SIGHUP);
        EXPECT_TRUE(notify_->Quiet(std::chrono::milliseconds(100)));
        Signal(stop);
        EXPECT_EQ(Status(), kStopPending);
        EXPECT_EQ(Status(), kStopped);
        EXPECT_TRUE(notify_->Quiet(std::chrono::milliseconds(200)));
        EXPECT_TRUE(StillRunning());
        Go();
        EXPECT_EQ(CycleLine(), "E");
        EXPECT_EQ(CycleLine(), std::nullopt);  // no further cycle; the child has closed the pipe
        EXPECT_EQ(ExitCode(), 0);
        EXPECT_EQ(EventLogText(), "");
    }
}

// Paused, the service goes on running its cycles; continue reports running again.
TEST_F(HostService, PauseAndContinueLeaveTheCyclesRunning) {
    Start();
    EXPECT_EQ(Status(), kStartPending);
    EXPECT_EQ(Status(), kRunning);
    EXPECT_EQ(CycleLine(), "B60000");
    Signal(SIGTSTP);
    EXPECT_EQ(Status(), "STATUS=pause pending");
    EXPECT_EQ(Status(), "STATUS=paused");
    Go();
    EXPECT_EQ(CycleLine(), "E");
    EXPECT_EQ(CycleLine(), "B" + std::to_string(60000 + IntervaloFalha));  // while paused
    Signal(SIGCONT);
    EXPECT_EQ(Status(), "STATUS=continue pending");
    EXPECT_EQ(Status(), kRunning);
    EXPECT_TRUE(StillRunning());
    Signal(SIGTERM);
    EXPECT_EQ(Status(), kStopPending);
    EXPECT_EQ(Status(), kStopped);
    Go();
    EXPECT_EQ(CycleLine(), "E");
    EXPECT_EQ(CycleLine(), std::nullopt);
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_EQ(EventLogText(), "");
}

}  // namespace
}  // namespace vr
