#include "service/ServiceInstaller.h"

#include <exception>
#include <string>
#include <utility>

#include "service/ServiceNames.h"

namespace vr {

ServiceInstaller::ServiceInstaller(Opener openServiceManager, std::filesystem::path executable,
                                   ResultMessages& messages)
    : openServiceManager_(std::move(openServiceManager)), executable_(std::move(executable)),
      messages_(messages) {}

// The exit code says whether the service ends in the state asked for: already there counts,
// while the message still shows the manager's refusal as it always did.
int ServiceInstaller::Install(bool silent) {
    return Perform(silent, "install", "Service installed successfully", [this](ServiceManager& manager) {
        try {
            manager.CreateService({NomeServico, NomeExibicaoServico, executable_});
        } catch (const ServiceAlreadyExists& error) {
            throw AlreadySo(error.what());
        }
    });
}

int ServiceInstaller::Uninstall(bool silent) {
    return Perform(silent, "uninstall", "Service uninstalled successfully", [](ServiceManager& manager) {
        try {
            manager.DeleteService(NomeServico);
        } catch (const ServiceDoesNotExist& error) {
            throw AlreadySo(error.what());
        }
    });
}

int ServiceInstaller::Perform(bool silent, const char* action, const char* success,
                              const std::function<void(ServiceManager&)>& operation) {
    const auto failure = [&](const char* message) {
        messages_.Failure(std::string("Service \"") + NomeExibicaoServico + "\" failed to " +
                          action + " with error: \"" + message + "\"");
    };
    std::unique_ptr<ServiceManager> manager;
    try {
        manager = openServiceManager_();
    } catch (const std::exception& error) {
        // Without a service manager there is nothing to install into: the error ends the
        // process as it stands, not as an installation result.
        messages_.Failure(error.what());
        return 1;
    }
    try {
        operation(*manager);
    } catch (const AlreadySo& error) {
        failure(error.what());
        return 0;
    } catch (const std::exception& error) {
        failure(error.what());
        return 1;
    }
    if (!silent) messages_.Information(success);
    return 0;
}

}  // namespace vr
