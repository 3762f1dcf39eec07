#pragma once

#include "service/HostedService.h"
#include "service/UVevoveRazara.h"

namespace vr {

// The service module as the service host drives it.
class TModuleHost final : public HostedService {
public:
    explicit TModuleHost(TSrvVevoveRazara& module) : module_(module) {}

    TTimer& CycleTimer() override;
    void Execute(ServiceThread& thread) override;
    TResultadoCiclo CycleOutcome() const override;
    void SetCycleOutcome(TResultadoCiclo outcome) override;
    void SetCycleObserver(CycleObserver observer) override;
    void SetProgressHook(std::function<void()> hook) override;
    void SetStopPending(std::function<bool()> stopPending) override;
    std::vector<TVerificacao> RunChecks() override;
    bool LogEntryLost() const override;

private:
    TSrvVevoveRazara& module_;
};

}  // namespace vr
