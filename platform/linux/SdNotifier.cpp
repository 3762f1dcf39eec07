#include <systemd/sd-daemon.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
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

bool ShowsSummary(ServiceState state) {
    return state == ServiceState::Running || state == ServiceState::Paused;
}

void Send(const std::string& text) {
    const int result = sd_notify(0, text.c_str());
    if (result > 0) return;
    if (result == 0) throw Error("NOTIFY_SOCKET não está mais definido no ambiente");
    throw Error("sd_notify: " + std::generic_category().message(-result));
}

// systemd's notify protocol: one datagram per report to the socket named in NOTIFY_SOCKET.
// The state comes from the service thread, the summary from the main thread.
class SdNotifier final : public ServiceNotifier {
public:
    SdNotifier() {
        std::uint64_t usec = 0;
        // Asked for only by a unit with WatchdogSec=, and then only for this very process.
        if (sd_watchdog_enabled(0, &usec) > 0) watchdog_ = std::chrono::microseconds(usec);
    }

    void Report(ServiceState state) override {
        const std::lock_guard lock(mutex_);
        state_ = state;
        // systemd watches the process: it is stopped when it ends, which the host tells.
        if (state == ServiceState::Stopped) return;
        SendStateLocked();
    }

    void SetSummary(std::string_view summary) override {
        const std::lock_guard lock(mutex_);
        summary_ = summary;
        if (ShowsSummary(state_)) SendStateLocked();
    }

    void SetStatusText(std::string_view text) override {
        const std::lock_guard lock(mutex_);
        Send("STATUS=" + std::string(text));
    }

    std::chrono::microseconds WatchdogInterval() const override { return watchdog_; }

    void Watchdog() noexcept override {
        // A lost ping is made good by the next one; there is nobody to tell.
        sd_notify(0, "WATCHDOG=1");
    }

private:
    void SendStateLocked() {
        std::string text = StateText(state_);
        if (ShowsSummary(state_) && !summary_.empty()) text += "; " + summary_;
        Send(text);
    }

    std::mutex mutex_;  // keeps each datagram's state and summary together
    ServiceState state_ = ServiceState::StartPending;
    std::string summary_;
    std::chrono::microseconds watchdog_{0};
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
