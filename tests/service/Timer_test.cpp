#include "service/Timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "service/EventLoop.h"
#include "service/Intervals.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

using std::chrono::milliseconds;

class TimerTest : public ::testing::Test {
protected:
    TimerTest() { loop.Attach(timer); }

    test::JumpingClock clock;
    EventLoop loop{clock, [](const std::exception& error) { ADD_FAILURE() << error.what(); }};
    TTimer timer;
    std::vector<std::int64_t> ticks;  // fake milliseconds at each tick
};

TEST_F(TimerTest, FirstTickComesOneIntervalAfterArming) {
    clock.Advance(milliseconds(5000));
    timer.SetInterval(IntervaloInicial);
    timer.SetOnTimer([&] {
        ticks.push_back(clock.Milliseconds());
        timer.SetEnabled(false);
        loop.PostQuit();
    });
    timer.SetEnabled(true);
    loop.Run();
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{5000 + 60000}));
}

// A handler shaped like the update cycle: disarm, work for a while, pick the next interval,
// re-arm. Each interval counts from the end of the previous cycle.
TEST_F(TimerTest, CycleScheduleCountsFromTheEndOfEachCycle) {
    const std::vector<std::uint32_t> nextIntervals = {IntervaloFalha, IntervaloOK, IntervaloFalha,
                                                      IntervaloFalha};
    const std::int64_t work = 7000;
    std::size_t cycle = 0;
    timer.SetInterval(IntervaloInicial);
    timer.SetOnTimer([&] {
        timer.SetEnabled(false);
        ticks.push_back(clock.Milliseconds());
        clock.Advance(milliseconds(work));
        timer.SetInterval(nextIntervals[cycle]);
        timer.SetEnabled(true);
        if (++cycle == nextIntervals.size()) loop.PostQuit();
    });
    timer.SetEnabled(true);
    loop.Run();

    std::vector<std::int64_t> expected = {IntervaloInicial};
    for (std::size_t i = 0; i + 1 < nextIntervals.size(); ++i) {
        expected.push_back(expected.back() + work + nextIntervals[i]);
    }
    EXPECT_EQ(ticks, expected);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), IntervaloFalha);
}

// A handler that outlasts several intervals gets one tick right after it, not one per missed
// interval; the count then starts again.
TEST_F(TimerTest, TicksDoNotAccumulate) {
    timer.SetInterval(1000);
    timer.SetOnTimer([&] {
        ticks.push_back(clock.Milliseconds());
        if (ticks.size() == 1) clock.Advance(milliseconds(5500));
        if (ticks.size() == 3) loop.PostQuit();
    });
    timer.SetEnabled(true);
    loop.Run();
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{1000, 6500, 7500}));
}

// What is done to an armed timer 400 ms after arming it with 1000 ms, and when it then ticks.
TEST_F(TimerTest, ChangesToAnArmedTimer) {
    struct Case {
        const char* name;
        std::function<void(TTimer&)> change;
        std::int64_t tick;
    };
    const Case cases[] = {
        {"nothing", [](TTimer&) {}, 1000},
        {"armed again", [](TTimer& t) { t.SetEnabled(true); }, 1000},
        {"same interval", [](TTimer& t) { t.SetInterval(1000); }, 1000},
        {"disarmed and re-armed", [](TTimer& t) { t.SetEnabled(false); t.SetEnabled(true); }, 1400},
        {"new interval", [](TTimer& t) { t.SetInterval(2000); }, 2400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::JumpingClock caseClock;
        EventLoop caseLoop(caseClock, [](const std::exception&) {});
        TTimer caseTimer;
        std::vector<std::int64_t> caseTicks;
        caseTimer.SetInterval(1000);
        caseTimer.SetOnTimer([&] {
            caseTicks.push_back(caseClock.Milliseconds());
            caseTimer.SetEnabled(false);
            caseLoop.PostQuit();
        });
        caseLoop.Attach(caseTimer);
        caseTimer.SetEnabled(true);
        caseClock.Advance(milliseconds(400));
        c.change(caseTimer);
        caseLoop.Run();
        EXPECT_EQ(caseTicks, (std::vector<std::int64_t>{c.tick}));
    }
}

// A second timer ends the run at 5000 ms; the first must not tick before that.
TEST_F(TimerTest, TimersThatMustNotTick) {
    struct Case {
        const char* name;
        std::function<void(TTimer&)> setUp;
    };
    const Case cases[] = {
        {"never armed", [](TTimer& t) { t.SetInterval(100); }},
        {"disarmed again", [](TTimer& t) { t.SetInterval(100); t.SetEnabled(true); t.SetEnabled(false); }},
        {"interval 0", [](TTimer& t) { t.SetInterval(0); t.SetEnabled(true); }},
        {"no handler", [](TTimer& t) { t.SetInterval(100); t.SetEnabled(true); t.SetOnTimer(nullptr); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::JumpingClock caseClock;
        EventLoop caseLoop(caseClock, [](const std::exception&) {});
        TTimer silent;
        TTimer end;
        int silentTicks = 0;
        silent.SetOnTimer([&] { ++silentTicks; });
        end.SetInterval(5000);
        end.SetOnTimer([&] {
            end.SetEnabled(false);
            caseLoop.PostQuit();
        });
        caseLoop.Attach(silent);
        caseLoop.Attach(end);
        c.setUp(silent);
        end.SetEnabled(true);
        caseLoop.Run();
        EXPECT_EQ(silentTicks, 0);
        EXPECT_EQ(caseClock.Milliseconds(), 5000);
    }
}

// The handler disarms its own timer and does not re-arm it: no further tick, even though the
// next one of a periodic timer would come long before the end.
TEST_F(TimerTest, DisarmedInsideItsHandlerStaysQuiet) {
    TTimer end;
    end.SetInterval(10000);
    end.SetOnTimer([&] { loop.PostQuit(); });
    loop.Attach(end);
    timer.SetInterval(100);
    timer.SetOnTimer([&] {
        ticks.push_back(clock.Milliseconds());
        timer.SetEnabled(false);
    });
    timer.SetEnabled(true);
    end.SetEnabled(true);
    loop.Run();
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{100}));
}

TEST_F(TimerTest, DetachedTimerKeepsItsSettingsAndStopsTicking) {
    int fired = 0;
    timer.SetOnTimer([&] { ++fired; });
    timer.SetInterval(100);
    timer.SetEnabled(true);
    loop.Detach(timer);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 100u);

    TTimer end;
    end.SetInterval(5000);
    end.SetOnTimer([&] { loop.PostQuit(); });
    loop.Attach(end);
    end.SetEnabled(true);
    loop.Run();
    EXPECT_EQ(fired, 0);
    timer.Trigger();
    EXPECT_EQ(fired, 1);
}

}  // namespace
}  // namespace vr
