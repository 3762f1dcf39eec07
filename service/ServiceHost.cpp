#include "service/ServiceHost.h"

#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "common/Error.h"
#include "platform/ControlSignals.h"
#include "service/ServiceInstaller.h"
#include "service/ServiceNames.h"
#include "service/ServiceThread.h"

namespace vr {
namespace {

// Joins on every way out, so that a failure while starting never leaves a thread running.
class JoiningThread {
public:
    JoiningThread() = default;
    ~JoiningThread() {
        if (thread_.joinable()) thread_.join();
    }
    JoiningThread(const JoiningThread&) = delete;
    JoiningThread& operator=(const JoiningThread&) = delete;
    template <typename F>
    void Start(F&& work) {
        thread_ = std::thread(std::forward<F>(work));
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::thread thread_;
};

}  // namespace

ServiceHost::ServiceHost(HostedService& service, EventLoop& loop, HostEnvironment environment)
    : service_(service), loop_(loop), environment_(std::move(environment)) {
    if (environment_.eventLog == nullptr || environment_.messages == nullptr) {
        throw Error("ambiente do serviço incompleto");
    }
}

int ServiceHost::Run(const CommandLine& commandLine) {
    ServiceInstaller installer(environment_.openServiceManager, environment_.executable,
                               *environment_.messages);
    switch (commandLine.Action()) {
        case CommandLine::Mode::Install: return installer.Install(commandLine.silent);
        case CommandLine::Mode::Uninstall: return installer.Uninstall(commandLine.silent);
        case CommandLine::Mode::Once: return RunOnce();
        case CommandLine::Mode::Service: return RunAsService();
    }
    return 0;
}

int ServiceHost::RunOnce() {
    service_.SetCycleOutcome(rcNaoConcluida);
    // Through the loop, as a tick comes, so that an escaping error takes the same way.
    TTimer& timer = service_.CycleTimer();
    loop_.Post([&timer] { timer.Trigger(); });
    loop_.PostQuit();
    loop_.Run();
    ResultMessages& messages = *environment_.messages;
    switch (service_.CycleOutcome()) {
        case rcConcluida: messages.Information("Atualização concluída"); return 0;
        case rcNenhumaPendente: messages.Information("Nenhuma atualização pendente"); return 0;
        case rcSemConfiguracao:
            messages.Failure(
                "Nenhuma atualização feita: PADRAO sem data da última atualização, BRISEN_ID ou "
                "BRISEN_TOKEN");
            return 1;
        case rcNaoConcluida: break;
    }
    // The log could not take the cycle's failure: the system log has it, with the message.
    if (service_.LogEntryLost()) {
        messages.Failure("Atualização não concluída; não foi possível gravar VevoveRazara.log, veja o registro do sistema");
        return 1;
    }
    messages.Failure("Atualização não concluída; veja VevoveRazara.log");
    return 1;
}

int ServiceHost::RunAsService() {
    EventLog& eventLog = *environment_.eventLog;
    std::unique_ptr<ServiceNotifier> notifier;
    try {
        notifier = environment_.connectServiceManager(NomeServico);
    } catch (const std::exception& error) {
        // Started by hand: nothing to serve, and no cycle may run.
        eventLog.ReportError(environment_.processName, error.what());
        return 0;
    }
    std::optional<ControlSignals> signals;
    try {
        signals.emplace();
    } catch (const std::exception& error) {
        eventLog.ReportError(NomeServico, std::string("Service failed on start: ") + error.what());
        return 0;
    }
    ServiceThread service(*notifier, eventLog);
    {
        JoiningThread control;
        JoiningThread serviceThread;
        try {
            control.Start([&] {
                while (const std::optional<std::uint32_t> code = signals->Wait()) service.Post(*code);
            });
            serviceThread.Start([&] {
                // The quit is queued before stopped is reported: a cycle still running then
                // re-arms the timer, and the loop must end before that timer's next tick.
                service.Run([this](ServiceThread& thread) { service_.Execute(thread); },
                            [&] {
                                signals->Stop();
                                loop_.PostQuit();
                            });
            });
        } catch (const std::exception& error) {
            eventLog.ReportError(NomeServico, std::string("Service failed on start: ") + error.what());
            signals->Stop();
            return 0;
        }
        // Every cycle runs here; the loop ends after the service has stopped and the cycle
        // that was running then has finished.
        loop_.Run();
        serviceThread.Join();
        control.Join();
    }
    return 0;
}

}  // namespace vr
