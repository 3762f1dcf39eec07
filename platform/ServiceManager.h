#pragma once

// Registration of the service with the operating system's service manager.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "common/Error.h"

namespace vr {

// What the service manager is told about the service. It always runs alone in its own process,
// starts automatically with the system and runs under the system's own account.
struct ServiceRegistration {
    std::string name;
    std::string displayName;
    std::filesystem::path executable;  // full path; started without arguments
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
};

// Opens the local service manager. Throws ServiceManagerUnavailable when it cannot be used.
std::unique_ptr<ServiceManager> OpenServiceManager();

}  // namespace vr
