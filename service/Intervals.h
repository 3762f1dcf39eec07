#pragma once

#include <cstdint>

namespace vr {

// Intervals of the update cycle's timer, in milliseconds; fixed, never changed at run time.
inline constexpr std::uint32_t IntervaloInicial = 60000;   // first cycle after the start
inline constexpr std::uint32_t IntervaloFalha = 1800000;   // after a cycle without an update
inline constexpr std::uint32_t IntervaloOK = 10800000;     // after a completed update

}  // namespace vr
