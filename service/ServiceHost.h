#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/EventLog.h"
#include "platform/ResultMessages.h"
#include "platform/ServiceManager.h"
#include "platform/ServiceNotifier.h"
#include "service/CommandLine.h"
#include "service/EventLoop.h"
#include "service/HostedService.h"

namespace vr {

class ControlSignals;
class ServiceThread;

// What the host takes from its surroundings; the program entry passes the platform's, tests
// their own.
struct HostEnvironment {
    EventLog* eventLog = nullptr;        // required
    std::string processName;             // the executable's file name: source of process entries
    std::filesystem::path executable;    // full path, registered with the service manager
    ResultMessages* messages = nullptr;  // required: results of install, uninstall and ONCE
    std::function<std::unique_ptr<ServiceManager>()> openServiceManager = OpenServiceManager;
    std::function<std::unique_ptr<ServiceNotifier>(const std::string&)> connectServiceManager =
        ConnectServiceManager;
};

// Carries out what the command line asks: registration, removal, one cycle in the foreground,
// or the run as a service, in which the main thread runs `loop` (and so every cycle), a control
// thread hands the service manager's requests to the service thread, and the service thread
// runs the service's work.
class ServiceHost {
public:
    ServiceHost(HostedService& service, EventLoop& loop, HostEnvironment environment);

    // Returns the process's exit code.
    int Run(const CommandLine& commandLine);

    int RunAsService();
    int RunOnce();
    // The support checks: exit code 0 only when every one passes.
    int RunChecks();

private:
    // Runs the control and service threads beside the main loop until the service has stopped;
    // false when they could not be started (reported).
    bool ServeUntilStopped(ServiceThread& service, ControlSignals& signals, ServiceNotifier& notifier);

    HostedService& service_;
    EventLoop& loop_;
    HostEnvironment environment_;
};

}  // namespace vr
