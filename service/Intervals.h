#pragma once

#include <cstdint>

namespace vr {

// Intervals of the update cycle's timer, in milliseconds; fixed, never changed at run time.
// Each counts from the end of the cycle before. The first cycle waits a minute so that a service
// started with the machine does not race the database server's own start; a failed cycle
// retries after half an hour; after an applied update nothing new is expected for hours, and
// the feed is asked at most once a day anyway (a cycle whose date is today does nothing).
inline constexpr std::uint32_t IntervaloInicial = 60000;   // first cycle after the start
inline constexpr std::uint32_t IntervaloFalha = 1800000;   // after a cycle without an update
inline constexpr std::uint32_t IntervaloOK = 10800000;     // after a completed update

}  // namespace vr
