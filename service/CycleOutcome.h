#pragma once

#include <cstdint>
#include <string>

#include "common/Clock.h"

namespace vr {

// What one update cycle did; the cycle sets it so that a foreground run can report it.
enum TResultadoCiclo : std::uint8_t {
    rcNaoConcluida,     // no update completed: a failure, or the cycle did not finish
    rcConcluida,        // the feed was applied and its date recorded
    rcNenhumaPendente,  // nothing was due: the last update is not before today
    rcSemConfiguracao,  // the configuration row lacks the last-update date, identifier or token
};

// The account of one cycle, for the operators: filled while the cycle runs, complete once it
// has re-armed the timer.
struct TRelatorioCiclo {
    TResultadoCiclo resultado = rcNaoConcluida;
    LocalDateTime fim;                  // when the cycle ended, local time
    int produtosGravados = 0;           // product writes committed
    int segmentosGravados = 0;          // segment writes committed
    int gravacoesRecusadas = 0;         // writes the database refused (rolled back and logged)
    int consultasIgnoradas = 0;         // changed products whose consultation gave no data
    std::string ultimaAtualizacao;      // DIRADOR_DATAULTIMAATUALIZACAO as the cycle left it
    std::string erro;                   // first line of what ended a failed cycle
    std::uint32_t proximoCicloMs = 0;   // the interval the timer was re-armed with
};

}  // namespace vr
