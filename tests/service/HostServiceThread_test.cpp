#include "service/ServiceThread.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "common/Error.h"
#include "platform/ControlSignals.h"
#include "service/HostedService.h"
#include "service/Timer.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

using S = ServiceState;

// Records each report together with whether the timer was armed at that moment.
class RecordingNotifier final : public ServiceNotifier {
public:
    explicit RecordingNotifier(const TTimer& timer, bool fail = false) : timer_(timer), fail_(fail) {}
    void Report(ServiceState state) override {
        const std::lock_guard lock(mutex_);
        states.push_back(state);
        armed.push_back(timer_.Enabled());
        if (fail_) throw Error("soquete de notificação recusou");
    }
    std::vector<ServiceState> States() {
        const std::lock_guard lock(mutex_);
        return states;
    }
    std::vector<ServiceState> states;
    std::vector<bool> armed;

private:
    std::mutex mutex_;
    const TTimer& timer_;
    bool fail_;
};

class ServiceThreadTest : public ::testing::Test {
protected:
    test::JumpingClock clock;
    EventLoop loop{clock, [](const std::exception&) {}};
    TTimer timer;
    test::RecordingEventLog eventLog;

    void SetUp() override {
        timer.SetOnTimer([] {});
        PrepareServiceTimer(timer, loop, [](const std::exception&) {});
    }
};

// Codes queued before the service runs are served in order once it reports running.
TEST_F(ServiceThreadTest, ControlCodes) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> codes;
        std::vector<ServiceState> reports;
    };
    const Case cases[] = {
        {"stop", {ControlCode::Stop}, {S::StartPending, S::Running, S::StopPending, S::Stopped}},
        {"shutdown", {ControlCode::Shutdown},
         {S::StartPending, S::Running, S::StopPending, S::Stopped}},
        {"pause, continue, stop",
         {ControlCode::Pause, ControlCode::Continue, ControlCode::Stop},
         {S::StartPending, S::Running, S::PausePending, S::Paused, S::ContinuePending, S::Running,
          S::StopPending, S::Stopped}},
        {"interrogate while paused",
         {ControlCode::Pause, ControlCode::Interrogate, ControlCode::Stop},
         {S::StartPending, S::Running, S::PausePending, S::Paused, S::Paused, S::StopPending,
          S::Stopped}},
        {"interrogate while running", {ControlCode::Interrogate, ControlCode::Stop},
         {S::StartPending, S::Running, S::Running, S::StopPending, S::Stopped}},
        {"unknown codes", {0, 6, 0x401, ControlCode::Stop},
         {S::StartPending, S::Running, S::StopPending, S::Stopped}},
        {"pause and continue after stop",
         {ControlCode::Stop, ControlCode::Pause, ControlCode::Continue},
         {S::StartPending, S::Running, S::StopPending, S::Stopped}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingNotifier notifier(timer);
        ServiceThread service(notifier, eventLog);
        for (std::uint32_t code : c.codes) service.Post(code);
        service.Run([&](ServiceThread& thread) { ServeControlRequests(timer, thread); });
        EXPECT_EQ(notifier.states, c.reports);
        EXPECT_FALSE(timer.Enabled());
    }
    EXPECT_TRUE(eventLog.Entries().empty());
}

// Running is reported before the timer is armed; it stays armed until the service stops, and
// is disarmed before stopped is reported.
TEST_F(ServiceThreadTest, TimerIsArmedOnlyWhileServing) {
    RecordingNotifier notifier(timer);
    ServiceThread service(notifier, eventLog);
    service.Post(ControlCode::Pause);
    service.Post(ControlCode::Stop);
    service.Run([&](ServiceThread& thread) { ServeControlRequests(timer, thread); });
    EXPECT_EQ(notifier.states, (std::vector<ServiceState>{S::StartPending, S::Running,
                                                          S::PausePending, S::Paused,
                                                          S::StopPending, S::Stopped}));
    EXPECT_EQ(notifier.armed, (std::vector<bool>{false, false, true, true, true, false}));
    EXPECT_EQ(timer.Interval(), 60000u);
}

// The control thread posts while the service thread waits for requests.
TEST_F(ServiceThreadTest, RequestsFromAnotherThread) {
    RecordingNotifier notifier(timer);
    ServiceThread service(notifier, eventLog);
    std::thread serviceThread([&] {
        service.Run([&](ServiceThread& thread) { ServeControlRequests(timer, thread); });
    });
    const auto reported = [&](std::size_t count) {
        for (int i = 0; i < 5000 && notifier.States().size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return notifier.States().size() >= count;
    };
    EXPECT_TRUE(reported(2));
    service.Post(ControlCode::Pause);
    EXPECT_TRUE(reported(4));
    service.Post(ControlCode::Stop);
    serviceThread.join();
    EXPECT_EQ(notifier.States().back(), S::Stopped);
}

// The host queues the main loop's quit in `ending`; the service manager must not hear "stopped"
// before that.
TEST_F(ServiceThreadTest, EndingRunsBeforeStoppedIsReported) {
    RecordingNotifier notifier(timer);
    ServiceThread service(notifier, eventLog);
    service.Post(ControlCode::Stop);
    std::vector<ServiceState> atEnding;
    service.Run([&](ServiceThread& thread) { ServeControlRequests(timer, thread); },
                [&] { atEnding = notifier.states; });
    EXPECT_EQ(atEnding, (std::vector<ServiceState>{S::StartPending, S::Running, S::StopPending}));
    EXPECT_EQ(notifier.states.back(), S::Stopped);
}

TEST_F(ServiceThreadTest, FailedReportsGoToTheEventLog) {
    RecordingNotifier notifier(timer, /*fail=*/true);
    ServiceThread service(notifier, eventLog);
    service.Post(ControlCode::Stop);
    service.Run([&](ServiceThread& thread) { ServeControlRequests(timer, thread); });
    ASSERT_EQ(notifier.states.size(), 4u);
    const auto entries = eventLog.Entries();
    ASSERT_EQ(entries.size(), 4u);
    for (const auto& entry : entries) {
        EXPECT_EQ(entry.source, "SrvVevoveRazara");
        EXPECT_EQ(entry.message,
                  "Falha ao informar o estado do serviço: soquete de notificação recusou");
    }
}

TEST_F(ServiceThreadTest, FailureInExecuteIsLoggedAndTheServiceStops) {
    RecordingNotifier notifier(timer);
    ServiceThread service(notifier, eventLog);
    service.Run([](ServiceThread&) { throw Error("banco indisponível"); });
    EXPECT_EQ(notifier.states,
              (std::vector<ServiceState>{S::StartPending, S::Running, S::Stopped}));
    const auto entries = eventLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].source, "SrvVevoveRazara");
    EXPECT_EQ(entries[0].message, "Service failed on execute: banco indisponível");
}

}  // namespace
}  // namespace vr
