// Which cycles reach a system log that keeps only what changes: a day of cycles as the timer
// runs them, and what a technician reading only that log would see.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/NotableCycles.h"

namespace vr {
namespace {

struct Cycle {
    int day;
    int hour;
    TResultadoCiclo outcome;
    std::string reason;  // of a failure
    bool notable;
};

TRelatorioCiclo Report(const Cycle& c) {
    TRelatorioCiclo r;
    r.fim = {2026, 12, c.day, c.hour, 0, 0};
    r.resultado = c.outcome;
    r.erro = c.reason;
    return r;
}

struct Sequence {
    const char* name;
    std::vector<Cycle> cycles;
};

TEST(NotableCyclesTest, TheNewestRecordedEntryTellsTheLatestState) {
    const std::string down = "Falha na conexão com o banco de dados: connection refused";
    const std::string http = "HTTP/1.1 503 Service Unavailable";
    const Sequence sequences[] = {
        {"the normal course: one applied update a day, nothing due in between",
         {{10, 9, rcNenhumaPendente, "", true},  // the run's first cycle
          {10, 10, rcNenhumaPendente, "", false},
          {11, 0, rcConcluida, "", true},
          {11, 3, rcNenhumaPendente, "", false},
          {11, 23, rcNenhumaPendente, "", false},
          {12, 0, rcConcluida, "", true}}},
        {"a failure, its repeats, another failure, and the recovery",
         {{10, 9, rcConcluida, "", true},
          {10, 12, rcNaoConcluida, down, true},
          {10, 13, rcNaoConcluida, down, false},
          {10, 14, rcNaoConcluida, http, true},
          {10, 15, rcNaoConcluida, http, false},
          {10, 16, rcNenhumaPendente, "", true},
          {10, 17, rcNenhumaPendente, "", false}}},
        {"a failure that lasts: once more each day",
         {{10, 9, rcNaoConcluida, down, true},
          {10, 23, rcNaoConcluida, down, false},
          {11, 0, rcNaoConcluida, down, true},
          {11, 1, rcNaoConcluida, down, false},
          {12, 0, rcConcluida, "", true}}},
        {"not configured, then configured",
         {{10, 9, rcSemConfiguracao, "", true},
          {10, 10, rcSemConfiguracao, "", false},
          {10, 11, rcNenhumaPendente, "", true},
          {10, 12, rcSemConfiguracao, "", true}}},
        {"an applied update is always recorded",
         {{10, 9, rcConcluida, "", true}, {10, 12, rcConcluida, "", true}}},
    };
    for (const Sequence& s : sequences) {
        NotableCycles rule;
        for (std::size_t i = 0; i < s.cycles.size(); ++i) {
            const Cycle& c = s.cycles[i];
            EXPECT_EQ(rule.Admit(Report(c)), c.notable) << s.name << ", cycle " << i + 1;
        }
    }
}

}  // namespace
}  // namespace vr
