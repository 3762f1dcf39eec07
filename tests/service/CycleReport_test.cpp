// The account of a real cycle: what it counted, how the operators read it (the service
// manager's line and the system log's entry), after an applied, a not-due and a failed cycle.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "service/CycleReport.h"
#include "service/EventLoop.h"
#include "service/Intervals.h"
#include "service/MonotonicClock.h"
#include "tests/service/CycleTestSupport.h"

namespace vr::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class CycleReport : public CycleFixture {
protected:
    CycleReport() {
        clock.now = {2024, 3, 10, 9, 15, 0};
        module.AoFimDoCiclo = [this](const TRelatorioCiclo& r) { told.push_back(r); };
        module.AoProgredir = [this] { ++progress; };
    }

    // One cycle as the main loop runs it, escaping errors handled as the service does.
    void RunCycle() {
        SteadyClock steady;
        EventLoop loop(steady, [](const std::exception&) {});
        module.ServiceCreate(loop);
        loop.Post([this] { module.Timer.Trigger(); });
        loop.PostQuit();
        loop.Run();
    }

    // The one account the cycle told, which is also the module's.
    const TRelatorioCiclo& Told() {
        EXPECT_EQ(told.size(), 1u);
        if (told.empty()) told.emplace_back();
        return told.back();
    }

    static std::string Field(const CycleEntry& entry, const std::string& name) {
        for (const EventLog::Field& f : entry.fields) {
            if (f.name == name) return f.value;
        }
        return "(absent)";
    }

    std::vector<TRelatorioCiclo> told;
    int progress = 0;
};

// Every kind of outcome of a write and a consultation counted where it happens: a product
// written, one refused by the procedure, one the service did not find; a segment written and
// one refused. The cycle still applies the answer.
TEST_F(CycleReport, AppliedCountsEveryWriteAndConsultation) {
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-09'");
    server.Route(kFeedPath, Json(200, FeedBody({Product("1", "A"), Product("2", "B"), Product("3", "C")},
                                               {Segment("4", "1", "5102"), Segment("-3", "1", "5102")})));
    server.Route(kConsultaPath, {Found("0000000000001", "1"), Found("RECUSADO", "1"),
                                 Json(404, R"({"mensagem":"não encontrado"})", "Not Found")});
    RunCycle();
    const TRelatorioCiclo& r = Told();
    EXPECT_EQ(r.resultado, rcConcluida);
    EXPECT_EQ(r.produtosGravados, 1);
    EXPECT_EQ(r.segmentosGravados, 1);
    EXPECT_EQ(r.gravacoesRecusadas, 2);
    EXPECT_EQ(r.consultasIgnoradas, 1);
    EXPECT_EQ(r.ultimaAtualizacao, "2024-03-10");
    EXPECT_EQ(r.proximoCicloMs, IntervaloOK);
    EXPECT_EQ(r.erro, "");
    // Refused writes are logged, but they are not why a cycle fails.
    EXPECT_EQ(Log().size(), 2u);
    // The start, the feed request, three consultations and two segment writes at least.
    EXPECT_GE(progress, 7);

    EXPECT_EQ(CycleSummary(r),
              "last cycle 2024-03-10 09:15:00: applied, 1 product and 1 segment written, 2 writes refused, "
              "1 consultation skipped; next cycle at 2024-03-10 12:15:00");
    const CycleEntry entry = CycleLogEntry(r);
    EXPECT_EQ(entry.severity, EventLog::Severity::Information);
    EXPECT_EQ(entry.message,
              "update cycle applied, 1 product and 1 segment written, 2 writes refused, 1 consultation "
              "skipped; next cycle at 2024-03-10 12:15:00");
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"VR_OUTCOME", "applied"},          {"VR_PRODUCTS_WRITTEN", "1"}, {"VR_SEGMENTS_WRITTEN", "1"},
        {"VR_WRITES_REFUSED", "2"},         {"VR_CONSULTATIONS_SKIPPED", "1"},
        {"VR_LAST_UPDATE", "2024-03-10"},   {"VR_NEXT_CYCLE_SECONDS", "10800"}, {"VR_ERROR", "(absent)"},
    };
    for (const auto& [name, value] : fields) EXPECT_EQ(Field(entry, name), value) << name;
}

// The counts start again with every cycle.
TEST_F(CycleReport, EachCycleCountsOnlyItsOwnWork) {
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-09'");
    server.Route(kFeedPath, Json(200, FeedBody({}, {Segment("4", "1", "5102"), Segment("5", "1", "5102")})));
    RunCycle();
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-09'");
    RunCycle();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].segmentosGravados, 2);
    EXPECT_EQ(module.RelatorioCiclo.segmentosGravados, 2);
}

TEST_F(CycleReport, NothingDueAndNotConfigured) {
    struct Case {
        const char* assignments;
        TResultadoCiclo outcome;
        const char* summary;
        const char* outcomeField;
    } const cases[] = {
        {"DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-10'", rcNenhumaPendente,
         "last cycle 2024-03-10 09:15:00: nothing due (last update 2024-03-10); next cycle at "
         "2024-03-10 09:45:00",
         "nothing_due"},
        {"BRISEN_TOKEN = NULL", rcSemConfiguracao,
         "last cycle 2024-03-10 09:15:00: not configured (PADRAO lacks the last-update date, BRISEN_ID or "
         "BRISEN_TOKEN); next cycle at 2024-03-10 09:45:00",
         "not_configured"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.assignments);
        told.clear();
        SetPadrao(c.assignments);
        RunCycle();
        const TRelatorioCiclo& r = Told();
        EXPECT_EQ(r.resultado, c.outcome);
        EXPECT_EQ(CycleSummary(r), c.summary);
        const CycleEntry entry = CycleLogEntry(r);
        EXPECT_EQ(entry.severity, EventLog::Severity::Information);
        EXPECT_EQ(Field(entry, "VR_OUTCOME"), c.outcomeField);
        EXPECT_EQ(Field(entry, "VR_NEXT_CYCLE_SECONDS"), "1800");
    }
}

// A failed cycle names its reason by the first line of what ended it: the error that left it,
// or, when it ended quietly, the entry it logged.
TEST_F(CycleReport, FailedCarriesTheFirstLineOfItsReason) {
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    struct Case {
        const char* name;
        standin::Response feed;
        bool wrongDatabase;
        std::string reason;
    } const cases[] = {
        {"server error", Json(503, R"({"mensagem":"em manutenção"})", "Service Unavailable"), false,
         "HTTP/1.1 503 Service Unavailable"},
        {"feed refused", Json(401, R"({"mensagem":"Token inválido"})", "Unauthorized"), false, "Token inválido"},
        {"no database", Json(200, FeedBody({}, {})), true, "Falha na conexão com o banco de dados: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        told.clear();
        server.Route(kFeedPath, c.feed);
        WriteIni(IniFor(test::kServer, c.wrongDatabase ? (directory / "NAO-EXISTE.FDB").string() : db.path()));
        RunCycle();
        const TRelatorioCiclo& r = Told();
        EXPECT_EQ(r.resultado, rcNaoConcluida);
        EXPECT_THAT(r.erro, StartsWith(c.reason));
        EXPECT_EQ(r.erro.find_first_of("\r\n"), std::string::npos) << r.erro;
        EXPECT_EQ(r.proximoCicloMs, IntervaloFalha);
        EXPECT_EQ(CycleSummary(r), "last cycle 2024-03-10 09:15:00: failed: " + r.erro +
                                       "; next cycle at 2024-03-10 09:45:00");
        const CycleEntry entry = CycleLogEntry(r);
        EXPECT_EQ(entry.severity, EventLog::Severity::Warning);
        EXPECT_EQ(Field(entry, "VR_OUTCOME"), "failed");
        EXPECT_EQ(Field(entry, "VR_ERROR"), r.erro);
    }
}

// The next cycle's moment crosses midnight and the end of a month.
TEST(CycleSummaryText, NextCycleAcrossMidnight) {
    TRelatorioCiclo r;
    r.resultado = rcConcluida;
    r.fim = {2024, 2, 29, 22, 30, 5};
    r.proximoCicloMs = IntervaloOK;
    EXPECT_THAT(CycleSummary(r), HasSubstr("; next cycle at 2024-03-01 01:30:05"));
}

}  // namespace
}  // namespace vr::test
