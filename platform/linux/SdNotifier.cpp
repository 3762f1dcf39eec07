#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include "common/Error.h"
#include "platform/ServiceNotifier.h"

namespace vr {
namespace {

const char* StateText(ServiceState state) {
    switch (state) {
        case ServiceState::Stopped: return "STATUS=stopped";
        case ServiceState::StartPending: return "STATUS=start pending";
        case ServiceState::StopPending: return "STOPPING=1\nSTATUS=stop pending";
        case ServiceState::Running: return "READY=1\nSTATUS=running";
        case ServiceState::ContinuePending: return "STATUS=continue pending";
        case ServiceState::PausePending: return "STATUS=pause pending";
        case ServiceState::Paused: return "STATUS=paused";
    }
    return "STATUS=unknown";
}

// systemd's notify protocol: one datagram per report to the socket named in NOTIFY_SOCKET.
class SdNotifier final : public ServiceNotifier {
public:
    void Report(ServiceState state) override {
        const int result = sd_notify(0, StateText(state));
        if (result > 0) return;
        if (result == 0) throw Error("NOTIFY_SOCKET não está mais definido no ambiente");
        throw Error("sd_notify: " + std::generic_category().message(-result));
    }
};

}  // namespace

// systemd knows the service by its unit, which started this process: the name is not needed.
std::unique_ptr<ServiceNotifier> ConnectServiceManager(const std::string& /*serviceName*/) {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    if (socket == nullptr || *socket == '\0') {
        throw Error(
            "Não foi possível conectar ao gerenciador de serviços: o processo não foi iniciado "
            "pelo systemd (NOTIFY_SOCKET ausente)");
    }
    return std::make_unique<SdNotifier>();
}

}  // namespace vr
