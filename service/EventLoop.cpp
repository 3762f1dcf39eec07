#include "service/EventLoop.h"

#include <algorithm>
#include <utility>

#include "common/Error.h"
#include "service/Timer.h"

namespace vr {

EventLoop::EventLoop(MonotonicClock& clock, ErrorHandler lastResort)
    : clock_(clock), lastResort_(std::move(lastResort)) {}

EventLoop::~EventLoop() {
    const std::lock_guard lock(mutex_);
    for (TTimer* timer : timers_) timer->Attach(nullptr, nullptr);
}

void EventLoop::Post(Message message) {
    {
        const std::lock_guard lock(mutex_);
        queue_.emplace_back(std::move(message));
    }
    wake_.notify_all();
}

void EventLoop::PostQuit() {
    {
        const std::lock_guard lock(mutex_);
        queue_.emplace_back(std::nullopt);
    }
    wake_.notify_all();
}

void EventLoop::Wake() {
    // Taking the lock orders this after Run has either looked at the timers (and then sleeps,
    // to be woken by the notification) or before it looks (and then sees the change).
    { const std::lock_guard lock(mutex_); }
    wake_.notify_all();
}

void EventLoop::SetErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }

void EventLoop::Attach(TTimer& timer) {
    const std::lock_guard lock(mutex_);
    if (std::find(timers_.begin(), timers_.end(), &timer) == timers_.end()) {
        timers_.push_back(&timer);
    }
    timer.Attach(this, &clock_);
}

void EventLoop::Detach(TTimer& timer) noexcept {
    const std::lock_guard lock(mutex_);
    const auto found = std::find(timers_.begin(), timers_.end(), &timer);
    if (found == timers_.end()) return;
    timers_.erase(found);
    timer.Attach(nullptr, nullptr);
}

void EventLoop::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!queue_.empty()) {
            std::optional<Message> message = std::move(queue_.front());
            queue_.pop_front();
            if (!message) return;
            busy_ = true;
            lock.unlock();
            Dispatch(*message);
            busy_ = false;
            lock.lock();
            continue;
        }
        const MonotonicClock::TimePoint now = clock_.Now();
        TTimer* due = nullptr;
        std::optional<MonotonicClock::TimePoint> next;
        for (TTimer* timer : timers_) {
            if (timer->TakeTick(now)) {
                due = timer;
                break;
            }
            const auto tick = timer->NextTick();
            if (tick && (!next || *tick < *next)) next = tick;
        }
        if (due != nullptr) {
            busy_ = true;
            lock.unlock();
            // Timers detach only on this thread, so `due` outlives its tick.
            Dispatch([due] { due->Trigger(); });
            busy_ = false;
            lock.lock();
        } else if (next) {
            clock_.WaitUntil(wake_, lock, *next);
        } else {
            wake_.wait(lock);
        }
    }
}

void EventLoop::ProcessMessages() {
    std::unique_lock lock(mutex_);
    while (!queue_.empty() && queue_.front().has_value()) {
        const Message message = std::move(*queue_.front());
        queue_.pop_front();
        lock.unlock();
        Dispatch(message);
        lock.lock();
    }
}

void EventLoop::Dispatch(const Message& message) noexcept {
    try {
        message();
    } catch (const std::exception& error) {
        HandleError(error);
    } catch (...) {
        HandleError(Error("erro desconhecido ao tratar um evento"));
    }
}

void EventLoop::HandleError(const std::exception& error) noexcept {
    if (!errorHandler_) {
        LastResort(error);
        return;
    }
    try {
        errorHandler_(error);
    } catch (const std::exception& failure) {
        LastResort(failure);
    } catch (...) {
        LastResort(Error("erro desconhecido no tratamento de erros"));
    }
}

void EventLoop::LastResort(const std::exception& error) noexcept {
    try {
        if (lastResort_) lastResort_(error);
    } catch (...) {
        // Nothing is left to report to.
    }
}

}  // namespace vr
