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

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/Error.h"
#include "service/Intervals.h"
#include "service/ServiceHost.h"
#include "tests/service/HostNotifySocket.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace fs = std::filesystem;

// Started by hand, the process has no notify socket: the connection is refused with a message
// for the operators (which the host writes to the event log).
TEST(HostNotifier, RefusedWithoutNotifySocket) {
    ASSERT_EQ(unsetenv("NOTIFY_SOCKET"), 0);
    EXPECT_THAT([&] { ConnectServiceManager("SrvVevoveRazara"); },
                ThrowsMessage<Error>(HasSubstr("Não foi possível conectar ao gerenciador de serviços")));
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
    void ReportActivity(Severity severity, std::string_view source, std::string_view message,
                        const std::vector<Field>& fields) noexcept override {
        const std::lock_guard lock(mutex_);
        std::ofstream out(path_, std::ios::app);
        out << (severity == Severity::Warning ? "warning " : "info ") << source << ": " << message;
        for (const Field& field : fields) {
            if (field.name == "VR_OUTCOME") out << " [" << field.value << "]";
        }
        out << "\n";
    }

private:
    std::mutex mutex_;
    fs::path path_;
};

class HostService : public ::testing::Test {
protected:
    // Starts a child running the host as a service, with a notify socket of its own; with a
    // watchdog of that many microseconds when one is given.
    void Start(const char* watchdogUsec = nullptr) {
        watchdogUsec_ = watchdogUsec;
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
            ::unsetenv("WATCHDOG_PID");
            if (watchdogUsec_ != nullptr) {
                ::setenv("WATCHDOG_USEC", watchdogUsec_, 1);
            } else {
                ::unsetenv("WATCHDOG_USEC");
            }
            test::JumpingClock clock;
            FileEventLog eventLog(EventLogPath());
            EventLoop loop(clock, [&](const std::exception& e) {
                eventLog.ReportError("test_host", e.what());
            });
            test::TestService service;
            // The test's word: "p" tells of progress and waits for the next word; "a", "n"
            // and "f" end the cycle with an account of an applied, a not-due or a failed cycle;
            // "q" ends it without re-arming, so that the loop then idles; any other just ends it.
            service.timer.SetOnTimer([&] {
                service.timer.SetEnabled(false);
                const std::string begin = "B" + std::to_string(clock.Milliseconds()) + "\n";
                [[maybe_unused]] ssize_t written = ::write(cycleOut, begin.data(), begin.size());
                char word = 0;
                for (;;) {
                    [[maybe_unused]] ssize_t got = ::read(goIn, &word, 1);
                    if (word != 'p') break;
                    if (service.progress) service.progress();
                    written = ::write(cycleOut, "P\n", 2);
                }
                if (word == 'a' || word == 'n' || word == 'f') {
                    TRelatorioCiclo report;
                    report.fim = {2024, 3, 10, 9, 15, 0};
                    report.ultimaAtualizacao = "2024-03-09";
                    report.proximoCicloMs = IntervaloFalha;
                    if (word == 'a') {
                        report.resultado = rcConcluida;
                        report.produtosGravados = 3;
                        report.segmentosGravados = 1;
                        report.gravacoesRecusadas = 2;
                        report.ultimaAtualizacao = "2024-03-10";
                        report.proximoCicloMs = IntervaloOK;
                    } else if (word == 'n') {
                        report.resultado = rcNenhumaPendente;
                        report.ultimaAtualizacao = "2024-03-10";
                    } else {
                        report.erro = "Falha na conexão com o banco de dados: conexão recusada";
                    }
                    if (service.observer) service.observer(report);
                }
                written = ::write(cycleOut, "E\n", 2);
                if (word == 'q') return;
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
    void Word(char word) { ASSERT_EQ(::write(go_, &word, 1), 1); }
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
    const char* watchdogUsec_ = nullptr;
    pid_t pid_ = -1;
    int cycles_ = -1;
    int go_ = -1;
};

const std::string kStartPending = "STATUS=start pending";
const std::string kRunning = "READY=1\nSTATUS=running";
const std::string kStopPending = "STOPPING=1\nSTATUS=stop pending";
const std::string kStopped = "STATUS=stopped";
const std::string kStopping = "STATUS=stopping: waiting for the update cycle to finish";

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
        // Not "stopped" while the cycle still runs: that comes when the process really ends.
        EXPECT_EQ(Status(), kStopping);
        EXPECT_TRUE(notify_->Quiet(std::chrono::milliseconds(200)));
        EXPECT_TRUE(StillRunning());
        Go();
        EXPECT_EQ(CycleLine(), "E");
        EXPECT_EQ(CycleLine(), std::nullopt);  // no further cycle; the child has closed the pipe
        EXPECT_EQ(Status(), kStopped);
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
    EXPECT_EQ(Status(), kStopping);
    Go();
    EXPECT_EQ(CycleLine(), "E");
    EXPECT_EQ(CycleLine(), std::nullopt);
    EXPECT_EQ(Status(), kStopped);
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_EQ(EventLogText(), "");
}

// Stopped while no cycle runs: nothing to wait for, so stopped follows stop pending at once.
TEST_F(HostService, StopWhileIdleIsStoppedAtOnce) {
    Start();
    EXPECT_EQ(Status(), kStartPending);
    EXPECT_EQ(Status(), kRunning);
    EXPECT_EQ(CycleLine(), "B60000");
    Word('q');  // the cycle ends without re-arming: the loop idles
    EXPECT_EQ(CycleLine(), "E");
    // "E" is written inside the tick, just before the loop leaves it; give the loop that moment,
    // so that the stop meets an idle loop and not the tail of the tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Signal(SIGTERM);
    EXPECT_EQ(Status(), kStopPending);
    EXPECT_EQ(Status(), kStopped);
    EXPECT_EQ(ExitCode(), 0);
}

// After each cycle the state carries its account, while running and while paused; the system
// log gets one entry per cycle, a warning for a failed one.
TEST_F(HostService, StatusAndLogTellHowTheLastCycleWent) {
    Start();
    EXPECT_EQ(Status(), kStartPending);
    EXPECT_EQ(Status(), kRunning);
    EXPECT_EQ(CycleLine(), "B60000");
    Word('a');
    EXPECT_EQ(CycleLine(), "E");
    EXPECT_EQ(Status(), kRunning + "; last cycle 2024-03-10 09:15:00: applied, 3 products and 1 segment written, "
                                   "2 writes refused, 0 consultations skipped; next cycle at 2024-03-10 12:15:00");
    EXPECT_EQ(CycleLine(), "B" + std::to_string(60000 + IntervaloFalha));
    Signal(SIGTSTP);
    EXPECT_EQ(Status(), "STATUS=pause pending");
    EXPECT_EQ(Status(), "STATUS=paused; last cycle 2024-03-10 09:15:00: applied, 3 products and 1 segment "
                        "written, 2 writes refused, 0 consultations skipped; next cycle at 2024-03-10 12:15:00");
    Word('n');
    EXPECT_EQ(CycleLine(), "E");
    EXPECT_EQ(Status(), "STATUS=paused; last cycle 2024-03-10 09:15:00: nothing due (last update 2024-03-10); "
                        "next cycle at 2024-03-10 09:45:00");
    EXPECT_EQ(CycleLine(), "B" + std::to_string(60000 + 2 * IntervaloFalha));
    Signal(SIGCONT);
    EXPECT_EQ(Status(), "STATUS=continue pending");
    EXPECT_EQ(Status(), kRunning + "; last cycle 2024-03-10 09:15:00: nothing due (last update 2024-03-10); "
                                   "next cycle at 2024-03-10 09:45:00");
    Word('f');
    EXPECT_EQ(CycleLine(), "E");
    EXPECT_EQ(Status(), kRunning + "; last cycle 2024-03-10 09:15:00: failed: Falha na conexão com o banco de "
                                   "dados: conexão recusada; next cycle at 2024-03-10 09:45:00");
    EXPECT_EQ(CycleLine(), "B" + std::to_string(60000 + 3 * IntervaloFalha));
    Signal(SIGTERM);
    EXPECT_EQ(Status(), kStopPending);
    EXPECT_EQ(Status(), kStopping);
    Word('a');  // the cycle that ends after the stop is logged, but the state stays stopping
    EXPECT_EQ(CycleLine(), "E");
    EXPECT_EQ(CycleLine(), std::nullopt);
    EXPECT_EQ(Status(), kStopped);
    EXPECT_EQ(ExitCode(), 0);
    const std::string applied =
        "info SrvVevoveRazara: update cycle applied, 3 products and 1 segment written, 2 writes refused, 0 "
        "consultations skipped; next cycle at 2024-03-10 12:15:00 [applied]\n";
    EXPECT_EQ(EventLogText(),
              applied +
                  "info SrvVevoveRazara: update cycle nothing due (last update 2024-03-10); next cycle at "
                  "2024-03-10 09:45:00 [nothing_due]\n"
                  "warning SrvVevoveRazara: update cycle failed: Falha na conexão com o banco de dados: conexão "
                  "recusada; next cycle at 2024-03-10 09:45:00 [failed]\n" +
                  applied);
}

// Asked for a watchdog, the host pings from the main thread: from the idle loop at half the
// interval, never while the main thread is stuck inside a cycle, and again as soon as the
// cycle tells of progress.
TEST_F(HostService, WatchdogPingsOnlyWhileTheMainThreadMakesProgress) {
    Start("2000000");
    int pings = 0;
    bool running = false;
    // Time jumps while the loop idles, so the pings of the minute before the first cycle come
    // at once (read as they come, or the socket's queue would hold the child back); then the
    // first cycle holds the main thread and they end.
    while (!notify_->Quiet(std::chrono::milliseconds(300))) {
        const std::optional<std::string> datagram = Status();
        if (datagram == "WATCHDOG=1") ++pings;
        if (datagram == kRunning) running = true;
    }
    EXPECT_TRUE(running);
    EXPECT_GE(pings, 2);
    const std::optional<std::string> begin = CycleLine();
    ASSERT_TRUE(begin.has_value());
    EXPECT_EQ(begin->front(), 'B');
    // Stuck in the cycle: silence.
    EXPECT_TRUE(notify_->Quiet(std::chrono::milliseconds(600)));
    Word('p');
    EXPECT_EQ(CycleLine(), "P");
    EXPECT_EQ(Status(), "WATCHDOG=1");
}

}  // namespace
}  // namespace vr
