#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "service/MonotonicClock.h"

namespace vr {

class TTimer;

// The main thread's message loop: runs posted messages in order and the ticks of attached
// timers, one at a time, on the thread that calls Run. Posted messages go before timer ticks,
// so a quit request posted while a handler runs ends the loop before any further tick. Idle,
// it sleeps until the next tick or the next posted message.
class EventLoop {
public:
    using Message = std::function<void()>;
    using ErrorHandler = std::function<void(const std::exception&)>;

    // `lastResort` receives what the installed error handler cannot handle (and every error
    // while none is installed); it must not throw.
    EventLoop(MonotonicClock& clock, ErrorHandler lastResort);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Any thread.
    void Post(Message message);
    void PostQuit();

    // Runs until it takes a quit request. An error leaving a message or tick handler goes to
    // the error handler; the loop goes on.
    void Run();

    // Runs the messages posted so far, one after the other, without waiting and without timer
    // ticks; called from inside a handler on the loop's thread. A quit request stays queued
    // for Run to take, and ends the processing.
    void ProcessMessages();

    // Any thread: whether Run is handling a message or a tick (an update cycle) right now. A
    // quit request posted before the question comes in is ahead of every tick not yet taken.
    bool Busy() const { return busy_.load(); }

    // The handler for errors that leave a message or tick handler. Set it while Run is not
    // running.
    void SetErrorHandler(ErrorHandler handler);

    // Delivers the timer's ticks from now on; the timer detaches itself when destroyed.
    // Attach and detach while Run is not running.
    void Attach(TTimer& timer);
    void Detach(TTimer& timer) noexcept;

private:
    friend class TTimer;
    // A timer changed: look at the timers again.
    void Wake();
    void Dispatch(const Message& message) noexcept;
    void HandleError(const std::exception& error) noexcept;
    void LastResort(const std::exception& error) noexcept;

    MonotonicClock& clock_;
    ErrorHandler lastResort_;
    ErrorHandler errorHandler_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::optional<Message>> queue_;  // std::nullopt asks to quit
    std::vector<TTimer*> timers_;
    std::atomic<bool> busy_{false};  // set under mutex_ as Run takes an item, cleared after it
};

}  // namespace vr
