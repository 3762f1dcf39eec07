#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vr {

// The time that timers count in, together with the way to sleep until a moment of it, so that
// tests can run hours of schedule without waiting.
class MonotonicClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~MonotonicClock() = default;
    virtual TimePoint Now() const = 0;
    // Sleeps on `wake` (its mutex held through `lock` on entry and on return) until `deadline`
    // has come or `wake` is notified. May return early; the caller checks again.
    virtual void WaitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                           TimePoint deadline) = 0;
};

// The real one.
class SteadyClock final : public MonotonicClock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void WaitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                   TimePoint deadline) override {
        wake.wait_until(lock, deadline);
    }
};

}  // namespace vr
