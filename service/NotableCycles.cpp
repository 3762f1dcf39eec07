#include "service/NotableCycles.h"

namespace vr {

// Every applied update is notable: it is what the technician looks for, and in the normal course
// there is one a day. Every other cycle is notable when it changes what the newest entry says
// (a failure after a good cycle, a different failure, nothing due after a failure) and for the
// first cycle of the run. A cycle that repeats the state is left out: with the server down a
// failure every 30 minutes would bury the log in 48 identical entries a day, and the newest one
// already tells the latest cycle's state. The same state is recorded once more on each new
// calendar day, so a long outage shows the service still alive and still failing.
bool NotableCycles::Admit(const TRelatorioCiclo& report) {
    const Recorded now{StateOf(report), DateOf(report.fim)};
    const bool notable = report.resultado == rcConcluida || !last_ ||
                         last_->state != now.state || !(last_->day == now.day);
    if (notable) last_ = now;
    return notable;
}

NotableCycles::State NotableCycles::StateOf(const TRelatorioCiclo& report) {
    switch (report.resultado) {
        case rcConcluida:
        case rcNenhumaPendente: return {rcConcluida, {}};
        case rcSemConfiguracao: return {rcSemConfiguracao, {}};
        case rcNaoConcluida: break;
    }
    return {rcNaoConcluida, report.erro};
}

}  // namespace vr
