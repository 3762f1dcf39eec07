// The Windows side of control requests and state reports: what the service control handler
// queues reaches ControlSignals::Wait, and what the service manager is told for each state.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "platform/ControlSignals.h"
#include "platform/windows/ControlChannel.h"
#include "platform/windows/ServiceStatus.h"

namespace vr {
namespace {

using namespace std::chrono_literals;

TEST(HostWindowsControl, HandlerCodesReachWaitInOrder) {
    win::ControlChannel& channel = win::ProcessControlChannel();
    ControlSignals signals;
    // Posted by the dispatcher thread while nobody waits yet.
    std::thread([&] {
        for (DWORD code : std::vector<DWORD>{SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE,
                                             SERVICE_CONTROL_CONTINUE, 0x81, SERVICE_CONTROL_SHUTDOWN,
                                             SERVICE_CONTROL_STOP}) {
            channel.Post(code);
        }
    }).join();
    std::vector<std::uint32_t> codes;
    for (int i = 0; i < 6; ++i) codes.push_back(signals.Wait().value_or(0xFFFF));
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{ControlCode::Interrogate, ControlCode::Pause,
                                                 ControlCode::Continue, 0x81, ControlCode::Shutdown,
                                                 ControlCode::Stop}));
}

// Stop ends a Wait under way and every later one, even with codes still queued.
TEST(HostWindowsControl, StopEndsWaiting) {
    ControlSignals signals;
    std::future<std::optional<std::uint32_t>> waiting =
        std::async(std::launch::async, [&] { return signals.Wait(); });
    ASSERT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    signals.Stop();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), std::nullopt);
    win::ProcessControlChannel().Post(SERVICE_CONTROL_STOP);
    EXPECT_EQ(signals.Wait(), std::nullopt);
}

// Codes that a finished ControlSignals left untaken do not reach the next one.
TEST(HostWindowsControl, LeftoverCodesAreDiscarded) {
    {
        ControlSignals first;
        win::ProcessControlChannel().Post(SERVICE_CONTROL_PAUSE);
        first.Stop();
    }
    ControlSignals second;
    win::ProcessControlChannel().Post(SERVICE_CONTROL_CONTINUE);
    EXPECT_EQ(second.Wait(), ControlCode::Continue);
}

TEST(HostWindowsStatus, ReportsToTheServiceManager) {
    using S = ServiceState;
    constexpr DWORD kAll = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
    struct Step {
        ServiceState state;
        DWORD current;
        DWORD accepted;
        DWORD checkPoint;
    };
    const Step steps[] = {
        {S::StartPending, SERVICE_START_PENDING, 0, 0},
        {S::StartPending, SERVICE_START_PENDING, 0, 1},
        {S::StartPending, SERVICE_START_PENDING, 0, 2},
        {S::Running, SERVICE_RUNNING, kAll, 0},
        {S::Running, SERVICE_RUNNING, kAll, 0},
        {S::PausePending, SERVICE_PAUSE_PENDING, kAll, 0},
        {S::Paused, SERVICE_PAUSED, kAll, 0},
        {S::ContinuePending, SERVICE_CONTINUE_PENDING, kAll, 0},
        {S::ContinuePending, SERVICE_CONTINUE_PENDING, kAll, 1},
        {S::Running, SERVICE_RUNNING, kAll, 0},
        {S::StopPending, SERVICE_STOP_PENDING, kAll, 0},
        {S::StopPending, SERVICE_STOP_PENDING, kAll, 1},
        {S::StartPending, SERVICE_START_PENDING, 0, 0},
        {S::Stopped, SERVICE_STOPPED, kAll, 0},
    };
    win::ServiceStatusSequence sequence;
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(index++);
        const SERVICE_STATUS status = sequence.Next(step.state);
        EXPECT_EQ(status.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(status.dwCurrentState, step.current);
        EXPECT_EQ(status.dwControlsAccepted, step.accepted);
        EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(status.dwServiceSpecificExitCode, 0u);
        EXPECT_EQ(status.dwCheckPoint, step.checkPoint);
        EXPECT_EQ(status.dwWaitHint, 5000u);
    }
}

}  // namespace
}  // namespace vr
