// The service module's lifecycle events and its face towards the service host.

#include <exception>
#include <utility>

#include "service/HostedService.h"
#include "service/ModuleHost.h"
#include "service/UVevoveRazara.h"

namespace vr {

void TSrvVevoveRazara::ServiceCreate(EventLoop& MainLoop) {
    mainLoop_ = &MainLoop;
    Timer.SetOnTimer([this] { TimerTimer(); });
    PrepareServiceTimer(Timer, MainLoop, [this](const std::exception& E) { ManipulaExcecoes(E); });
}

void TSrvVevoveRazara::ServiceExecute(ServiceThread& Sender) { ServeControlRequests(Timer, Sender); }

void TSrvVevoveRazara::ServiceDestroy() { Timer.SetEnabled(false); }

// A consultation lets the main loop's waiting events run between products, as the service has
// always done: the cycle runs on the main thread, and a long feed must not hold back what the
// loop has queued meanwhile (a timer change from the service thread, a stop being reported).
void TSrvVevoveRazara::ProcessaMensagens() {
    if (AoProgredir) AoProgredir();
    if (mainLoop_ != nullptr) mainLoop_->ProcessMessages();
}

TTimer& TModuleHost::CycleTimer() { return module_.Timer; }

void TModuleHost::Execute(ServiceThread& thread) { module_.ServiceExecute(thread); }

TResultadoCiclo TModuleHost::CycleOutcome() const { return module_.ResultadoCiclo; }

void TModuleHost::SetCycleOutcome(TResultadoCiclo outcome) { module_.ResultadoCiclo = outcome; }

void TModuleHost::SetCycleObserver(CycleObserver observer) { module_.AoFimDoCiclo = std::move(observer); }

void TModuleHost::SetProgressHook(std::function<void()> hook) { module_.AoProgredir = std::move(hook); }

void TModuleHost::SetStopPending(std::function<bool()> stopPending) {
    module_.Connvelmora.SetStopPending(std::move(stopPending));
}

std::vector<TVerificacao> TModuleHost::RunChecks() { return module_.VerificaInstalacao(); }
bool TModuleHost::LogEntryLost() const { return module_.UltimaEntradaPerdida(); }

}  // namespace vr
