#pragma once

#include <cstdint>

namespace vr {

// What one update cycle did; the cycle sets it so that a foreground run can report it.
enum TResultadoCiclo : std::uint8_t {
    rcNaoConcluida,     // no update completed: a failure, or the cycle did not finish
    rcConcluida,        // the feed was applied and its date recorded
    rcNenhumaPendente,  // nothing was due: the last update is not before today
    rcSemConfiguracao,  // the configuration row lacks the last-update date, identifier or token
};

}  // namespace vr
