#pragma once

#include <functional>
#include <vector>

#include "service/CycleOutcome.h"
#include "service/EventLoop.h"
#include "service/ServiceThread.h"
#include "service/SupportChecks.h"
#include "service/Timer.h"

namespace vr {

// What the service host needs of the service module: the timer whose ticks run the update
// cycle, the service thread's work, and the outcome of the last cycle.
class HostedService {
public:
    virtual ~HostedService() = default;
    virtual TTimer& CycleTimer() = 0;
    // ServiceExecute: on the service thread, returns once the service is told to stop.
    virtual void Execute(ServiceThread& thread) = 0;
    virtual TResultadoCiclo CycleOutcome() const = 0;
    virtual void SetCycleOutcome(TResultadoCiclo outcome) = 0;

    // Told on the main thread at the end of every cycle, after the timer is re-armed.
    using CycleObserver = std::function<void(const TRelatorioCiclo&)>;
    virtual void SetCycleObserver(CycleObserver /*observer*/) {}
    // Called on the main thread wherever a cycle makes progress (a consultation, a write), so
    // that a watchdog hears of a long cycle that is still healthy. Must be cheap.
    virtual void SetProgressHook(std::function<void()> /*hook*/) {}
    // Asked by the cycle on the main thread, before it reconnects to the database: true once a
    // stop or shutdown is pending, so that a lost connection ends the cycle instead.
    virtual void SetStopPending(std::function<bool()> /*stopPending*/) {}
    // The support checks, on the main thread, outside any cycle.
    virtual std::vector<TVerificacao> RunChecks() { return {}; }
    // True when the last entry of the activity log could not be written.
    virtual bool LogEntryLost() const { return false; }
};

// The steps of the module's lifecycle events, kept apart from the module so that they can be
// exercised with any timer.

// Creation, on the main thread: the timer disarmed with the first interval and attached to the
// main loop, and `onError` handling every error that leaves one of the loop's events.
void PrepareServiceTimer(TTimer& timer, EventLoop& loop, EventLoop::ErrorHandler onError);
// Execution, on the service thread: arms the timer, serves control requests until told to
// terminate, disarms the timer.
void ServeControlRequests(TTimer& timer, ServiceThread& thread);

}  // namespace vr
