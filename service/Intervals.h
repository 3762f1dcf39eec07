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

// How long the database may keep the cycle waiting, in milliseconds; fixed like the intervals.
// A real attach takes tens of milliseconds and a call a few: these only end a wait that would
// otherwise never end (a frozen server, a cable pulled, packets dropped).
inline constexpr std::uint32_t LimiteConexaoBancoMs = 30000;  // one attach, TCP connect included
inline constexpr std::uint32_t LimiteChamadaBancoMs = 60000;  // one statement, fetch, commit, rollback or detach

}  // namespace vr
