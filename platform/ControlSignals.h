#pragma once

// Control requests of the service manager (stop, pause, continue), delivered as control codes
// to one thread that waits for them, so that no work ever runs inside an asynchronous handler.

#include <cstdint>
#include <memory>
#include <optional>

namespace vr {

// The values of the Windows service manager's SERVICE_CONTROL_* codes, so that both systems
// speak one set of codes: on Linux the signals are mapped onto them.
namespace ControlCode {
inline constexpr std::uint32_t Stop = 1;
inline constexpr std::uint32_t Pause = 2;
inline constexpr std::uint32_t Continue = 3;
inline constexpr std::uint32_t Interrogate = 4;
inline constexpr std::uint32_t Shutdown = 5;
}  // namespace ControlCode

class ControlSignals {
public:
    // Takes the control requests of the process over. Construct it on the main thread before
    // any other thread starts: threads inherit the taking-over, so none of them is ever
    // interrupted by a request. Throws vr::Error when the requests cannot be taken over.
    ControlSignals();
    // Discards requests not yet taken and gives them back to the process's defaults.
    ~ControlSignals();
    ControlSignals(const ControlSignals&) = delete;
    ControlSignals& operator=(const ControlSignals&) = delete;

    // Blocks until the next request and returns its control code; std::nullopt once Stop has
    // been called.
    std::optional<std::uint32_t> Wait();
    // Makes Wait return std::nullopt, now and from then on. Any thread may call it.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vr
