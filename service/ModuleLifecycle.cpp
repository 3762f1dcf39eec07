// The service module's lifecycle events and its face towards the service host.

#include <exception>

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

void TSrvVevoveRazara::ProcessaMensagens() {
    if (mainLoop_ != nullptr) mainLoop_->ProcessMessages();
}

TTimer& TModuleHost::CycleTimer() { return module_.Timer; }

void TModuleHost::Execute(ServiceThread& thread) { module_.ServiceExecute(thread); }

TResultadoCiclo TModuleHost::CycleOutcome() const { return module_.ResultadoCiclo; }

void TModuleHost::SetCycleOutcome(TResultadoCiclo outcome) { module_.ResultadoCiclo = outcome; }

bool TModuleHost::LogEntryLost() const { return module_.UltimaEntradaPerdida(); }

}  // namespace vr
