#pragma once

// Stand-ins for the service host's tests: a clock whose waits jump to their deadline, a recorder
// for the event log, a service with a cycle of the test's choosing, and the service manager's
// end of the notify protocol.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "platform/EventLog.h"
#include "platform/ServiceNotifier.h"
#include "service/HostedService.h"
#include "service/MonotonicClock.h"

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

// A service whose cycle is whatever the test sets as the timer's handler.
class TestService final : public HostedService {
public:
    TTimer timer;
    std::atomic<int> executions{0};
    TResultadoCiclo outcome = rcNaoConcluida;

    TTimer& CycleTimer() override { return timer; }
    void Execute(ServiceThread& thread) override {
        ++executions;
        ServeControlRequests(timer, thread);
    }
    TResultadoCiclo CycleOutcome() const override { return outcome; }
    void SetCycleOutcome(TResultadoCiclo value) override { outcome = value; }
};

class TempDir {
public:
    TempDir() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("vr-host-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(20);

inline int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// The service manager's end of the notify protocol.
class NotifySocket {
public:
    explicit NotifySocket(const std::filesystem::path& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const std::string reason = std::strerror(errno);
            if (fd_ >= 0) ::close(fd_);
            throw Error("notify socket: " + reason);
        }
    }
    ~NotifySocket() {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    std::optional<std::string> Next() {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, MillisecondsLeft(Clock::now() + kPatience)) <= 0) return std::nullopt;
        char buffer[4096];
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
        if (got < 0) return std::nullopt;
        return std::string(buffer, static_cast<std::size_t>(got));
    }
    bool Quiet(std::chrono::milliseconds span) {
        pollfd entry{fd_, POLLIN, 0};
        return ::poll(&entry, 1, static_cast<int>(span.count())) == 0;
    }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

}  // namespace vr::test
