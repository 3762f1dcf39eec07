#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "common/Error.h"
#include "platform/ResultMessages.h"
#include "platform/ServiceManager.h"

namespace vr {

// Registers and removes the service, telling the result as one message.
class ServiceInstaller {
public:
    using Opener = std::function<std::unique_ptr<ServiceManager>()>;

    ServiceInstaller(Opener openServiceManager, std::filesystem::path executable,
                     ResultMessages& messages);

    // The process's exit code: 0 when the service ends as asked (registered, or already
    // registered; removed, or already absent), 1 otherwise. A failure shows its message also
    // when the state was already so; `silent` suppresses only the success message.
    int Install(bool silent);
    int Uninstall(bool silent);
    // What the service manager knows beyond the registration (ServiceAdditions), added to or
    // withdrawn from a registration made by an installer: no message, exit code 1 only when the
    // service manager cannot be opened. Install and Uninstall do the same on their own.
    int Configure();
    int Unconfigure();

    ServiceAdditions Additions() const;

private:
    // The state asked for was already there.
    class AlreadySo : public Error {
    public:
        using Error::Error;
    };

    int Perform(bool silent, const char* action, const char* success,
                const std::function<void(ServiceManager&)>& operation);

    Opener openServiceManager_;
    std::filesystem::path executable_;
    ResultMessages& messages_;
};

}  // namespace vr
