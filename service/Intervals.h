#pragma once

#include <cstdint>

namespace vr {

// Intervals of the update cycle's timer, in milliseconds; fixed, never changed at run time.
inline constexpr std::uint32_t IntervaloInicial = 60000;   // first cycle after the start
inline constexpr std::uint32_t IntervaloFalha = 1800000;   // after a cycle without an update
inline constexpr std::uint32_t IntervaloOK = 10800000;     // after a completed update

// How long the database may keep the cycle waiting, in milliseconds; fixed like the intervals.
// A real attach takes tens of milliseconds and a call a few: these only end a wait that would
// otherwise never end (a frozen server, a cable pulled, packets dropped).
inline constexpr std::uint32_t LimiteConexaoBancoMs = 30000;  // one attach, TCP connect included
inline constexpr std::uint32_t LimiteChamadaBancoMs = 60000;  // one statement, fetch, commit, rollback or detach

}  // namespace vr
