#include "service/Timer.h"

#include <chrono>
#include <utility>

#include "service/EventLoop.h"

namespace vr {

TTimer::~TTimer() {
    EventLoop* loop = nullptr;
    {
        const std::lock_guard lock(mutex_);
        loop = loop_;
    }
    if (loop != nullptr) loop->Detach(*this);
}

bool TTimer::Enabled() const {
    const std::lock_guard lock(mutex_);
    return enabled_;
}

void TTimer::SetEnabled(bool enabled) {
    EventLoop* loop = nullptr;
    {
        const std::lock_guard lock(mutex_);
        if (enabled == enabled_) return;
        enabled_ = enabled;
        RestartLocked();
        loop = loop_;
    }
    // Outside our lock: the loop takes its own lock before ours.
    if (loop != nullptr) loop->Wake();
}

std::uint32_t TTimer::Interval() const {
    const std::lock_guard lock(mutex_);
    return interval_;
}

void TTimer::SetInterval(std::uint32_t milliseconds) {
    EventLoop* loop = nullptr;
    {
        const std::lock_guard lock(mutex_);
        if (milliseconds == interval_) return;
        interval_ = milliseconds;
        RestartLocked();
        loop = loop_;
    }
    if (loop != nullptr) loop->Wake();
}

void TTimer::SetOnTimer(Handler handler) {
    const std::lock_guard lock(mutex_);
    onTimer_ = std::move(handler);
}

void TTimer::Trigger() {
    Handler handler;
    {
        const std::lock_guard lock(mutex_);
        handler = onTimer_;
    }
    // The handler re-arms or disarms this timer, so it runs without our lock.
    if (handler) handler();
}

void TTimer::Attach(EventLoop* loop, MonotonicClock* clock) {
    const std::lock_guard lock(mutex_);
    loop_ = loop;
    clock_ = clock;
    RestartLocked();
}

bool TTimer::TicksLocked() const {
    return enabled_ && interval_ > 0 && onTimer_ && clock_ != nullptr;
}

void TTimer::RestartLocked() {
    if (TicksLocked()) deadline_ = clock_->Now() + std::chrono::milliseconds(interval_);
}

std::optional<TTimer::TimePoint> TTimer::NextTick() const {
    const std::lock_guard lock(mutex_);
    if (!TicksLocked()) return std::nullopt;
    return deadline_;
}

bool TTimer::TakeTick(TimePoint now) {
    const std::lock_guard lock(mutex_);
    if (!TicksLocked() || now < deadline_) return false;
    deadline_ = now + std::chrono::milliseconds(interval_);
    return true;
}

}  // namespace vr
