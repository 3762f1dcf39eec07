#include "service/EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/Error.h"
#include "service/Timer.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

using namespace std::chrono_literals;

// The real clock, counting how often the loop looks at the time and goes to sleep.
class CountingSteadyClock final : public MonotonicClock {
public:
    TimePoint Now() const override {
        ++nows;
        return real.Now();
    }
    void WaitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                   TimePoint deadline) override {
        ++waits;
        real.WaitUntil(wake, lock, deadline);
    }
    SteadyClock real;
    mutable std::atomic<int> nows{0};
    std::atomic<int> waits{0};
};

// Runs a loop on a thread of its own and makes sure it ends, also when a test fails.
class LoopThread {
public:
    explicit LoopThread(EventLoop& loop) : loop_(loop), done_(finished_.get_future()) {
        thread_ = std::thread([this] {
            loopThread_ = std::this_thread::get_id();
            loop_.Run();
            finished_.set_value();
        });
    }
    ~LoopThread() {
        loop_.PostQuit();
        thread_.join();
    }
    bool EndsWithin(std::chrono::milliseconds limit) {
        return done_.wait_for(limit) == std::future_status::ready;
    }
    std::thread::id id() const { return loopThread_; }

private:
    EventLoop& loop_;
    std::promise<void> finished_;
    std::future<void> done_;
    std::thread::id loopThread_;
    std::thread thread_;
};

TEST(EventLoop, PostedMessagesRunInOrderBeforeADueTick) {
    test::JumpingClock clock;
    EventLoop loop(clock, [](const std::exception&) {});
    TTimer timer;
    std::vector<std::string> seen;
    timer.SetInterval(10);
    timer.SetOnTimer([&] {
        seen.push_back("tick");
        timer.SetEnabled(false);
        loop.PostQuit();
    });
    loop.Attach(timer);
    timer.SetEnabled(true);
    clock.Advance(50ms);  // the tick is already due when the loop starts
    for (const char* name : {"a", "b", "c"}) loop.Post([&seen, name] { seen.push_back(name); });
    loop.Run();
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "tick"}));
}

// A consultation inside a cycle lets the messages waiting so far run; a quit among them must
// survive for the loop, and nothing after the quit runs before the loop ends.
TEST(EventLoop, ProcessMessagesInsideAHandlerKeepsAQuitForTheLoop) {
    test::JumpingClock clock;
    EventLoop loop(clock, [](const std::exception&) {});
    std::vector<std::string> seen;
    loop.Post([&] {
        loop.Post([&] { seen.push_back("waiting"); });
        loop.PostQuit();
        loop.Post([&] { seen.push_back("after quit"); });
        loop.ProcessMessages();
        seen.push_back("handler done");
    });
    loop.Run();
    EXPECT_EQ(seen, (std::vector<std::string>{"waiting", "handler done"}));
}

// The service posts its quit while a cycle runs; the cycle re-arms at its end, and the loop must
// end without starting another one, although the clock would deliver the next tick at once.
TEST(EventLoop, QuitPostedDuringATickEndsTheLoopBeforeTheNextTick) {
    test::JumpingClock clock;
    EventLoop loop(clock, [](const std::exception&) {});
    TTimer timer;
    int cycles = 0;
    timer.SetInterval(60000);
    timer.SetOnTimer([&] {
        timer.SetEnabled(false);
        ++cycles;
        loop.PostQuit();
        timer.SetInterval(1800000);
        timer.SetEnabled(true);
    });
    loop.Attach(timer);
    timer.SetEnabled(true);
    loop.Run();
    EXPECT_EQ(cycles, 1);
    EXPECT_TRUE(timer.Enabled());
}

// Errors leaving an event: to the installed handler; what that handler throws, and every error
// while none is installed, to the last resort. The loop goes on either way.
TEST(EventLoop, ErrorsLeavingHandlers) {
    struct Case {
        const char* name;
        std::function<void()> event;
        bool installHandler;
        bool handlerThrows;
        std::vector<std::string> handled;
        std::vector<std::string> lastResort;
    };
    const Case cases[] = {
        {"error to the handler", [] { throw Error("falha no ciclo"); }, true, false,
         {"falha no ciclo"}, {}},
        {"standard error", [] { throw std::runtime_error("fora do ar"); }, true, false,
         {"fora do ar"}, {}},
        {"something not an error", [] { throw 42; }, true, false,
         {"erro desconhecido ao tratar um evento"}, {}},
        {"handler fails too", [] { throw Error("falha no ciclo"); }, true, true, {"falha no ciclo"},
         {"não foi possível gravar o log"}},
        {"no handler installed", [] { throw Error("cedo demais"); }, false, false, {},
         {"cedo demais"}},
        {"no error", [] {}, true, false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::JumpingClock clock;
        std::vector<std::string> lastResort;
        EventLoop loop(clock, [&](const std::exception& e) { lastResort.push_back(e.what()); });
        std::vector<std::string> handled;
        if (c.installHandler) {
            loop.SetErrorHandler([&](const std::exception& e) {
                handled.push_back(e.what());
                if (c.handlerThrows) throw Error("não foi possível gravar o log");
            });
        }
        bool after = false;
        loop.Post(c.event);
        loop.Post([&] { after = true; });
        loop.PostQuit();
        loop.Run();
        EXPECT_EQ(handled, c.handled);
        EXPECT_EQ(lastResort, c.lastResort);
        EXPECT_TRUE(after);
    }
}

// The same goes for a tick: an error leaving the timer's handler reaches the error handler.
TEST(EventLoop, ErrorLeavingATickReachesTheHandler) {
    test::JumpingClock clock;
    EventLoop loop(clock, [](const std::exception&) {});
    std::vector<std::string> handled;
    loop.SetErrorHandler([&](const std::exception& e) { handled.push_back(e.what()); });
    TTimer timer;
    timer.SetOnTimer([&] {
        timer.SetEnabled(false);
        loop.PostQuit();
        throw Error("serviço de classificação inacessível");
    });
    loop.Attach(timer);
    timer.SetEnabled(true);
    loop.Run();
    EXPECT_EQ(handled, (std::vector<std::string>{"serviço de classificação inacessível"}));
}

// The service thread disarms the timer while the loop sleeps towards its tick: the tick must not
// come. Arming it again must wake the loop, which sleeps without a deadline while the timer is
// disarmed.
TEST(EventLoop, AnotherThreadDisarmsAndRearmsWhileTheLoopWaits) {
    CountingSteadyClock clock;
    EventLoop loop(clock, [](const std::exception&) {});
    TTimer timer;
    std::atomic<int> ticks{0};
    timer.SetOnTimer([&] {
        ++ticks;
        timer.SetEnabled(false);
        loop.PostQuit();
    });
    loop.Attach(timer);
    timer.SetInterval(300);
    timer.SetEnabled(true);
    LoopThread running(loop);
    while (clock.waits.load() == 0) std::this_thread::sleep_for(1ms);
    timer.SetEnabled(false);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(ticks.load(), 0);

    timer.SetEnabled(true);
    EXPECT_TRUE(running.EndsWithin(10s));
    EXPECT_EQ(ticks.load(), 1);
}

// Idle with a tick ten minutes away, the loop sleeps once instead of polling.
TEST(EventLoop, IdleLoopSleepsWithoutPolling) {
    CountingSteadyClock clock;
    EventLoop loop(clock, [](const std::exception&) {});
    TTimer timer;
    timer.SetOnTimer([] {});
    timer.SetInterval(600000);
    loop.Attach(timer);
    timer.SetEnabled(true);
    {
        LoopThread running(loop);
        std::this_thread::sleep_for(300ms);
        EXPECT_LE(clock.waits.load(), 1);
        EXPECT_LE(clock.nows.load(), 3);  // one for arming, one per look at the timers
    }
}

// Ticks run one at a time on the loop's thread, whatever another thread does to the timer.
TEST(EventLoop, TicksNeverOverlapWhileAnotherThreadTogglesTheTimer) {
    SteadyClock clock;
    EventLoop loop(clock, [](const std::exception& e) { ADD_FAILURE() << e.what(); });
    TTimer timer;
    std::atomic<bool> inside{false};
    std::atomic<int> overlaps{0};
    std::atomic<int> wrongThread{0};
    std::atomic<int> ticks{0};
    std::thread::id loopId;
    timer.SetOnTimer([&] {
        if (inside.exchange(true)) ++overlaps;
        if (std::this_thread::get_id() != loopId) ++wrongThread;
        std::this_thread::sleep_for(200us);
        ++ticks;
        inside = false;
    });
    timer.SetInterval(1);
    loop.Attach(timer);
    loop.Post([&] { loopId = std::this_thread::get_id(); });
    {
        LoopThread running(loop);
        for (int i = 0; i < 2000; ++i) {
            timer.SetEnabled(i % 3 != 0);
            timer.SetInterval(1 + static_cast<std::uint32_t>(i % 2));
        }
        timer.SetEnabled(true);
        const auto limit = std::chrono::steady_clock::now() + 10s;
        while (ticks.load() < 20 && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(1ms);
        }
    }
    EXPECT_GE(ticks.load(), 20);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(wrongThread.load(), 0);
}

}  // namespace
}  // namespace vr
