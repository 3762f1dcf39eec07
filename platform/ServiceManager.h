#pragma once

// Registration of the service with the operating system's service manager.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Error.h"

namespace vr {

// What the service manager is told about the service. It always runs alone in its own process,
// starts automatically with the system and runs under the system's own account.
struct ServiceRegistration {
    std::string name;
    std::string displayName;
    std::filesystem::path executable;  // full path; started without arguments
};

// What a service manager may know about the service beyond its registration: how it is
// described, restarted after a failure and held back at boot, and the event log's sources whose
// messages the executable holds. A manager applies what it can; the rest it leaves.
struct ServiceAdditions {
    std::string description;
    // One delay per failure in a row; the last one repeats from then on.
    std::vector<std::chrono::seconds> restartDelays;
    std::chrono::seconds failureCountReset{0};
    bool restartOnNonCrashFailures = false;  // also when the service stops itself with an error
    bool delayedStart = false;               // still automatic, once the boot's services run
    std::vector<std::string> eventSources;
};

// The service manager itself cannot be used (not running, or its configuration unusable).
class ServiceManagerUnavailable : public Error {
public:
    using Error::Error;
};

// What was asked is already so: the service is registered (asked to register it) or is not, or
// is already marked for removal (asked to remove it). The message is the manager's own refusal.
class ServiceAlreadyExists : public Error {
public:
    using Error::Error;
};
class ServiceDoesNotExist : public Error {
public:
    using Error::Error;
};

class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // Registers the service. Throws ServiceAlreadyExists when it already exists, vr::Error when
    // it cannot be registered.
    virtual void CreateService(const ServiceRegistration& service) = 0;
    // Removes the service's registration without stopping it when it runs. Throws
    // ServiceDoesNotExist when no such service exists, vr::Error when it cannot be removed.
    virtual void DeleteService(std::string_view name) = 0;

    // Applies the additions to the registered service `name` and registers its event sources
    // with `executable` as their message file. Never throws: a manager that refuses one of them
    // (or has none of them) leaves it out, since none is needed for the service to run.
    virtual void ApplyAdditions(std::string_view /*name*/, const std::filesystem::path& /*executable*/,
                                const ServiceAdditions& /*additions*/) noexcept {}
    // Removes the event sources that ApplyAdditions registered. Never throws.
    virtual void RemoveAdditions(const ServiceAdditions& /*additions*/) noexcept {}
};

// Opens the local service manager. Throws ServiceManagerUnavailable when it cannot be used.
std::unique_ptr<ServiceManager> OpenServiceManager();

}  // namespace vr
