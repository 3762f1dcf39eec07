#pragma once

// Which cycles a system log that keeps few entries must hold so that a technician reading only
// that log knows when the last update was applied and how the latest cycle went.

#include <optional>
#include <string>

#include "common/Date.h"
#include "service/CycleOutcome.h"

namespace vr {

class NotableCycles {
public:
    // Whether the cycle's entry is notable; remembers it when it is. Called once per cycle, in
    // order.
    bool Admit(const TRelatorioCiclo& report);

private:
    // What a reader takes from the log's newest entry: up to date (applied or nothing due), not
    // configured, or failed for this reason.
    struct State {
        TResultadoCiclo kind = rcNaoConcluida;
        std::string reason;
        bool operator==(const State&) const = default;
    };
    struct Recorded {
        State state;
        CivilDate day;
    };
    static State StateOf(const TRelatorioCiclo& report);

    std::optional<Recorded> last_;
};

}  // namespace vr
