#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/ResultMessages.h"
#include "platform/ServiceManager.h"

namespace vr {

// Registers and removes the service, telling the result as one message.
class ServiceInstaller {
public:
    using Opener = std::function<std::unique_ptr<ServiceManager>()>;

    ServiceInstaller(Opener openServiceManager, std::filesystem::path executable,
                     ResultMessages& messages);

    // The process's exit code: 0, also after a failure message; 1 when the service manager
    // itself cannot be used. `silent` suppresses only the success message.
    int Install(bool silent);
    int Uninstall(bool silent);

private:
    int Perform(bool silent, const char* action, const char* success,
                const std::function<void(ServiceManager&)>& operation);

    Opener openServiceManager_;
    std::filesystem::path executable_;
    ResultMessages& messages_;
};

}  // namespace vr
