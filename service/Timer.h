#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "service/MonotonicClock.h"

namespace vr {

class EventLoop;

// A timer whose ticks an EventLoop delivers on its own thread. Arming starts the interval from
// that moment; while armed it ticks once per interval, and ticks never pile up: a tick that
// comes due while its handler still runs is delivered once, after it. Enabled and Interval may
// be changed from any thread; the loop notices at once.
class TTimer {
public:
    using Handler = std::function<void()>;

    TTimer() = default;
    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    bool Enabled() const;
    // Arming a disarmed timer starts a new interval; arming an armed one changes nothing.
    void SetEnabled(bool enabled);
    std::uint32_t Interval() const;
    // A new interval on an armed timer restarts the count from now. 0 stops the ticks.
    void SetInterval(std::uint32_t milliseconds);

    // The tick handler. Set it before the timer is attached to a running loop.
    void SetOnTimer(Handler handler);
    // Runs the tick handler at once on the calling thread.
    void Trigger();

private:
    friend class EventLoop;
    using TimePoint = MonotonicClock::TimePoint;

    void Attach(EventLoop* loop, MonotonicClock* clock);
    bool TicksLocked() const;
    void RestartLocked();
    // For the loop: the moment of the next tick, if any.
    std::optional<TimePoint> NextTick() const;
    // For the loop: whether a tick is due at `now`; taking it starts the next interval.
    bool TakeTick(TimePoint now);

    mutable std::mutex mutex_;
    bool enabled_ = false;
    std::uint32_t interval_ = 1000;  // until the owner sets its own
    TimePoint deadline_{};
    Handler onTimer_;
    EventLoop* loop_ = nullptr;
    MonotonicClock* clock_ = nullptr;
};

}  // namespace vr
