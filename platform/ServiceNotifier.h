#pragma once

// Status reports from a running service to the service manager that started it.

#include <memory>
#include <string>

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
    virtual void Report(ServiceState state) = 0;
};

// Connects to the service manager that started this process as the service serviceName.
// Throws vr::Error, with a message for the operators, when the process was not started by a
// service manager.
std::unique_ptr<ServiceNotifier> ConnectServiceManager(const std::string& serviceName);

}  // namespace vr
