// The database misbehaving under a real cycle: a proxy between the module and the local server
// freezes, resets or never answers, and the module is given short bounds so that what it does
// at them shows quickly. What must hold: every wait ends near its bound, a write whose outcome
// is unknown is never counted as applied, and a write already in the database is not lost.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <optional>
#include <exception>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "service/Intervals.h"
#include "tests/service/CycleTestSupport.h"
#include "tests/service/HostNotifySocket.h"
#include "tests/support/ChildReaper.h"
#include "tests/support/FaultProxy.h"

extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }

namespace vr::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;
using Column = std::vector<std::string>;
using Seconds = std::chrono::duration<double>;
using Direction = FaultProxy::Direction;

const std::string kFailurePrefix = "Falha na operação!!! Anote a mensagem abaixo e envie para o suporte: \r\n";
constexpr std::uint32_t kConnectBoundMs = 2000;
constexpr std::uint32_t kCallBoundMs = 2000;
const std::string kNotCompleted = "O servidor do banco de dados não completou a conexão em 2 s";

class DatabaseFaults : public CycleFixture {
protected:
    DatabaseFaults() : CycleFixture(DbBounds{kConnectBoundMs, kCallBoundMs}) {
        WriteIni(IniFor(kProxyHost, db.path()));
        SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    }

    // One cycle; an error that leaves it goes to the module's handler, as the main loop does.
    Seconds RunCycle() {
        const auto start = std::chrono::steady_clock::now();
        module.Timer.SetEnabled(false);
        try {
            module.TimerTimer();
        } catch (const std::exception& e) {
            module.ManipulaExcecoes(e);
        }
        EXPECT_TRUE(module.Timer.Enabled());
        EXPECT_FALSE(module.Connvelmora.IsOpen());
        return std::chrono::steady_clock::now() - start;
    }

    // A feed of three consulted products; the second one's answer comes a little late, so that
    // a fault ordered when its consultation arrives meets its write.
    void RouteThreeProducts() {
        server.Route(kFeedPath, Json(200, FeedBody({Product("1", "A"), Product("2", "B"), Product("3", "C")}, {})));
        standin::Response late = Found("0000000000002", "2222.22.22");
        late.delayHeaders = 0.5;
        server.Route(kConsultaPath,
                     {Found("0000000000001", "1111.11.11"), late, Found("0000000000003", "3333.33.33")});
    }

    // Runs fault on another thread as soon as the stand-in receives the consultation of ean.
    std::thread OnConsultation(const std::string& ean, std::function<void()> fault,
                               std::chrono::seconds patience = std::chrono::seconds(30)) {
        return std::thread([this, ean, patience, fault = std::move(fault)] {
            const auto until = std::chrono::steady_clock::now() + patience;
            while (std::chrono::steady_clock::now() < until) {
                for (const standin::Request& r : server.TakeRequests()) {
                    if (r.target.find("ean=" + ean + "&") != std::string::npos) {
                        fault();
                        return;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            ADD_FAILURE() << "the consultation of " << ean << " never came";
        });
    }

    std::string Written() {
        const Column codes = db.Column("SELECT CODIGOPRODUTO FROM PRODUTO_TRIBUTOS ORDER BY CODIGOPRODUTO");
        std::string out;
        for (const std::string& c : codes) out += (out.empty() ? "" : " ") + c;
        return out;
    }

    void WaitUntilTheServerHasNoServiceAttachment() {
        for (int i = 0; i < 500; ++i) {
            if (db.Scalar("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$USER = 'USUARIO'") == "0") return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "the server still holds an attachment of the service";
    }

    FaultProxy proxy;
};

// The server stops answering in the middle of the writes and stays silent, new connections
// included: the cycle ends near the bounds with one entry, keeps what it had committed and its
// date; once the server answers again the next cycle applies the whole feed.
TEST_F(DatabaseFaults, StallMidFeedEndsTheCycleAndTheNextOneApplies) {
    RouteThreeProducts();
    module.Connvelmora.SetReconnectPause([](std::chrono::milliseconds) {});
    std::thread fault = OnConsultation("2", [this] { proxy.FreezeAll(); });
    const Seconds took = RunCycle();
    fault.join();
    // The call's bound, then three attempts to reconnect, each within the connect bound.
    EXPECT_LT(took.count(), 3 * (kCallBoundMs + 3 * kConnectBoundMs) / 1000.0);
    ExpectNotApplied();
    EXPECT_THAT(Log(), SizeIs(1));
    EXPECT_EQ(Written(), "0000000000001");

    proxy.PassThrough();
    RouteThreeProducts();
    RunCycle();
    ExpectApplied();
    EXPECT_EQ(Written(), "0000000000001 0000000000002 0000000000003");
    EXPECT_THAT(Log(), SizeIs(1));
}

// A connection reset between two writes: the next write reconnects, nothing is lost or doubled.
TEST_F(DatabaseFaults, ResetBetweenWritesReconnectsAndWritesEverythingOnce) {
    RouteThreeProducts();
    std::thread fault = OnConsultation("2", [this] { proxy.ResetAll(); });
    RunCycle();
    fault.join();
    ExpectApplied();
    EXPECT_THAT(Log(), IsEmpty());
    EXPECT_EQ(Calls("CODIGOPRODUTO"), (Column{"0000000000001", "0000000000002", "0000000000003"}));
    EXPECT_GE(proxy.accepted(), 2);  // the reset was real: a second attachment was needed
}

// A server that accepts and never answers, and one that answers the first packet and then goes
// silent (the client's own timeout does not cover that one): the connect fails within its bound
// with the cycle's connection entry, which names the bound in both cases, though the client's
// own timeout ends the first one with words of a rejection.
TEST_F(DatabaseFaults, ConnectThatNeverCompletesFailsWithinItsBound) {
    struct Case {
        const char* what;
        std::function<void(FaultProxy&)> fault;
    } const cases[] = {
        {"accepted, never answered", [](FaultProxy& p) { p.AcceptAndNeverAnswer(); }},
        {"silent after the first answer", [](FaultProxy& p) { p.FreezeAtMessage(Direction::ToClient, 2); }},
    };
    server.Route(kFeedPath, Json(200, FeedBody({}, {})));
    std::size_t entries = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.fault(proxy);
        const Seconds took = RunCycle();
        EXPECT_LT(took.count(), 3 * kConnectBoundMs / 1000.0);
        ExpectNotApplied();
        const std::vector<std::string> log = Log();
        ASSERT_THAT(log, SizeIs(++entries));
        EXPECT_EQ(log.back(), "Falha na conexão com o banco de dados: " + kNotCompleted);
        proxy.PassThrough();
    }
    // With the server answering again, the next cycle connects (the abandoned attach has
    // finished by then or is still let go of; either way the cycle after it works).
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    RunCycle();
    ExpectApplied();
}

// The commit of the second product's write lost on its way, that connection frozen from then
// on (new connections work): its request never reaches the server, or the server commits and
// its answer never comes. Either the product ends up written and the date advances, or the
// write's outcome stays unknown, the feed is not applied and the date stays.
TEST_F(DatabaseFaults, LostCommitIsNeverCountedAsApplied) {
    struct Case {
        const char* what;
        Direction direction;
        bool resetAfterwards;  // the connection then reset: the server drops what it held
        bool applied;
        Column calls;  // what the procedure committed, in order
    } const cases[] = {
        // Committed at the first attempt: written again by the second, harmless.
        {"answer lost", Direction::ToClient, false, true,
         {"0000000000001", "0000000000002", "0000000000002", "0000000000003"}},
        // The server still holds the first attempt's rows, so the second attempt cannot write
        // them: the outcome stays unknown until the next cycle.
        {"request lost, connection frozen", Direction::ToServer, false, false, {"0000000000001"}},
        // The server has let the first attempt go: the second one writes it, once.
        {"request lost, connection reset", Direction::ToServer, true, true,
         {"0000000000001", "0000000000002", "0000000000003"}},
    };
    module.Connvelmora.SetReconnectPause([](std::chrono::milliseconds) {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
        db.Execute("DELETE FROM DIRADOR_CHAMADAS");
        db.Execute("DELETE FROM PRODUTO_TRIBUTOS");
        fs::remove(directory / "VevoveRazara.log");
        RouteThreeProducts();
        // The second write's messages from then on: start, execution, commit.
        std::thread fault = OnConsultation("2", [&] {
            proxy.FreezeAtMessage(c.direction, 3);
            if (!c.resetAfterwards) return;
            for (int i = 0; i < 1000 && !proxy.Triggered(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            proxy.ResetAll();
        });
        const Seconds took = RunCycle();
        fault.join();
        EXPECT_TRUE(proxy.Triggered());
        EXPECT_LT(took.count(), 3 * (2 * kCallBoundMs + kConnectBoundMs) / 1000.0);
        EXPECT_EQ(Calls("CODIGOPRODUTO"), c.calls);
        if (c.applied) {
            ExpectApplied();
            EXPECT_FALSE(fs::exists(directory / "VevoveRazara.log"));
        } else {
            ExpectNotApplied();
            const std::vector<std::string> log = Log();
            ASSERT_THAT(log, SizeIs(1));
            EXPECT_THAT(log[0], StartsWith(kFailurePrefix));
        }
        // The frozen connection is dropped, not thawed: its held commit must not land in the next
        // case. The server lets the attachment go (rolling back what it held) soon after.
        proxy.ResetAll();
        proxy.PassThrough();
        WaitUntilTheServerHasNoServiceAttachment();
    }
}

// A stop pending while a write waits on a frozen connection: the write ends at its call bound
// and the cycle with it, as failed, without a new connection or a second attempt, whether new
// connections would work or freeze too. What was committed before stays, the date stays.
TEST_F(DatabaseFaults, StopPendingEndsTheCycleAtTheLostCallWithoutReconnecting) {
    struct Case {
        const char* what;
        std::function<void(FaultProxy&)> fault;
    } const cases[] = {
        {"that connection frozen", [](FaultProxy& p) { p.FreezeAtMessage(Direction::ToServer, 1); }},
        {"every connection frozen", [](FaultProxy& p) { p.FreezeAll(); }},
    };
    std::atomic<bool> stopping{false};
    module.Connvelmora.SetStopPending([&stopping] { return stopping.load(); });
    module.Connvelmora.SetReconnectPause([](std::chrono::milliseconds) {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        stopping = false;
        db.Execute("DELETE FROM DIRADOR_CHAMADAS");
        fs::remove(directory / "VevoveRazara.log");
        RouteThreeProducts();
        const int acceptedBefore = proxy.accepted();
        std::chrono::steady_clock::time_point stopped{};
        std::thread fault = OnConsultation("2", [&] {
            c.fault(proxy);
            for (int i = 0; i < 1000 && !proxy.Triggered(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            stopped = std::chrono::steady_clock::now();
            stopping = true;
        });
        RunCycle();
        const auto ended = std::chrono::steady_clock::now();
        fault.join();
        const Seconds afterStop = ended - stopped;
        EXPECT_LT(afterStop.count(), 3 * kCallBoundMs / 1000.0);
        EXPECT_EQ(proxy.accepted(), acceptedBefore + 1) << "a connection was opened after the stop";
        ExpectNotApplied();
        EXPECT_EQ(Calls("CODIGOPRODUTO"), Column{"0000000000001"});
        const std::vector<std::string> log = Log();
        ASSERT_THAT(log, SizeIs(1));
        EXPECT_THAT(log[0], HasSubstr("o serviço está sendo encerrado"));
        proxy.ResetAll();
        proxy.PassThrough();
        WaitUntilTheServerHasNoServiceAttachment();
    }
}

// The executable beside the store's files in dir, started with args; its standard output goes
// to dir/out.
pid_t StartBinary(const fs::path& dir, const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const fs::path binary = dir / "VevoveRazara";
    std::error_code linked;
    fs::create_hard_link(VR_SERVICE_BINARY, binary, linked);
    if (linked) fs::copy_file(VR_SERVICE_BINARY, binary);
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanOptions =
        (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : std::string()) + "intercept_tls_get_addr=0";
    const std::string out = (dir / "out").string();
    std::vector<std::string> argv{binary.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    for (const std::string& assignment : env) ::putenv(const_cast<char*>(assignment.c_str()));
    ::setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) ::dup2(fd, STDOUT_FILENO);
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    ::execv(raw[0], raw.data());
    ::_exit(127);
}

// Waits for pid up to limit seconds; the wait status, or nullopt when it is still running.
std::optional<int> WaitFor(pid_t pid, double limit, std::chrono::steady_clock::time_point since) {
    int status = 0;
    while (Seconds(std::chrono::steady_clock::now() - since).count() < limit) {
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
}

// The executable as a service, stopped while a write waits on a database host that has frozen
// (every connection, new ones too): the stop lets the running call reach its bound and then
// ends the cycle, without reconnecting or writing again, so the process ends within that bound
// and some margin. Slow by nature: the first cycle comes a minute after the start, the bound is
// the product's own.
TEST_F(DatabaseFaults, StopWhileTheDatabaseStallsEndsWithinTheCallBound) {
    RouteThreeProducts();
    const fs::path socketPath = directory / "notify";
    NotifySocket notify(socketPath);
    const pid_t pid = StartBinary(directory, {},
                                  {"NOTIFY_SOCKET=" + socketPath.string(), "VEVOVERAZARA_BASE_URL=" + server.Origin()});
    ASSERT_GE(pid, 0);
    test::ChildReaper reaper{pid};
    bool ready = false;
    while (const std::optional<std::string> message = notify.Next()) {
        if (message->find("READY=1") != std::string::npos) {
            ready = true;
            break;
        }
    }
    ASSERT_TRUE(ready);

    std::thread fault = OnConsultation("2", [this] { proxy.FreezeAll(); }, std::chrono::seconds(150));
    fault.join();
    // The second write's first message is held: the write has begun and waits.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int accepted = proxy.accepted();
    const auto stopped = std::chrono::steady_clock::now();
    ::kill(pid, SIGTERM);

    const double limit = 3 * (LimiteChamadaBancoMs / 1000.0 + 10);
    const std::optional<int> status = WaitFor(pid, limit, stopped);
    ASSERT_TRUE(status.has_value()) << "still running " << limit << " s after the stop";
    reaper.reaped = true;
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_EQ(proxy.accepted(), accepted) << "a connection was opened after the stop";
    proxy.ResetAll();
    proxy.PassThrough();
    EXPECT_EQ(Calls("CODIGOPRODUTO"), Column{"0000000000001"});
    EXPECT_EQ(StoredDate(), "2024-03-01");
    const std::vector<std::string> log = Log();
    ASSERT_THAT(log, SizeIs(1));
    EXPECT_THAT(log[0], HasSubstr("o serviço está sendo encerrado"));
}

// A database host that drops every SYN (a listener of the test's own whose accept queue is full):
// /ONCE gives the attach up at the connect bound and ends at once with its own exit code, its
// entry and its message written, though the given-up attach is still blocked in the client
// library's TCP connect; it neither waits for the kernel's SYN retries at the end nor crashes
// there. Several runs at a time, for the crash that came once in a few.
TEST(DatabaseHostDroppingSyns, OnceEndsAtTheConnectBoundWithItsExitCode) {
    const char* host = "127.0.0.3";
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(3050);
    ASSERT_EQ(::inet_pton(AF_INET, host, &address.sin_addr), 1);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 2; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(filler);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    constexpr int kRuns = 5;
    std::vector<TempDir> dirs(kRuns);
    std::vector<pid_t> pids;
    std::deque<test::ChildReaper> reapers;  // a deque never moves what it holds
    const auto started = std::chrono::steady_clock::now();
    for (const TempDir& dir : dirs) {
        std::ofstream(dir.path() / "Rivelto.ini", std::ios::binary) << IniFor(host, "/var/lib/loja.fdb");
        pids.push_back(StartBinary(dir.path(), {"/ONCE"}, {}));
        ASSERT_GE(pids.back(), 0);
        reapers.emplace_back(pids.back());
    }
    const double limit = 3 * (LimiteConexaoBancoMs / 1000.0 + 5);
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE("run " + std::to_string(i + 1));
        const std::optional<int> status = WaitFor(pids[i], limit, started);
        ASSERT_TRUE(status.has_value()) << "still running " << limit << " s after the start";
        reapers[i].reaped = true;
        EXPECT_TRUE(WIFEXITED(*status)) << (WIFSIGNALED(*status) ? strsignal(WTERMSIG(*status)) : "");
        EXPECT_EQ(WEXITSTATUS(*status), 1);
        EXPECT_EQ(LogMessages(dirs[i].path() / "VevoveRazara.log"),
                  std::vector<std::string>{"Falha na conexão com o banco de dados: O servidor do banco de dados não "
                                           "completou a conexão em 30 s"});
        EXPECT_EQ(Slurp(dirs[i].path() / "out"), "Atualização não concluída; veja VevoveRazara.log\n");
    }
    for (const int filler : fillers) ::close(filler);
    ::close(listener);
}

}  // namespace
}  // namespace vr::test
