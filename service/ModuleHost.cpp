// The service module's face towards the service host: what the host may start, watch and ask.

#include "service/ModuleHost.h"

#include <utility>

#include "service/UVevoveRazara.h"

namespace vr {

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
bool TModuleHost::LogEntryLost() const { return module_.LogEntryLost(); }

}  // namespace vr
