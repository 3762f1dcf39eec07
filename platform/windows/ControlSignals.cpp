#include "platform/ControlSignals.h"

#include <windows.h>

#include <string>

#include "common/Error.h"
#include "platform/windows/ControlChannel.h"
#include "platform/windows/WindowsText.h"

namespace vr {
namespace {

// Windows tells a service's process of a user logging off like any console program; by
// default that would end the process, and with it the service.
BOOL WINAPI IgnoreLogoff(DWORD event) { return event == CTRL_LOGOFF_EVENT ? TRUE : FALSE; }

}  // namespace

win::ControlChannel& win::ProcessControlChannel() {
    static ControlChannel channel;
    return channel;
}

// The control requests themselves arrive through the service control handler that ServiceMain
// registers; this side only waits for what it queues.
struct ControlSignals::Impl {
    win::ControlChannel& channel = win::ProcessControlChannel();
};

ControlSignals::ControlSignals() : impl_(std::make_unique<Impl>()) {
    if (!SetConsoleCtrlHandler(IgnoreLogoff, TRUE)) {
        throw Error("Falha ao preparar os sinais de controle (SetConsoleCtrlHandler): " +
                    win::SystemMessage(GetLastError()));
    }
}

ControlSignals::~ControlSignals() {
    SetConsoleCtrlHandler(IgnoreLogoff, FALSE);
    impl_->channel.Reset();
}

std::optional<std::uint32_t> ControlSignals::Wait() { return impl_->channel.Wait(); }

void ControlSignals::Stop() { impl_->channel.Close(); }

}  // namespace vr
