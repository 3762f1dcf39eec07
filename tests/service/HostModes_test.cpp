// The host's foreground modes, in this process, on every platform: started by hand, ONCE,
// install and uninstall.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "service/Intervals.h"
#include "service/ServiceHost.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

class HostModes : public ::testing::Test {
protected:
    HostModes() {
        PrepareServiceTimer(service.timer, loop,
                            [this](const std::exception& e) { logged.push_back(e.what()); });
    }

    ServiceHost Host() {
        HostEnvironment environment;
        environment.eventLog = &eventLog;
        environment.processName = "VevoveRazara";
        environment.executable = "/opt/brisen/VevoveRazara";
        environment.messages = &messages;
        environment.openServiceManager = []() -> std::unique_ptr<ServiceManager> {
            throw ServiceManagerUnavailable("o gerenciador de serviços não está em execução");
        };
        environment.connectServiceManager = [](const std::string&) -> std::unique_ptr<ServiceNotifier> {
            throw Error("o processo não foi iniciado pelo gerenciador de serviços");
        };
        return ServiceHost(service, loop, environment);
    }

    test::JumpingClock clock;
    test::RecordingEventLog eventLog;
    EventLoop loop{clock, [this](const std::exception& e) {
                       eventLog.ReportError("VevoveRazara", e.what());
                   }};
    test::TestService service;
    std::vector<std::string> logged;  // what the module's error handler received
    test::RecordingResultMessages messages;
};

// Started by hand, not by the service manager: one event log entry, no cycle, exit code 0.
TEST_F(HostModes, WithoutServiceManagerNothingRuns) {
    int cycles = 0;
    service.timer.SetOnTimer([&] { ++cycles; });
    EXPECT_EQ(Host().Run(CommandLine{}), 0);
    const auto entries = eventLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].source, "VevoveRazara");
    EXPECT_EQ(entries[0].message, "o processo não foi iniciado pelo gerenciador de serviços");
    EXPECT_EQ(cycles, 0);
    EXPECT_EQ(service.executions.load(), 0);
    EXPECT_FALSE(service.timer.Enabled());
    EXPECT_TRUE(messages.messages.empty());
}

// /ONCE runs exactly one cycle through the loop, tells what it did and exits accordingly.
TEST_F(HostModes, OnceRunsOneCycleAndReportsIt) {
    struct Case {
        const char* name;
        std::optional<TResultadoCiclo> outcome;  // none: the cycle throws before setting one
        test::ResultMessage message;
        int exitCode;
    };
    const Case cases[] = {
        {"update completed", rcConcluida, {false, "Atualização concluída"}, 0},
        {"nothing due", rcNenhumaPendente, {false, "Nenhuma atualização pendente"}, 0},
        {"not completed", rcNaoConcluida,
         {true, "Atualização não concluída; veja VevoveRazara.log"}, 1},
        {"configuration incomplete", rcSemConfiguracao,
         {true, "Nenhuma atualização feita: PADRAO sem data da última atualização, BRISEN_ID ou "
                "BRISEN_TOKEN"},
         1},
        {"error leaves the cycle", std::nullopt,
         {true, "Atualização não concluída; veja VevoveRazara.log"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.messages.clear();
        logged.clear();
        service.outcome = rcConcluida;  // a stale outcome must not be reported
        int cycles = 0;
        service.timer.SetOnTimer([&] {
            service.timer.SetEnabled(false);
            ++cycles;
            service.timer.SetInterval(IntervaloFalha);
            service.timer.SetEnabled(true);  // re-armed, as every cycle ends
            if (!c.outcome) throw Error("Falha na conexão com o banco de dados: recusada");
            service.outcome = *c.outcome;
        });
        CommandLine line;
        line.once = true;
        EXPECT_EQ(Host().Run(line), c.exitCode);
        EXPECT_EQ(messages.messages, std::vector<test::ResultMessage>{c.message});
        EXPECT_EQ(cycles, 1);
        EXPECT_EQ(logged, c.outcome ? std::vector<std::string>{}
                                    : std::vector<std::string>{
                                          "Falha na conexão com o banco de dados: recusada"});
        EXPECT_EQ(service.executions.load(), 0);
        service.timer.SetEnabled(false);
    }
    EXPECT_TRUE(eventLog.Entries().empty());
}

// A cycle whose failure the log could not take: /ONCE does not send the operator to that log.
TEST_F(HostModes, OnceDoesNotPointAtALogItCouldNotWrite) {
    service.timer.SetOnTimer([&] {
        service.logEntryLost = true;
        throw Error("Não foi possível gravar o arquivo \"/opt/brisen/VevoveRazara.log\": disco cheio");
    });
    CommandLine line;
    line.once = true;
    EXPECT_EQ(Host().Run(line), 1);
    const std::vector<test::ResultMessage> expected = {
        {true, "Atualização não concluída; não foi possível gravar VevoveRazara.log, veja o registro do sistema"}};
    EXPECT_EQ(messages.messages, expected);
    service.timer.SetEnabled(false);
}

TEST_F(HostModes, InstallAndUninstallReachTheServiceManager) {
    CommandLine install;
    install.install = true;
    install.uninstall = true;
    install.silent = true;
    EXPECT_EQ(Host().Run(install), 1);
    CommandLine uninstall;
    uninstall.uninstall = true;
    EXPECT_EQ(Host().Run(uninstall), 1);
    EXPECT_EQ(messages.messages,
              (std::vector<test::ResultMessage>{
                  {true, "o gerenciador de serviços não está em execução"},
                  {true, "o gerenciador de serviços não está em execução"}}));
    EXPECT_TRUE(eventLog.Entries().empty());
}

}  // namespace
}  // namespace vr
