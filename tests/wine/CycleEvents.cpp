// Five cycles told to the Application log the way the service tells them: an applied update,
// nothing due, a failure, the same failure again, nothing due.

#include <cstdio>

#include "platform/EventLog.h"
#include "service/CycleReport.h"
#include "service/Intervals.h"
#include "service/NotableCycles.h"

int main() {
    using namespace vr;
    TRelatorioCiclo applied;
    applied.resultado = rcConcluida;
    applied.fim = {2026, 12, 10, 9, 0, 0};
    applied.produtosGravados = 3;
    applied.segmentosGravados = 1;
    applied.gravacoesRecusadas = 2;
    applied.consultasIgnoradas = 4;
    applied.ultimaAtualizacao = "2026-12-10";
    applied.proximoCicloMs = IntervaloOK;
    TRelatorioCiclo due = applied;
    due.resultado = rcNenhumaPendente;
    due.produtosGravados = due.segmentosGravados = due.gravacoesRecusadas = due.consultasIgnoradas = 0;
    due.proximoCicloMs = IntervaloFalha;
    due.fim.hour = 12;
    TRelatorioCiclo failed = due;
    failed.resultado = rcNaoConcluida;
    failed.erro = "HTTP/1.1 503 Service Unavailable";
    failed.fim.hour = 13;
    TRelatorioCiclo again = failed;
    again.fim.minute = 30;
    TRelatorioCiclo recovered = due;
    recovered.fim.hour = 14;

    const auto log = OpenSystemEventLog();
    NotableCycles notable;
    for (const TRelatorioCiclo* r : {&applied, &due, &failed, &again, &recovered}) {
        CycleEntry entry = CycleLogEntry(*r);
        entry.notable = notable.Admit(*r);
        log->ReportCycle("SrvVevoveRazara", entry);
    }
    log->ReportError("SrvVevoveRazara", "Service failed on execute: linha");
    std::puts("told");
    return 0;
}
