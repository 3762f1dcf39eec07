#include "service/ServiceInstaller.h"

#include <chrono>
#include <exception>
#include <string>
#include <utility>

#include "service/ServiceNames.h"

using namespace std::chrono_literals;

namespace vr {

// Decided here alone, whoever registers the service (/INSTALL or the MSI through /CONFIGURE).
// A crashed or failed service comes back by itself; a day without failures starts the count
// again. The delayed start lets the store's Firebird server and the network come up first.
ServiceAdditions ServiceInstaller::Additions() const {
    ServiceAdditions additions;
    additions.description =
        "Mantém a classificação fiscal dos produtos da loja atualizada a partir do serviço de "
        "classificação fiscal.";
    additions.restartDelays = {30s, 30s, 5min};
    additions.failureCountReset = 24h;
    additions.restartOnNonCrashFailures = true;
    additions.delayedStart = true;
    // The host writes under both names (the process's own entries under the file's name).
    const std::u8string file = executable_.filename().u8string();
    additions.eventSources = {NomeServico, std::string(file.begin(), file.end())};
    return additions;
}

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
        manager.ApplyAdditions(NomeServico, executable_, Additions());
    });
}

int ServiceInstaller::Uninstall(bool silent) {
    return Perform(silent, "uninstall", "Service uninstalled successfully", [this](ServiceManager& manager) {
        // The sources go with the service, also with one already gone, never without it.
        try {
            manager.DeleteService(NomeServico);
        } catch (const ServiceDoesNotExist& error) {
            manager.RemoveAdditions(Additions());
            throw AlreadySo(error.what());
        }
        manager.RemoveAdditions(Additions());
    });
}

// The installer's steps run without a reader: no message either way, the exit code alone.
int ServiceInstaller::Configure() {
    try {
        openServiceManager_()->ApplyAdditions(NomeServico, executable_, Additions());
    } catch (const std::exception&) {
        return 1;
    }
    return 0;
}

int ServiceInstaller::Unconfigure() {
    try {
        openServiceManager_()->RemoveAdditions(Additions());
    } catch (const std::exception&) {
        return 1;
    }
    return 0;
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
