#pragma once

// Status reports from a running service to the service manager that started it.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace vr {

enum class ServiceState {
    Stopped,
    StartPending,
    StopPending,
    Running,
    ContinuePending,
    PausePending,
    Paused,
};

class ServiceNotifier {
public:
    virtual ~ServiceNotifier() = default;
    // Reports the service's current state. Throws vr::Error when the report cannot be sent.
    // Stopped means the service takes no more requests; where the service manager watches the
    // process itself (systemd), the process's own end is told by SetStatusText instead.
    virtual void Report(ServiceState state) = 0;

    // Where the service manager shows a line of text about the service (systemd's STATUS),
    // these carry it; elsewhere they do nothing. Throw vr::Error when the text cannot be sent.
    // The account of the last cycle, shown after the state while running or paused.
    virtual void SetSummary(std::string_view /*summary*/) {}
    // A text shown in place of the state, at once.
    virtual void SetStatusText(std::string_view /*text*/) {}

    // How often the service manager wants to hear that the process still makes progress; zero
    // when it does not watch.
    virtual std::chrono::microseconds WatchdogInterval() const { return std::chrono::microseconds{0}; }
    // Tells the service manager that the process makes progress. Any thread; never throws.
    virtual void Watchdog() noexcept {}
};

// Connects to the service manager that started this process as the service serviceName.
// Throws vr::Error, with a message for the operators, when the process was not started by a
// service manager.
std::unique_ptr<ServiceNotifier> ConnectServiceManager(const std::string& serviceName);

}  // namespace vr
