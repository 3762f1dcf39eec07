// One update cycle at a time, on a scratch database and the HTTPS stand-in: when it asks for the
// feed, what it records, how it re-arms its timer and what it logs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "service/EventLoop.h"
#include "service/Intervals.h"
#include "service/MonotonicClock.h"
#include "tests/service/CycleTestSupport.h"

// The sanitizer runtime of this compiler takes some dynamic TLS blocks (those of the database
// client's plugins) for an old C library's layout and crashes the leak check at exit; reading
// them through its __tls_get_addr interceptor is what goes wrong, so that is switched off.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }

namespace vr::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

const std::string kEmptyFeed = R"({"erro":"0","produtos_troca_segmento":[],"tributos":[]})";

class Cycle : public CycleFixture {
protected:
    // Runs one cycle and checks what every cycle leaves behind: the timer armed again, the
    // connection closed.
    void RunCycle() {
        module.Timer.SetEnabled(false);
        module.TimerTimer();
        EXPECT_TRUE(module.Timer.Enabled());
        EXPECT_FALSE(module.Connvelmora.IsOpen());
    }

    // What the state was when the error handler took the error that left the cycle.
    struct AtHandler {
        std::string message;
        bool armed = false;
        bool connectionOpen = true;
        std::uint32_t interval = 0;
        std::string serverAttachments;
        std::size_t logEntries = 0;
    };

    // One cycle as the main loop runs a tick: an error that leaves it goes to ManipulaExcecoes.
    std::optional<AtHandler> RunCycleThroughTheLoop() {
        std::optional<AtHandler> seen;
        CycleFixture::RunCycleThroughTheLoop([&](const std::exception& e) {
            seen = AtHandler{e.what(), module.Timer.Enabled(), module.Connvelmora.IsOpen(),
                             module.Timer.Interval(),
                             db.Scalar("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$USER = 'USUARIO'"),
                             Log().size()};
        });
        return seen;
    }
};

// Whatever stops the cycle before the request: no request, no entry, thirty minutes.
TEST_F(Cycle, GatingOnADateColumn) {
    struct Case {
        const char* what;
        std::string assignments;
        TResultadoCiclo outcome;
    } const cases[] = {
        {"last update NULL", "DIRADOR_DATAULTIMAATUALIZACAO = NULL", rcSemConfiguracao},
        {"identifier empty", "BRISEN_ID = ''", rcSemConfiguracao},
        {"identifier NULL", "BRISEN_ID = NULL", rcSemConfiguracao},
        {"token empty", "BRISEN_TOKEN = ''", rcSemConfiguracao},
        {"token NULL", "BRISEN_TOKEN = NULL", rcSemConfiguracao},
        {"last update today", "DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-10'", rcNenhumaPendente},
        {"last update tomorrow", "DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-11'", rcNenhumaPendente},
        {"last update next year", "DIRADOR_DATAULTIMAATUALIZACAO = '2025-01-01'", rcNenhumaPendente},
    };
    server.Route(kFeedPath, Json(200, kEmptyFeed));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        db.Execute("UPDATE PADRAO SET BRISEN_ID = '" + kId + "', BRISEN_TOKEN = '" + kToken +
                   "', DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
        SetPadrao(c.assignments);
        const std::string before = StoredDate();
        RunCycle();
        EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
        EXPECT_EQ(module.ResultadoCiclo, c.outcome);
        EXPECT_THAT(Targets(), IsEmpty());
        EXPECT_THAT(Log(), IsEmpty());
        EXPECT_EQ(StoredDate(), before);
    }
}

TEST_F(Cycle, EmptyConfigurationTableIsFailedGating) {
    db.Execute("DELETE FROM PADRAO");
    server.Route(kFeedPath, Json(200, kEmptyFeed));
    RunCycle();
    EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
    EXPECT_NE(module.ResultadoCiclo, rcConcluida);
    EXPECT_THAT(Targets(), IsEmpty());
    EXPECT_FALSE(fs::exists(directory / "VevoveRazara.log"));
}

// With a time of day stored, only the calendar day counts; the feed's date is the day before
// the stored day, whatever its time.
TEST_F(Cycle, GatingAndDateParameterOnATimestampColumn) {
    db.Execute("ALTER TABLE PADRAO DROP DIRADOR_DATAULTIMAATUALIZACAO");
    db.Execute("ALTER TABLE PADRAO ADD DIRADOR_DATAULTIMAATUALIZACAO TIMESTAMP");
    struct Case {
        const char* what;
        LocalDateTime today;
        std::string stored;
        std::string date;  // empty: no request
    } const cases[] = {
        {"today at midnight", {2024, 3, 10, 9, 15, 0}, "2024-03-10 00:00:00", ""},
        {"today at 08:00", {2024, 3, 10, 9, 15, 0}, "2024-03-10 08:00:00", ""},
        {"today later than now", {2024, 3, 10, 9, 15, 0}, "2024-03-10 23:00:00", ""},
        {"future", {2024, 3, 10, 9, 15, 0}, "2024-03-12 00:00:00", ""},
        {"yesterday 23:59:59", {2024, 3, 10, 0, 0, 1}, "2024-03-09 23:59:59", "08-03-2024"},
        {"leap day before", {2024, 3, 2, 10, 0, 0}, "2024-03-01 14:30:00", "29-02-2024"},
        {"year before", {2024, 1, 5, 10, 0, 0}, "2024-01-01 00:00:00", "31-12-2023"},
    };
    server.Route(kFeedPath, Json(200, kEmptyFeed));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '" + c.stored + "'");
        clock.now = c.today;
        RunCycle();
        if (c.date.empty()) {
            EXPECT_THAT(Targets(), IsEmpty());
            EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
            EXPECT_EQ(StoredDate(), c.stored + ".0000");
        } else {
            EXPECT_THAT(Targets(), ElementsAre(kFeedPath + "?date=" + c.date));
            EXPECT_EQ(module.Timer.Interval(), IntervaloOK);
            char today[32];
            std::snprintf(today, sizeof today, "%04d-%02d-%02d 00:00:00.0000", c.today.year, c.today.month,
                          c.today.day);
            EXPECT_EQ(StoredDate(), today);
        }
        EXPECT_THAT(Log(), IsEmpty());
    }
}

TEST_F(Cycle, AppliedFeedRecordsTodayAndSleepsThreeHours) {
    clock.now = {2024, 3, 10, 9, 15, 0};
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-09'");
    const std::string body = R"({"erro":0,"mensagem":"Olá / \"ok\"","produtos_troca_segmento":[],)"
                             R"("tributos":[)" + Segment("5", "2101.11.10", "5405") + "]}";
    server.Route(kFeedPath, Json(200, body));
    RunCycle();

    const std::vector<standin::Request> requests = server.TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    const standin::Request& r = requests[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, kFeedPath + "?date=08-03-2024");
    EXPECT_THAT(r.Header("Accept"), ElementsAre("application/json, text/plain; q=0.9, text/html;q=0.8,"));
    EXPECT_THAT(r.Header("Accept-Charset"), ElementsAre("utf-8, *;q=0.8"));
    EXPECT_THAT(r.Header("Host"), ElementsAre(StartsWith("127.0.0.1")));
    ASSERT_EQ(r.Header("User-Agent").size(), 1u);
    EXPECT_FALSE(r.Header("User-Agent")[0].empty());
    for (const char* absent : {"Accept-Encoding", "Content-Type", "Authorization", "Cookie"}) {
        EXPECT_THAT(r.Header(absent), IsEmpty()) << absent;
    }

    EXPECT_EQ(module.ResultadoCiclo, rcConcluida);
    EXPECT_EQ(module.Timer.Interval(), IntervaloOK);
    EXPECT_EQ(StoredDate(), "2024-03-10");
    EXPECT_EQ(Calls("DIRADOR_IDSEGMENTO"), std::vector<std::string>{"5"});
    EXPECT_THAT(Log(), IsEmpty());
    // No product was consulted, so the dump still holds the feed answer, compact, on one line.
    EXPECT_EQ(Dump(), R"({"erro":0,"mensagem":"Ol\u00E1 \/ \"ok\"","produtos_troca_segmento":[],"tributos":[)" +
                          Segment("5", "2101.11.10", "5405") + "]}\r\n");
}

// The committed date is what the next cycle reads: on the same day it makes no request.
TEST_F(Cycle, SecondCycleOnTheSameDayAsksNothing) {
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    server.Route(kFeedPath, Json(200, kEmptyFeed));
    RunCycle();
    EXPECT_EQ(Targets().size(), 1u);
    EXPECT_EQ(module.Timer.Interval(), IntervaloOK);
    clock.now.hour = 12;
    RunCycle();
    EXPECT_THAT(Targets(), IsEmpty());
    EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
    clock.now = {2024, 3, 11, 0, 0, 0};
    RunCycle();
    EXPECT_THAT(Targets(), ElementsAre(kFeedPath + "?date=09-03-2024"));
    EXPECT_EQ(StoredDate(), "2024-03-11");
}

TEST_F(Cycle, OnlyTheFirstConfigurationRowCounts) {
    db.Execute("INSERT INTO PADRAO (ID, CGC, ESTADO, BRISEN_ID, BRISEN_TOKEN, DIRADOR_DATAULTIMAATUALIZACAO) "
               "VALUES (2, '98.765.432/0001-10', 'RJ', 'outra', 'outro-token', '2024-02-01')");
    server.Route(kFeedPath, Json(200, kEmptyFeed));
    server.Route("/v2.0/atualizacoes/outra/98765432000110/outro-token", Json(200, kEmptyFeed));
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01' WHERE ID = 1");

    RunCycle();
    EXPECT_THAT(Targets(), ElementsAre(kFeedPath + "?date=29-02-2024"));
    EXPECT_EQ(StoredDate(1), "2024-03-10");
    EXPECT_EQ(StoredDate(2), "2024-02-01");

    // The first row failing the gating ends the cycle; the second one is not looked at.
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01' WHERE ID = 1");
    SetPadrao("BRISEN_TOKEN = '' WHERE ID = 1");
    RunCycle();
    EXPECT_THAT(Targets(), IsEmpty());
    EXPECT_EQ(StoredDate(2), "2024-02-01");
}

TEST_F(Cycle, FeedNotAppliedLogsItsMessage) {
    struct Case {
        const char* erro;
        const char* mensagem;
    } const cases[] = {
        {R"("1")", R"("Token inválido")"},
        {R"("00")", R"("  espaços  e\tum tab ")"},
        {"false", R"("Conta bloqueada")"},
        {R"(" 0")", "12.50"},
        {"1", "null"},
    };
    // A number's value text is the number as the locale writes it.
    const std::string expected[] = {"Token inválido", "  espaços  e\tum tab ", "Conta bloqueada", "12.5", "null"};
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    std::vector<std::string> logged;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].erro);
        const std::string body = std::string(R"({"erro":)") + cases[i].erro + R"(,"mensagem":)" + cases[i].mensagem +
                                 R"(,"produtos_troca_segmento":[)" + Product("789", "X") + R"(],"tributos":[)" +
                                 Segment("1", "1", "5102") + "]}";
        server.Route(kFeedPath, Json(200, body));
        RunCycle();
        logged.push_back(expected[i]);
        EXPECT_EQ(Log(), logged);
        EXPECT_EQ(module.ResultadoCiclo, rcNaoConcluida);
        EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
        EXPECT_EQ(StoredDate(), "2024-03-01");
        EXPECT_THAT(Targets(), ElementsAre(StartsWith(kFeedPath)));  // no consultation
        EXPECT_THAT(Calls("ID"), IsEmpty());
        EXPECT_THAT(Dump(), StartsWith(std::string(R"({"erro":)") + cases[i].erro));
    }
}

// An error answer without "mensagem" is a malformed answer: it ends the cycle and reaches the
// log through the error handler, after the end steps.
TEST_F(Cycle, ErrorAnswerWithoutMessageEndsTheCycle) {
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    server.Route(kFeedPath, Json(200, R"({"erro":"1","produtos_troca_segmento":[],"tributos":[]})"));
    const std::optional<AtHandler> seen = RunCycleThroughTheLoop();
    ASSERT_TRUE(seen.has_value());
    EXPECT_THAT(seen->message, HasSubstr("mensagem"));
    EXPECT_TRUE(seen->armed);
    EXPECT_FALSE(seen->connectionOpen);
    EXPECT_EQ(seen->interval, IntervaloFalha);
    EXPECT_EQ(seen->logEntries, 0u);
    EXPECT_THAT(Log(), ElementsAre(seen->message));
    EXPECT_EQ(StoredDate(), "2024-03-01");
}

TEST_F(Cycle, FeedStatusOtherThan200IsLoggedAndNotApplied) {
    standin::Response html;
    html.status = 404;
    html.reason = "Not Found";
    html.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    html.body = "<html>\r\n<body>Página não encontrada</body>\r\n</html>";
    standin::Response empty = Json(400, "");
    struct Case {
        const char* what;
        standin::Response response;
        std::string logged;
    } const cases[] = {
        {"404 with a JSON message", Json(404, R"({"erro":"1","mensagem":"Conta não encontrada"})"),
         "Conta não encontrada"},
        {"404 with HTML", html, html.body},
        {"400 with an empty message", Json(400, R"({"mensagem":""})"), R"({"mensagem":""})"},
        {"400 with an empty body", empty, ""},
    };
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(directory / "VevoveRazara.log");
        fs::remove(directory / "BRISEN_RESPOSTA.LOG");
        server.Route(kFeedPath, c.response);
        RunCycle();
        EXPECT_THAT(Log(), ElementsAre(c.logged));
        EXPECT_EQ(module.ResultadoCiclo, rcNaoConcluida);
        EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
        EXPECT_EQ(StoredDate(), "2024-03-01");
        EXPECT_FALSE(fs::exists(directory / "BRISEN_RESPOSTA.LOG"));  // only 200 answers are dumped
    }
}

// A 503 leaves the cycle as an error: the connection is closed and the timer armed before the
// error handler writes the status line.
TEST_F(Cycle, ServerErrorEndsTheCycleAfterTheEndSteps) {
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    server.Route(kFeedPath, Json(503, R"({"mensagem":"em manutenção"})", "Service Unavailable"));
    const std::optional<AtHandler> seen = RunCycleThroughTheLoop();
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->message, "HTTP/1.1 503 Service Unavailable");
    EXPECT_TRUE(seen->armed);
    EXPECT_FALSE(seen->connectionOpen);
    EXPECT_EQ(seen->serverAttachments, "0");
    EXPECT_EQ(seen->interval, IntervaloFalha);
    EXPECT_EQ(seen->logEntries, 0u);
    EXPECT_THAT(Log(), ElementsAre("HTTP/1.1 503 Service Unavailable"));
    EXPECT_EQ(StoredDate(), "2024-03-01");
    EXPECT_EQ(module.ResultadoCiclo, rcNaoConcluida);
}

// The three hours are set only once the new date is stored: a refused write of the date ends
// the cycle with the thirty-minute retry, the writes of the feed kept.
TEST_F(Cycle, RefusedDateWriteKeepsTheShortInterval) {
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    db.Execute("CREATE TRIGGER PADRAO_SEM_DATA FOR PADRAO BEFORE UPDATE AS BEGIN EXCEPTION EXC_SEGMENTO; END");
    db.Execute("GRANT USAGE ON EXCEPTION EXC_SEGMENTO TO TRIGGER PADRAO_SEM_DATA");
    server.Route(kFeedPath, Json(200, FeedBody({}, {Segment("8", "1", "5102")})));
    const std::optional<AtHandler> seen = RunCycleThroughTheLoop();
    ASSERT_TRUE(seen.has_value());
    EXPECT_THAT(seen->message, HasSubstr("EXC_SEGMENTO"));
    EXPECT_TRUE(seen->armed);
    EXPECT_FALSE(seen->connectionOpen);
    EXPECT_EQ(seen->interval, IntervaloFalha);
    EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
    EXPECT_NE(module.ResultadoCiclo, rcConcluida);
    EXPECT_THAT(Log(), ElementsAre(seen->message));
    EXPECT_EQ(StoredDate(), "2024-03-01");
    EXPECT_EQ(Calls("DIRADOR_IDSEGMENTO"), std::vector<std::string>{"8"});
}

TEST_F(Cycle, UnreachableDatabaseLogsOneEntryPerCycle) {
    struct Case {
        const char* what;
        std::string ini;
    } const cases[] = {
        {"no such database file", IniFor(test::kServer, (directory / "nao-existe.fdb").string())},
        {"nothing listening on the port", IniFor("127.0.0.1/1", db.path())},
    };
    SetPadrao("DIRADOR_DATAULTIMAATUALIZACAO = '2024-03-01'");
    server.Route(kFeedPath, Json(200, kEmptyFeed));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(directory / "VevoveRazara.log");
        WriteIni(c.ini);
        for (int cycle = 1; cycle <= 2; ++cycle) {
            RunCycle();
            EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
            EXPECT_EQ(module.ResultadoCiclo, rcNaoConcluida);
            const std::vector<std::string> log = Log();
            ASSERT_EQ(log.size(), static_cast<std::size_t>(cycle));
            const std::string prefix = "Falha na conexão com o banco de dados: ";
            EXPECT_THAT(log.back(), StartsWith(prefix));
            EXPECT_GT(log.back().size(), prefix.size());
        }
        EXPECT_THAT(Targets(), IsEmpty());
    }
    // The INI file is read at every cycle: mended, the next cycle connects and updates.
    WriteIni(IniFor(test::kServer, db.path()));
    RunCycle();
    EXPECT_EQ(module.ResultadoCiclo, rcConcluida);
    EXPECT_EQ(Targets().size(), 1u);
}

// A log that cannot be written: the failed connection's entry ends the cycle, and what reaches
// the system log (the loop's last resort) carries the message that was due, not only the reason
// the log failed.
TEST_F(Cycle, AnUnwritableLogHandsTheDueMessageToTheSystemLog) {
    fs::create_directories(directory / "VevoveRazara.log" / "ocupado");
    WriteIni(IniFor("127.0.0.1/1", db.path()));
    std::vector<std::string> lastResort;
    SteadyClock steady;
    EventLoop loop(steady, [&](const std::exception& e) { lastResort.push_back(e.what()); });
    module.ServiceCreate(loop);
    loop.Post([this] { module.Timer.Trigger(); });
    loop.PostQuit();
    loop.Run();

    ASSERT_EQ(lastResort.size(), 1u);
    EXPECT_THAT(lastResort[0], HasSubstr((directory / "VevoveRazara.log").string()));
    EXPECT_THAT(lastResort[0], HasSubstr("Mensagem que não pôde ser registrada: Falha na conexão com o banco de dados: "));
    // Told once, not the failure about the failure.
    EXPECT_EQ(lastResort[0].find("Mensagem que não pôde ser registrada"),
              lastResort[0].rfind("Mensagem que não pôde ser registrada"));
    EXPECT_TRUE(module.LogEntryLost());
    EXPECT_TRUE(module.Timer.Enabled());

    // Once the log can be written again, the next entry goes in and nothing counts as lost.
    fs::remove_all(directory / "VevoveRazara.log");
    module.DoSaveLog("de volta");
    EXPECT_FALSE(module.LogEntryLost());
    EXPECT_THAT(Log(), ElementsAre("de volta"));
    module.ServiceDestroy();
}

}  // namespace
}  // namespace vr::test
