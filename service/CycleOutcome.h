#pragma once

#include <cstdint>

namespace vr {

// What one update cycle did; the cycle sets it so that a foreground run can report it.
enum TResultadoCiclo : std::uint8_t {
    rcNaoConcluida,     // no update completed: a failure, or the cycle did not finish
    rcConcluida,        // the feed was applied and its date recorded
    rcNenhumaPendente,  // nothing was due: gating ended the cycle without a request
};

}  // namespace vr
