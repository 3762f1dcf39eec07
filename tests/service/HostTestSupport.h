#pragma once

// Stand-ins for the service host's tests on every platform: a clock whose waits jump to their
// deadline, recorders for the event log and the result messages, a service with a cycle of the
// test's choosing.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/EventLog.h"
#include "platform/ResultMessages.h"
#include "platform/ServiceNotifier.h"
#include "service/HostedService.h"
#include "service/MonotonicClock.h"
#include "tests/support/TempDir.h"

namespace vr::test {

// Time stands still until the loop sleeps; then it jumps straight to the deadline.
class JumpingClock final : public MonotonicClock {
public:
    TimePoint Now() const override { return TimePoint(std::chrono::nanoseconds(now_.load())); }
    void WaitUntil(std::condition_variable&, std::unique_lock<std::mutex>&,
                   TimePoint deadline) override {
        const auto target = deadline.time_since_epoch().count();
        if (target > now_.load()) now_.store(target);
    }
    void Advance(std::chrono::milliseconds by) {
        now_ += std::chrono::duration_cast<std::chrono::nanoseconds>(by).count();
    }
    std::int64_t Milliseconds() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Now().time_since_epoch()).count();
    }

private:
    std::atomic<std::int64_t> now_{0};
};

struct EventLogEntry {
    std::string source;
    std::string message;
};

class RecordingEventLog final : public EventLog {
public:
    void ReportError(std::string_view source, std::string_view message) noexcept override {
        const std::lock_guard lock(mutex_);
        entries_.push_back({std::string(source), std::string(message)});
    }
    std::vector<EventLogEntry> Entries() const {
        const std::lock_guard lock(mutex_);
        return entries_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<EventLogEntry> entries_;
};

struct ResultMessage {
    bool failure = false;
    std::string text;
    bool operator==(const ResultMessage&) const = default;
};

class RecordingResultMessages final : public ResultMessages {
public:
    void Information(std::string_view text) override { messages.push_back({false, std::string(text)}); }
    void Failure(std::string_view text) override { messages.push_back({true, std::string(text)}); }
    std::vector<ResultMessage> messages;
};

// A service whose cycle is whatever the test sets as the timer's handler.
class TestService final : public HostedService {
public:
    TTimer timer;
    std::atomic<int> executions{0};
    TResultadoCiclo outcome = rcNaoConcluida;
    bool logEntryLost = false;

    TTimer& CycleTimer() override { return timer; }
    void Execute(ServiceThread& thread) override {
        ++executions;
        ServeControlRequests(timer, thread);
    }
    TResultadoCiclo CycleOutcome() const override { return outcome; }
    void SetCycleOutcome(TResultadoCiclo value) override { outcome = value; }
    // What the host installs; the test's cycle calls them as the module's would.
    CycleObserver observer;
    std::function<void()> progress;
    void SetCycleObserver(CycleObserver value) override { observer = std::move(value); }
    void SetProgressHook(std::function<void()> value) override { progress = std::move(value); }
    bool LogEntryLost() const override { return logEntryLost; }
};

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(20);

inline int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace vr::test
