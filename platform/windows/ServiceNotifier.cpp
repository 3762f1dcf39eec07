#include "platform/ServiceNotifier.h"

#include <windows.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "common/Error.h"
#include "platform/EventLog.h"
#include "platform/ExecutablePath.h"
#include "platform/windows/ControlChannel.h"
#include "platform/windows/ServiceStatus.h"
#include "platform/windows/WindowsText.h"

namespace vr {
namespace win {

SERVICE_STATUS ServiceStatusSequence::Next(ServiceState state) {
    DWORD current = SERVICE_STOPPED;
    bool pending = false;
    switch (state) {
        case ServiceState::Stopped: current = SERVICE_STOPPED; break;
        case ServiceState::StartPending: current = SERVICE_START_PENDING; pending = true; break;
        case ServiceState::StopPending: current = SERVICE_STOP_PENDING; pending = true; break;
        case ServiceState::Running: current = SERVICE_RUNNING; break;
        case ServiceState::ContinuePending: current = SERVICE_CONTINUE_PENDING; pending = true; break;
        case ServiceState::PausePending: current = SERVICE_PAUSE_PENDING; pending = true; break;
        case ServiceState::Paused: current = SERVICE_PAUSED; break;
    }
    checkPoint_ = pending && last_ == state ? checkPoint_ + 1 : 0;
    last_ = state;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = current;
    status.dwControlsAccepted =
        state == ServiceState::StartPending
            ? 0
            : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = checkPoint_;
    status.dwWaitHint = 5000;
    return status;
}

}  // namespace win

namespace {

// StartServiceCtrlDispatcherW calls ServiceMain and the control handler as plain callbacks, so
// they meet ConnectServiceManager and the notifier here, once per process.
struct Dispatch {
    std::mutex mutex;
    std::condition_variable changed;
    std::string serviceName;                 // set before the dispatcher starts
    SERVICE_STATUS_HANDLE status = nullptr;  // set once ServiceMain has registered the handler
    std::optional<std::string> failure;      // the dispatcher or the registration failed
    bool dispatcherEnded = false;
    bool stopped = false;  // the notifier has reported stopped: ServiceMain may return
};

Dispatch& Shared() {
    static Dispatch dispatch;
    return dispatch;
}

void WINAPI ControlHandler(DWORD control) { win::ProcessControlChannel().Post(control); }

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    Dispatch& dispatch = Shared();
    const SERVICE_STATUS_HANDLE status =
        RegisterServiceCtrlHandlerW(win::Widen(dispatch.serviceName).c_str(), ControlHandler);
    if (status == nullptr) {
        const std::string message = win::SystemMessage(GetLastError());
        OpenSystemEventLog()->ReportError(dispatch.serviceName, message);
        {
            const std::lock_guard lock(dispatch.mutex);
            dispatch.failure = message;
        }
        dispatch.changed.notify_all();
        return;
    }
    std::unique_lock lock(dispatch.mutex);
    dispatch.status = status;
    dispatch.changed.notify_all();
    // The service runs on the host's threads; this service main only holds the service open
    // for the dispatcher until the notifier has reported it stopped.
    dispatch.changed.wait(lock, [&] { return dispatch.stopped; });
}

// The dispatcher thread: returns once the service has stopped, or with an error when the
// process was not started by the service manager (error 1063, under Wine after some seconds).
void RunDispatcher() {
    Dispatch& dispatch = Shared();
    std::wstring name = win::Widen(dispatch.serviceName);
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
    const bool dispatched = StartServiceCtrlDispatcherW(table) != FALSE;
    const DWORD error = dispatched ? NO_ERROR : GetLastError();
    {
        const std::lock_guard lock(dispatch.mutex);
        if (!dispatched) dispatch.failure = win::SystemMessage(error);
        dispatch.dispatcherEnded = true;
    }
    dispatch.changed.notify_all();
}

std::string ExecutableFileName() {
    try {
        return win::Narrow(ExecutablePath().filename().wstring());
    } catch (const std::exception&) {
        return "VevoveRazara.exe";
    }
}

class ScmNotifier final : public ServiceNotifier {
public:
    ScmNotifier(std::thread dispatcher, SERVICE_STATUS_HANDLE status)
        : dispatcher_(std::move(dispatcher)), status_(status) {}

    ~ScmNotifier() override {
        Dispatch& dispatch = Shared();
        if (!reportedStopped_) {
            // The host ends without having stopped the service: the manager must not go on
            // waiting for it, and ServiceMain must return for the dispatcher to end.
            try {
                Report(ServiceState::Stopped);
            } catch (const std::exception&) {
                // Released all the same; nobody is left to tell.
            }
        }
        dispatcher_.join();
        std::optional<std::string> failure;
        {
            const std::lock_guard lock(dispatch.mutex);
            failure = dispatch.failure;
        }
        if (failure) OpenSystemEventLog()->ReportError(ExecutableFileName(), *failure);
    }
    ScmNotifier(const ScmNotifier&) = delete;
    ScmNotifier& operator=(const ScmNotifier&) = delete;

    void Report(ServiceState state) override {
        SERVICE_STATUS status = sequence_.Next(state);
        const bool reported = SetServiceStatus(status_, &status) != FALSE;
        const DWORD error = reported ? NO_ERROR : GetLastError();
        if (state == ServiceState::Stopped) {
            reportedStopped_ = true;
            Release();
        }
        if (!reported) throw Error(win::SystemMessage(error));
    }

private:
    static void Release() {
        Dispatch& dispatch = Shared();
        {
            const std::lock_guard lock(dispatch.mutex);
            dispatch.stopped = true;
        }
        dispatch.changed.notify_all();
    }

    std::thread dispatcher_;
    SERVICE_STATUS_HANDLE status_;
    win::ServiceStatusSequence sequence_;
    bool reportedStopped_ = false;
};

}  // namespace

std::unique_ptr<ServiceNotifier> ConnectServiceManager(const std::string& serviceName) {
    Dispatch& dispatch = Shared();
    {
        const std::lock_guard lock(dispatch.mutex);
        dispatch.serviceName = serviceName;
    }
    std::thread dispatcher(RunDispatcher);
    std::unique_lock lock(dispatch.mutex);
    dispatch.changed.wait(lock, [&] {
        return dispatch.status != nullptr || dispatch.failure || dispatch.dispatcherEnded;
    });
    if (dispatch.status != nullptr) {
        const SERVICE_STATUS_HANDLE status = dispatch.status;
        lock.unlock();
        return std::make_unique<ScmNotifier>(std::move(dispatcher), status);
    }
    const std::string failure =
        dispatch.failure.value_or("o gerenciador de serviços encerrou sem iniciar o serviço");
    const bool ended = dispatch.dispatcherEnded;
    lock.unlock();
    // After a failed registration the dispatcher may wait for a service that never reports;
    // the process ends without it.
    if (ended) {
        dispatcher.join();
    } else {
        dispatcher.detach();
    }
    throw Error(failure);
}

}  // namespace vr
