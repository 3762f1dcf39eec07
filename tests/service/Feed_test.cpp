// Applying a feed answer inside a real cycle: the procedure calls PROC_DIRADOR receives (the
// scratch procedure records every call it commits), their order, and what stops the walk.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "service/EventLoop.h"
#include "service/Intervals.h"
#include "service/MonotonicClock.h"
#include "tests/service/CycleTestSupport.h"

namespace vr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

using Column = std::vector<std::string>;

class Feed : public CycleFixture {
protected:
    Feed() { SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'"); }

    // One cycle as the main loop runs it; what an escaping error said, if one did.
    std::string RunCycle() { return RunCycle(module); }
    std::string RunCycle(TSrvVevoveRazara& runner) {
        std::string error;
        RunCycleThroughTheLoop(runner, [&](const std::exception& e) { error = e.what(); });
        EXPECT_TRUE(runner.Timer.Enabled());
        EXPECT_FALSE(runner.Connvelmora.IsOpen());
        return error;
    }
};

TEST_F(Feed, ProductsFirstThenSegmentsOneCallEach) {
    server.Route(kFeedPath,
                 Json(200, FeedBody({Product("789001", "CAFÉ EM PÓ"), Product("789002", "A&B")},
                                {Segment("17", "2101.11.10", "5405"), Segment("A7", "2202.10.00", ""),
                                 Segment("3", "0402.21.10", "5102")})));
    server.Route(kConsultaPath, {Found("0000000000001", "1111.11.11"), Found("0000000000002", "2222.22.22")});
    EXPECT_EQ(RunCycle(), "");
    ExpectApplied();
    EXPECT_THAT(Log(), IsEmpty());

    EXPECT_THAT(Targets(), ElementsAre(kFeedPath + "?date=29-02-2024",
                                       kConsultaPath + "?ean=789001&descricao=CAF%C3%89%20EM%20P%C3%93",
                                       kConsultaPath + "?ean=789002&descricao=A&B"));
    EXPECT_EQ(Calls("ATUALIZARSEGMENTO"), (Column{"N", "N", "Y", "Y", "Y"}));
    EXPECT_EQ(Calls("CODIGOPRODUTO"), (Column{"0000000000001", "0000000000002", "NULL", "NULL", "NULL"}));
    EXPECT_EQ(Calls("DIRADOR_IDSEGMENTO"), (Column{"0", "0", "17", "0", "3"}));
    EXPECT_EQ(Calls("DIRADOR_NCM"), (Column{"11111111", "22222222", "21011110", "22021000", "04022110"}));
    EXPECT_EQ(Calls("DIRADOR_CFOPVENDA"), (Column{"5405", "5405", "5405", "0", "5102"}));
    EXPECT_EQ(Calls("DIRADOR_CFOPCOMPRA"), (Column{"1403", "1403", "1403", "1403", "1403"}));
    EXPECT_EQ(Calls("DIRADOR_MVA"), (Column{"38.2400", "38.2400", "38.2400", "38.2400", "38.2400"}));
    EXPECT_EQ(Calls("DIRADOR_TRIBUTACAOPDV"), (Column{"F", "F", "F", "F", "F"}));
    // Every write is a transaction of its own.
    const Column transactions = Calls("TRANSACAO");
    for (std::size_t i = 1; i < transactions.size(); ++i) EXPECT_NE(transactions[i], transactions[i - 1]);
    // The last consultation replaced the feed answer in the dump.
    EXPECT_THAT(Dump(), HasSubstr("0000000000002"));
    EXPECT_THAT(Dump(), HasSubstr("\r\n    \"mensagem\": \"sucesso\""));
}

TEST_F(Feed, EmptyListsApplyAndDumpTheAnswer) {
    server.Route(kFeedPath, Json(200, FeedBody({}, {})));
    EXPECT_EQ(RunCycle(), "");
    ExpectApplied();
    EXPECT_THAT(Calls("ID"), IsEmpty());
    EXPECT_EQ(Dump(), FeedBody({}, {}) + "\r\n");
}

// The feed answer stays in the dump, compact, until a consultation answer replaces it; a
// consultation whose exchange fails writes nothing there.
TEST_F(Feed, DumpHoldsTheFeedUntilAConsultationAnswers) {
    const std::string body = "{\r\n  \"erro\" : \"0\",\r\n  \"produtos_troca_segmento\" : [ " + Product("1", "Ç") +
                             " ],\r\n  \"tributos\" : [ ]\r\n}";
    server.Route(kFeedPath, Json(200, body));
    server.Route(kConsultaPath, Json(503, "", "Service Unavailable"));
    EXPECT_EQ(RunCycle(), "");
    ExpectApplied();
    EXPECT_EQ(Dump(), R"({"erro":"0","produtos_troca_segmento":[{"ean":"1","descricao":"\u00C7"}],"tributos":[]})"
                      "\r\n");

    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    server.Route(kConsultaPath, Json(400, R"({"mensagem":"EAN inválido"})"));
    EXPECT_EQ(RunCycle(), "");
    EXPECT_EQ(Dump(), "{\r\n    \"mensagem\": \"EAN inválido\"\r\n}\r\n");
    EXPECT_THAT(Calls("ID"), IsEmpty());
}

// A barcode the service does not know comes back as success without tax data, and is written.
TEST_F(Feed, ProductNotFoundIsWrittenEmpty) {
    server.Route(kFeedPath, Json(200, FeedBody({Product("789999", "SEM CADASTRO")}, {})));
    server.Route(kConsultaPath, Json(200, R"({"mensagem":"sucesso","tributos":[]})"));
    EXPECT_EQ(RunCycle(), "");
    ExpectApplied();
    EXPECT_THAT(Log(), IsEmpty());
    // Empty texts are bound as empty; the connection sends an empty text as NULL.
    for (const char* text : {"CODIGOPRODUTO", "DIRADOR_NCM", "DIRADOR_CEST", "DIRADOR_LISTA", "DIRADOR_TIPO",
                             "DIRADOR_CSTPISCOFINSENTRADA", "DIRADOR_TRIBUTACAOPDV", "DIRADOR_CBNEF",
                             "DIRADOR_ANTECIPACAO"}) {
        EXPECT_EQ(Calls(text), Column{"NULL"}) << text;
    }
    for (const char* decimal : {"DIRADOR_ALIQUOTAIPI", "DIRADOR_ALIQUOTAPDV", "DIRADOR_ALIQUOTAICMS", "DIRADOR_MVA",
                                "DIRADOR_FCP", "DIRADOR_DESONERACAO"}) {
        EXPECT_EQ(Calls(decimal), Column{"0.0000"}) << decimal;
    }
    EXPECT_EQ(Calls("DIRADOR_CFOPCOMPRA"), Column{"0"});
    EXPECT_EQ(Calls("DIRADOR_CFOPVENDA"), Column{"0"});
    EXPECT_EQ(Calls("DIRADOR_IDSEGMENTO"), Column{"0"});
    EXPECT_EQ(Calls("ATUALIZARSEGMENTO"), Column{"N"});
}

// A consultation without success skips its product silently; the answer still counts as
// applied. The one timeout here costs the consultation's ten seconds.
TEST_F(Feed, FailedConsultationsAreSkipped) {
    standin::Response hang;
    hang.hang = true;
    server.Route(kFeedPath, Json(200, FeedBody({Product("1", "A"), Product("2", "B"), Product("3", "C"),
                                            Product("4", "D")},
                                           {Segment("9", "1", "5102")})));
    server.Route(kConsultaPath, {Json(400, R"({"mensagem":"EAN inválido"})"),
                                 Json(500, R"({"mensagem":"falhou"})", "Internal Server Error"),
                                 Found("0000000000003", "3333.33.33"), hang});
    EXPECT_EQ(RunCycle(), "");
    ExpectApplied();
    EXPECT_THAT(Log(), IsEmpty());
    EXPECT_EQ(Targets().size(), 5u);
    EXPECT_EQ(Calls("CODIGOPRODUTO"), (Column{"0000000000003", "NULL"}));
    EXPECT_EQ(Calls("ATUALIZARSEGMENTO"), (Column{"N", "Y"}));
}

// A malformed segment ends the walk with an error: what was written before it stays, the date
// does not advance, and the error reaches the log through the handler.
TEST_F(Feed, SegmentWithoutSaleCfopEndsTheCycle) {
    server.Route(kFeedPath, Json(200, FeedBody({}, {Segment("1", "1", "5102"), Segment("2", "2", "", false),
                                                Segment("3", "3", "5102")})));
    const std::string error = RunCycle();
    EXPECT_THAT(error, HasSubstr("cfop_venda"));
    EXPECT_THAT(Log(), ElementsAre(error));
    ExpectNotApplied();
    EXPECT_EQ(Calls("DIRADOR_IDSEGMENTO"), Column{"1"});
}

TEST_F(Feed, MalformedAnswersEndTheCycle) {
    struct Case {
        const char* what;
        std::string body;
        std::string mentions;  // in the error's message
        bool dumped;
    } const cases[] = {
        {"not JSON", "<html>ok</html>", "", false},
        {"an array", "[1,2]", "", false},
        {"no erro", R"({"mensagem":"x","produtos_troca_segmento":[],"tributos":[]})", "erro", true},
        {"no products", R"({"erro":"0","tributos":[]})", "produtos_troca_segmento", true},
        {"no segments", R"({"erro":"0","produtos_troca_segmento":[]})", "tributos", true},
        {"product without descricao", R"({"erro":"0","produtos_troca_segmento":[{"ean":"1"}],"tributos":[]})",
         "descricao", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(directory / "VevoveRazara.log");
        fs::remove(directory / "BRISEN_RESPOSTA.LOG");
        server.Route(kFeedPath, Json(200, c.body));
        const std::string error = RunCycle();
        EXPECT_FALSE(error.empty());
        EXPECT_THAT(error, HasSubstr(c.mentions));
        EXPECT_THAT(Log(), ElementsAre(error));
        ExpectNotApplied();
        EXPECT_EQ(fs::exists(directory / "BRISEN_RESPOSTA.LOG"), c.dumped);
    }
    EXPECT_THAT(Calls("ID"), IsEmpty());
}

// A valid answer is applied whatever its strings hold and however large its numbers: escaped
// control characters (in a member read and in one never read), \u0000, a number beyond a double
// in a rate (which converts to 0) and in a member never read. The dump shows the escapes.
TEST_F(Feed, OddButValidAnswersAreApplied) {
    const auto segment = [](const std::string& from, const std::string& to) {
        std::string entry = Segment("5", "1", "5102");
        entry.replace(entry.find(from), from.size(), to);
        return entry;
    };
    const std::string big(400, '9');
    const struct Case {
        const char* what;
        std::string body;
        std::string column;
        std::string value;
        std::string dumped;  // in the dump
    } cases[] = {
        {"control character in a member read", FeedBody({}, {segment(R"("cod_beneficio":"")",
                                                                      R"("cod_beneficio":"A\u0001B\u001f")")}),
         "DIRADOR_CBNEF", "A\x01" "B\x1f", R"("cod_beneficio":"A\u0001B\u001F")"},
        {"control characters in a member never read",
         R"({"nota":"x\u0001\u0002\u001e","erro":"0","produtos_troca_segmento":[],"tributos":[)" +
             Segment("5", "1", "5102") + "]}",
         "DIRADOR_IDSEGMENTO", "5", R"({"nota":"x\u0001\u0002\u001E",)"},
        {"NUL in a name and a value never read",
         R"({"a\u0000":"\u0000","erro":"0","produtos_troca_segmento":[],"tributos":[)" + Segment("5", "1", "5102") +
             "]}",
         "DIRADOR_IDSEGMENTO", "5", R"({"a\u0000":"\u0000",)"},
        {"a lone low surrogate in a member never read",
         R"({"nota":"a\udc00","erro":"0","produtos_troca_segmento":[],"tributos":[)" + Segment("5", "1", "5102") +
             "]}",
         "DIRADOR_IDSEGMENTO", "5", R"({"nota":"a\uFFFD",)"},
        {"a rate beyond a double", FeedBody({}, {segment(R"("ipi":0)", R"("ipi":1e999999)")}),
         "DIRADOR_ALIQUOTAIPI", "0.0000", R"("ipi":1e999999,)"},
        {"a rate of 1.5e400", FeedBody({}, {segment(R"("mva":38.24)", R"("mva":1.5e400)")}), "DIRADOR_MVA",
         "0.0000", R"("mva":1.5e400,)"},
        {"a 400-digit number never read",
         R"({"erro":"0","total":)" + big + R"(,"produtos_troca_segmento":[],"tributos":[)" +
             Segment("5", "1", "5102") + "]}",
         "DIRADOR_IDSEGMENTO", "5", R"("total":)" + big + ","},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
        db.Execute("DELETE FROM DIRADOR_CHAMADAS");
        fs::remove(directory / "VevoveRazara.log");
        server.Route(kFeedPath, Json(200, c.body));
        EXPECT_EQ(RunCycle(), "");
        ExpectApplied();
        EXPECT_THAT(Log(), IsEmpty());
        EXPECT_EQ(Calls(c.column), Column{c.value});
        EXPECT_THAT(Dump(), HasSubstr(c.dumped));
    }
}

// A body that is not a JSON object says what was wrong with it: not JSON (the reader's reason,
// where, and how the body starts), JSON of another kind, or nothing at all.
TEST_F(Feed, BodiesThatAreNotAnObjectSayWhatWasWrong) {
    const std::string feed = FeedBody({}, {Segment("5", "1", "5102")});
    const struct Case {
        const char* what;
        std::string body;
        std::string logged;
    } cases[] = {
        {"an HTML page", "<html><body>Servi\xC3\xA7o em manuten\xC3\xA7\xC3\xA3o</body></html>",
         "JSON inválido na posição 0: Invalid value. Início da resposta: "
         "\"<html><body>Serviço em manutenção</body></html>\""},
        {"a truncated answer", feed.substr(0, 100),
         "JSON inválido na posição 100: Missing a closing quotation mark in string. Início da resposta: \"" +
             feed.substr(0, 60) + "...\""},
        {"lines of text", "erro\r\ninterno",
         "JSON inválido na posição 0: Invalid value. Início da resposta: \"erro  interno\""},
        {"an array", "[" + feed + "]", "A resposta de atualização não é um objeto JSON: é uma lista"},
        {"a string", "\"ok\"", "A resposta de atualização não é um objeto JSON: é um texto"},
        {"an empty body", "", "A resposta de atualização veio vazia"},
        {"100,000 nested arrays", std::string(100000, '['),
         "JSON aninhado demais na posição 512 (mais de 512 níveis). Início da resposta: \"" + std::string(60, '[') +
             "...\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(directory / "VevoveRazara.log");
        fs::remove(directory / "BRISEN_RESPOSTA.LOG");
        server.Route(kFeedPath, Json(200, c.body));
        EXPECT_EQ(RunCycle(), c.logged);
        EXPECT_THAT(Log(), ElementsAre(c.logged));
        ExpectNotApplied();
        EXPECT_FALSE(fs::exists(directory / "BRISEN_RESPOSTA.LOG"));
    }
    EXPECT_THAT(Calls("ID"), IsEmpty());
}

// A call the procedure refuses is rolled back and logged with the catalogued message; the
// elements around it are written and the answer counts as applied.
TEST_F(Feed, RefusedProcedureCallsAreLoggedAndTheRestWritten) {
    server.Route(kFeedPath, Json(200, FeedBody({Product("1", "A"), Product("2", "B")},
                                           {Segment("-3", "1", "5102"), Segment("4", "2", "5102")})));
    server.Route(kConsultaPath, {Found("RECUSADO", "1"), Found("0000000000002", "2")});
    EXPECT_EQ(RunCycle(), "");
    ExpectApplied();
    EXPECT_THAT(Log(), ElementsAre("Produto recusado pelo cadastro", "Segmento não cadastrado"));
    EXPECT_EQ(Calls("CODIGOPRODUTO"), (Column{"0000000000002", "NULL"}));
    EXPECT_EQ(Calls("DIRADOR_IDSEGMENTO"), (Column{"0", "4"}));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM PRODUTO_TRIBUTOS WHERE CODIGOPRODUTO = 'RECUSADO'"), "0");
}

// A consultation answer that trickles in is cut at the consultation's timeout (1.5 s in these
// tests) and skipped without an entry, like any failed consultation; the rest is applied.
// Whole, that answer would take a minute.
TEST_F(Feed, ATrickledConsultationIsSkipped) {
    server.Route(kFeedPath, Json(200, FeedBody({Product("1", "A"), Product("2", "B")}, {Segment("9", "1", "5102")})));
    standin::Response trickled = Found("0000000000001", "1111.11.11");
    trickled.trickleChunk = 1;
    trickled.trickleInterval = 60.0 / static_cast<double>(trickled.body.size());
    server.Route(kConsultaPath, {trickled, Found("0000000000002", "2222.22.22")});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunCycle(), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    ExpectApplied();
    EXPECT_THAT(Log(), IsEmpty());
    EXPECT_EQ(Calls("CODIGOPRODUTO"), (Column{"0000000000002", "NULL"}));
}

// The feed's answer is bounded as a whole too (its 300 s shortened here): a feed that trickles
// in ends the cycle with one entry and the date kept, and the next cycle goes on normally.
TEST_F(Feed, ATrickledFeedIsCutAtItsBound) {
    TModuleSetup setup = module.setup();
    setup.timeoutAtualizacaoMs = 2000;
    TSrvVevoveRazara shortBound(setup);
    standin::Response trickled = Json(200, FeedBody({}, {Segment("9", "1", "5102")}) + std::string(400, ' '));
    trickled.trickleChunk = 1;
    trickled.trickleInterval = 60.0 / static_cast<double>(trickled.body.size());
    server.Route(kFeedPath, trickled);

    const auto start = std::chrono::steady_clock::now();
    const std::string error = RunCycle(shortBound);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_THAT(error, StartsWith("REST request failed: "));
    EXPECT_THAT(Log(), ElementsAre(error));
    EXPECT_GE(elapsed, std::chrono::milliseconds(1900));
    EXPECT_LT(elapsed, std::chrono::seconds(20));  // far below the minute of the whole answer
    EXPECT_EQ(shortBound.ResultadoCiclo, rcNaoConcluida);
    EXPECT_EQ(shortBound.Timer.Interval(), IntervaloFalha);
    EXPECT_EQ(StoredDate(), "2024-03-01");
    EXPECT_THAT(Calls("ID"), IsEmpty());

    server.Route(kFeedPath, Json(200, FeedBody({}, {Segment("9", "1", "5102")})));
    EXPECT_EQ(RunCycle(shortBound), "");
    EXPECT_EQ(shortBound.ResultadoCiclo, rcConcluida);
    EXPECT_EQ(StoredDate(), "2024-03-10");
    EXPECT_EQ(Calls("DIRADOR_IDSEGMENTO"), Column{"9"});
    shortBound.Connvelmora.Close();
}

}  // namespace
}  // namespace vr::test
