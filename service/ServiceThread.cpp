#include "service/ServiceThread.h"

#include <string>

#include "platform/ControlSignals.h"
#include "service/ServiceNames.h"

namespace vr {

ServiceThread::ServiceThread(ServiceNotifier& notifier, EventLog& eventLog)
    : notifier_(notifier), eventLog_(eventLog) {}

void ServiceThread::Post(std::uint32_t code) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(code);
    }
    posted_.notify_one();
}

void ServiceThread::Run(const Execute& execute, const std::function<void()>& ending) {
    Report(ServiceState::StartPending);
    Report(ServiceState::Running);
    try {
        execute(*this);
    } catch (const std::exception& error) {
        eventLog_.ReportError(NomeServico, std::string("Service failed on execute: ") + error.what());
    } catch (...) {
        eventLog_.ReportError(NomeServico, "Service failed on execute: erro desconhecido");
    }
    terminated_ = true;
    stopPending_.store(true, std::memory_order_release);
    ProcessRequests(false);
    if (ending) ending();
    Report(ServiceState::Stopped);
}

void ServiceThread::ProcessRequests(bool waitForMessage) {
    for (;;) {
        if (terminated_ && waitForMessage) return;
        std::uint32_t code = 0;
        {
            std::unique_lock lock(mutex_);
            if (waitForMessage) posted_.wait(lock, [this] { return !queue_.empty(); });
            if (queue_.empty()) return;
            code = queue_.front();
            queue_.pop_front();
        }
        Handle(code);
    }
}

void ServiceThread::Handle(std::uint32_t code) {
    switch (code) {
        case ControlCode::Stop:
        case ControlCode::Shutdown:
            stopPending_.store(true, std::memory_order_release);
            Report(ServiceState::StopPending);
            terminated_ = true;
            break;
        case ControlCode::Pause:
            // Once stopping, pausing or continuing would only report a state the service can no
            // longer be in.
            if (terminated_) break;
            Report(ServiceState::PausePending);
            Report(ServiceState::Paused);
            break;
        case ControlCode::Continue:
            if (terminated_) break;
            Report(ServiceState::ContinuePending);
            Report(ServiceState::Running);
            break;
        case ControlCode::Interrogate: Report(state_); break;
        default: break;
    }
}

void ServiceThread::Report(ServiceState state) {
    state_ = state;
    try {
        notifier_.Report(state);
    } catch (const std::exception& error) {
        eventLog_.ReportError(NomeServico,
                              std::string("Falha ao informar o estado do serviço: ") + error.what());
    }
}

}  // namespace vr
