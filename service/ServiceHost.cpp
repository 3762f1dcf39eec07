#include "service/ServiceHost.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "platform/ControlSignals.h"
#include "service/CycleReport.h"
#include "service/NotableCycles.h"
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

// The hooks that the module keeps refer to this run's notifier: they go when the run ends.
class HookReset {
public:
    explicit HookReset(HostedService& service) : service_(service) {}
    ~HookReset() {
        service_.SetCycleObserver({});
        service_.SetProgressHook({});
        service_.SetStopPending({});
    }
    HookReset(const HookReset&) = delete;
    HookReset& operator=(const HookReset&) = delete;

private:
    HostedService& service_;
};

void TellStatus(EventLog& eventLog, const std::function<void()>& send) {
    try {
        send();
    } catch (const std::exception& error) {
        eventLog.ReportError(NomeServico, std::string("Falha ao informar o estado do serviço: ") + error.what());
    }
}

// The watchdog hears from the main thread only: from an idle loop through a timer at half its
// interval, and from inside a cycle wherever the cycle makes progress. Between two progress
// points lies at most one bounded wait (the feed request being the longest), so a unit's
// WatchdogSec= well above that bound never ends a healthy cycle. Without a watchdog nothing
// here runs.
void ArmWatchdog(TTimer& timer, ServiceNotifier& notifier, EventLoop& loop, HostedService& service) {
    const std::chrono::microseconds watchdog = notifier.WatchdogInterval();
    if (watchdog.count() <= 0) return;
    const auto half = std::max<std::chrono::milliseconds::rep>(
        1, std::chrono::duration_cast<std::chrono::milliseconds>(watchdog).count() / 2);
    using Steady = std::chrono::steady_clock;
    auto lastPing = std::make_shared<Steady::time_point>(Steady::now());
    const auto ping = [&notifier, lastPing, half](bool always) {
        const Steady::time_point now = Steady::now();
        // Progress points can come thousands of times a minute: tell only what is needed.
        if (!always && now - *lastPing < std::chrono::milliseconds(half) / 4) return;
        *lastPing = now;
        notifier.Watchdog();
    };
    timer.SetInterval(static_cast<std::uint32_t>(
        std::min<std::chrono::milliseconds::rep>(half, std::numeric_limits<std::uint32_t>::max())));
    timer.SetOnTimer([ping] { ping(true); });
    loop.Attach(timer);
    timer.SetEnabled(true);
    service.SetProgressHook([ping] { ping(false); });
    notifier.Watchdog();
}

// Every cycle's account goes to the system's log (the notable ones marked so) and its summary to
// the service manager.
void ReportCycles(HostedService& service, EventLog& eventLog, ServiceNotifier& notifier, NotableCycles& notable) {
    service.SetCycleObserver([&eventLog, &notifier, &notable](const TRelatorioCiclo& report) {
        CycleEntry entry = CycleLogEntry(report);
        entry.notable = notable.Admit(report);
        eventLog.ReportCycle(NomeServico, entry);
        TellStatus(eventLog, [&] { notifier.SetSummary(CycleSummary(report)); });
    });
}

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
        case CommandLine::Mode::Configure: return installer.Configure();
        case CommandLine::Mode::Unconfigure: return installer.Unconfigure();
        case CommandLine::Mode::Help:
            environment_.messages->Information(
                UsageText(environment_.processName.empty() ? "VevoveRazara" : environment_.processName));
            return 0;
        case CommandLine::Mode::Version: environment_.messages->Information(VersionText()); return 0;
        case CommandLine::Mode::Check: return RunChecks();
        case CommandLine::Mode::Once: return RunOnce();
        case CommandLine::Mode::Service: return RunAsService();
    }
    return 0;
}

int ServiceHost::RunChecks() {
    const std::vector<TVerificacao> checks = service_.RunChecks();
    const bool passed =
        !checks.empty() && std::all_of(checks.begin(), checks.end(), [](const TVerificacao& c) { return c.ok; });
    const std::string text = TextoVerificacoes(checks);
    if (passed) {
        environment_.messages->Information(text);
    } else {
        environment_.messages->Failure(text);
    }
    return passed ? 0 : 1;
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
    const HookReset hooks(service_);
    NotableCycles notable;
    service_.SetStopPending([&service] { return service.StopPending(); });
    ReportCycles(service_, eventLog, *notifier, notable);

    TTimer watchdogTimer;
    ArmWatchdog(watchdogTimer, *notifier, loop_, service_);
    if (!ServeUntilStopped(service, *signals, *notifier)) return 0;
    watchdogTimer.SetEnabled(false);
    TellStatus(eventLog, [&] { notifier->SetStatusText("stopped"); });
    return 0;
}

bool ServiceHost::ServeUntilStopped(ServiceThread& service, ControlSignals& signals, ServiceNotifier& notifier) {
    EventLog& eventLog = *environment_.eventLog;
    JoiningThread control;
    JoiningThread serviceThread;
    try {
        control.Start([&] {
            while (const std::optional<std::uint32_t> code = signals.Wait()) service.Post(*code);
        });
        serviceThread.Start([&] {
            // The quit is queued before stopped is reported: a cycle still running then
            // re-arms the timer, and the loop must end before that timer's next tick.
            service.Run([this](ServiceThread& thread) { service_.Execute(thread); },
                        [&] {
                            signals.Stop();
                            loop_.PostQuit();
                            // Stopped is told only when the process really ends.
                            if (loop_.Busy()) {
                                TellStatus(eventLog, [&] {
                                    notifier.SetStatusText("stopping: waiting for the update cycle to finish");
                                });
                            }
                        });
        });
    } catch (const std::exception& error) {
        eventLog.ReportError(NomeServico, std::string("Service failed on start: ") + error.what());
        signals.Stop();
        return false;
    }
    // Every cycle runs here; the loop ends after the service has stopped and the cycle that
    // was running then has finished.
    loop_.Run();
    serviceThread.Join();
    control.Join();
    return true;
}

}  // namespace vr
