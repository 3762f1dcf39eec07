#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/EventLog.h"
#include "platform/ServiceNotifier.h"

namespace vr {

// The service thread: receives the control codes that the control thread posts, acts on them
// and reports every state change to the service manager.
class ServiceThread {
public:
    using Execute = std::function<void(ServiceThread&)>;

    ServiceThread(ServiceNotifier& notifier, EventLog& eventLog);
    ServiceThread(const ServiceThread&) = delete;
    ServiceThread& operator=(const ServiceThread&) = delete;

    // Any thread: queues a control code for the service thread.
    void Post(std::uint32_t code);

    // The service's life on the calling thread: start pending, running, `execute` (the
    // service's work, which returns once told to terminate), the codes still queued, `ending`,
    // stopped. `ending` runs before stopped is reported, so that whatever the service manager
    // does on hearing it finds the ending under way.
    void Run(const Execute& execute, const std::function<void()>& ending = {});

    // For `execute`, on the service thread.
    bool Terminated() const { return terminated_; }
    // Any thread: whether a stop or a shutdown has been taken, or the service's work has ended.
    bool StopPending() const { return stopPending_.load(std::memory_order_acquire); }
    // Handles queued control codes: waiting for them until told to terminate, or without
    // waiting only those already queued.
    void ProcessRequests(bool waitForMessage);

private:
    void Handle(std::uint32_t code);
    void Report(ServiceState state);

    ServiceNotifier& notifier_;
    EventLog& eventLog_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::uint32_t> queue_;
    // Set by the service thread, read by the update cycle on the main thread.
    std::atomic<bool> stopPending_{false};
    // Service thread only.
    bool terminated_ = false;
    ServiceState state_ = ServiceState::Stopped;
};

}  // namespace vr
