// The database misbehaving under a real cycle: a proxy between the module and the local server
// freezes, resets or never answers, and the module is given short bounds so that what it does
// at them shows quickly. What must hold: every wait ends near its bound, a write whose outcome
// is unknown is never counted as applied, and a write already in the database is not lost.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
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
// with the cycle's connection entry.
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
        EXPECT_THAT(log.back(), StartsWith("Falha na conexão com o banco de dados: "));
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

// The executable as a service, stopped while a write waits on a frozen connection: the stop
// lets the cycle finish, and the cycle's wait ends at the product's call bound, so the process
// ends within that bound and some margin, with the rest of the feed written through a new
// connection. Slow by nature: the first cycle comes a minute after the start, the bound is the
// product's own.
TEST_F(DatabaseFaults, StopWhileTheDatabaseStallsEndsWithinTheCallBound) {
    const fs::path binary = directory / "VevoveRazara";
    std::error_code linked;
    fs::create_hard_link(VR_SERVICE_BINARY, binary, linked);
    if (linked) fs::copy_file(VR_SERVICE_BINARY, binary);
    RouteThreeProducts();
    const fs::path socketPath = directory / "notify";
    NotifySocket notify(socketPath);
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanOptions =
        (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : std::string()) + "intercept_tls_get_addr=0";
    const std::string baseUrl = server.Origin();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("NOTIFY_SOCKET", socketPath.c_str(), 1);
        ::setenv("VEVOVERAZARA_BASE_URL", baseUrl.c_str(), 1);
        ::setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    test::ChildReaper reaper{pid};
    bool ready = false;
    while (const std::optional<std::string> message = notify.Next()) {
        if (message->find("READY=1") != std::string::npos) {
            ready = true;
            break;
        }
    }
    ASSERT_TRUE(ready);

    // The connection freezes at the second write's first message; new connections work.
    std::thread fault = OnConsultation(
        "2", [this] { proxy.FreezeAtMessage(Direction::ToServer, 1); }, std::chrono::seconds(150));
    fault.join();
    for (int i = 0; i < 1000 && !proxy.Triggered(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(proxy.Triggered());
    const auto stopped = std::chrono::steady_clock::now();
    ::kill(pid, SIGTERM);

    const double margin = 10;
    const double limit = 3 * (LimiteChamadaBancoMs / 1000.0 + margin);
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 &&
           Seconds(std::chrono::steady_clock::now() - stopped).count() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(ended, pid) << "still running " << limit << " s after the stop";
    reaper.reaped = true;
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The stalled write was abandoned at its bound and run again on a new connection.
    EXPECT_EQ(Calls("CODIGOPRODUTO"), (Column{"0000000000001", "0000000000002", "0000000000003"}));
    EXPECT_NE(StoredDate(), "2024-03-01");
    EXPECT_FALSE(fs::exists(directory / "VevoveRazara.log"));
}

}  // namespace
}  // namespace vr::test
