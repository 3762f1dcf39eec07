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

int ServiceInstaller::Install(bool silent) {
    return Perform(silent, "install", "Service installed successfully", [this](ServiceManager& manager) {
        manager.CreateService({NomeServico, NomeExibicaoServico, executable_});
    });
}

int ServiceInstaller::Uninstall(bool silent) {
    return Perform(silent, "uninstall", "Service uninstalled successfully",
                   [](ServiceManager& manager) { manager.DeleteService(NomeServico); });
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
    } catch (const std::exception& error) {
        failure(error.what());
        return 0;
    }
    if (!silent) messages_.Information(success);
    return 0;
}

}  // namespace vr
