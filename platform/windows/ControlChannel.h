#pragma once

// Where the service control handler, a plain callback that the service manager calls on the
// dispatcher thread, leaves the control codes for ControlSignals::Wait. One per process, as the
// handler is.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace vr::win {

class ControlChannel {
public:
    // Queues a code; never waits for anyone but the queue's lock.
    void Post(std::uint32_t code) {
        {
            const std::lock_guard lock(mutex_);
            codes_.push_back(code);
        }
        posted_.notify_one();
    }

    // The next code, in order; std::nullopt once closed.
    std::optional<std::uint32_t> Wait() {
        std::unique_lock lock(mutex_);
        posted_.wait(lock, [this] { return closed_ || !codes_.empty(); });
        if (closed_) return std::nullopt;
        const std::uint32_t code = codes_.front();
        codes_.pop_front();
        return code;
    }

    void Close() {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
        }
        posted_.notify_all();
    }

    // Open again, with the codes not yet taken discarded.
    void Reset() {
        const std::lock_guard lock(mutex_);
        codes_.clear();
        closed_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::uint32_t> codes_;
    bool closed_ = false;
};

// The process's channel.
ControlChannel& ProcessControlChannel();

}  // namespace vr::win
