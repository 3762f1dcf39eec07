// Counting what a cycle does, and telling it.

#include "service/CycleReport.h"

#include <cstdint>
#include <string>

#include "common/Date.h"
#include "service/UVevoveRazara.h"

namespace vr {

void TSrvVevoveRazara::RegistraGravacao(TCaminhoTributo caminho, bool gravado) {
    if (!gravado) {
        ++RelatorioCiclo.gravacoesRecusadas;
    } else if (caminho == TCaminhoTributo::ctProduto) {
        ++RelatorioCiclo.produtosGravados;
    } else {
        ++RelatorioCiclo.segmentosGravados;
    }
    if (AoProgredir) AoProgredir();
}

void TSrvVevoveRazara::RegistraConsultaIgnorada() {
    ++RelatorioCiclo.consultasIgnoradas;
    if (AoProgredir) AoProgredir();
}

namespace {

std::string Moment(const LocalDateTime& t) {
    return IsoDateTimeText(t);
}

LocalDateTime Plus(const LocalDateTime& t, std::int64_t seconds) {
    const std::int64_t ofDay = t.hour * 3600 + t.minute * 60 + t.second + seconds;
    const std::int64_t days = ofDay >= 0 ? ofDay / 86400 : -((-ofDay + 86399) / 86400);
    const std::int64_t rest = ofDay - days * 86400;
    const CivilDate date = AddDays(DateOf(t), days);
    return {date.year, date.month, date.day, static_cast<int>(rest / 3600),
            static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60)};
}

std::string Count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

EventLog::Outcome OutcomeOf(TResultadoCiclo outcome) {
    switch (outcome) {
        case rcConcluida: return EventLog::Outcome::UpdateApplied;
        case rcNenhumaPendente: return EventLog::Outcome::NothingDue;
        case rcSemConfiguracao: return EventLog::Outcome::NotConfigured;
        case rcNaoConcluida: break;
    }
    return EventLog::Outcome::CycleFailed;
}

const char* OutcomeName(TResultadoCiclo outcome) {
    switch (outcome) {
        case rcConcluida: return "applied";
        case rcNenhumaPendente: return "nothing_due";
        case rcSemConfiguracao: return "not_configured";
        case rcNaoConcluida: break;
    }
    return "failed";
}

// What the cycle came to, without when.
std::string Outcome(const TRelatorioCiclo& r) {
    switch (r.resultado) {
        case rcConcluida:
            return "applied, " + Count(r.produtosGravados, "product", "products") + " and " +
                   Count(r.segmentosGravados, "segment", "segments") + " written, " +
                   Count(r.gravacoesRecusadas, "write", "writes") + " refused, " +
                   Count(r.consultasIgnoradas, "consultation", "consultations") + " skipped";
        case rcNenhumaPendente: return "nothing due (last update " + r.ultimaAtualizacao + ")";
        case rcSemConfiguracao:
            return "not configured (PADRAO lacks the last-update date, BRISEN_ID or BRISEN_TOKEN)";
        case rcNaoConcluida: break;
    }
    return "failed: " + (r.erro.empty() ? std::string("no reason given") : r.erro);
}

std::string NextCycle(const TRelatorioCiclo& r) {
    return "next cycle at " + Moment(Plus(r.fim, r.proximoCicloMs / 1000));
}

}  // namespace

std::string CycleSummary(const TRelatorioCiclo& report) {
    return "last cycle " + Moment(report.fim) + ": " + Outcome(report) + "; " + NextCycle(report);
}

CycleEntry CycleLogEntry(const TRelatorioCiclo& report) {
    CycleEntry entry;
    entry.severity = report.resultado == rcNaoConcluida ? EventLog::Severity::Warning
                                                        : EventLog::Severity::Information;
    entry.outcome = OutcomeOf(report.resultado);
    entry.message = "update cycle " + Outcome(report) + "; " + NextCycle(report);
    entry.fields = {
        {"VR_OUTCOME", OutcomeName(report.resultado)},
        {"VR_PRODUCTS_WRITTEN", std::to_string(report.produtosGravados)},
        {"VR_SEGMENTS_WRITTEN", std::to_string(report.segmentosGravados)},
        {"VR_WRITES_REFUSED", std::to_string(report.gravacoesRecusadas)},
        {"VR_CONSULTATIONS_SKIPPED", std::to_string(report.consultasIgnoradas)},
        {"VR_LAST_UPDATE", report.ultimaAtualizacao},
        {"VR_NEXT_CYCLE_SECONDS", std::to_string(report.proximoCicloMs / 1000)},
    };
    if (report.resultado == rcNaoConcluida) entry.fields.push_back({"VR_ERROR", report.erro});
    return entry;
}

}  // namespace vr
