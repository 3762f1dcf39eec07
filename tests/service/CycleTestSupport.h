#pragma once

// The update cycle on real parts: a scratch database on the local Firebird server, the HTTPS
// stand-in of the classification service and the service module with a clock the test sets.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "service/EventLoop.h"
#include "service/Intervals.h"
#include "service/MonotonicClock.h"
#include "service/UVevoveRazara.h"
#include "tests/support/ManualClock.h"
#include "tests/support/StandinEnvironment.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFiles.h"

namespace vr::test {

namespace fs = std::filesystem;

// The scratch database's configuration row: the account the feed is asked for.
inline const std::string kId = "loja-42";
inline const std::string kCgcDigits = "12345678000190";
inline const std::string kToken = "token-secreto";
inline const std::string kFeedPath = "/v2.0/atualizacoes/" + kId + "/" + kCgcDigits + "/" + kToken;
inline const std::string kConsultaPath = "/v2.0/consulta-ean/" + kId + "/" + kCgcDigits + "/" + kToken;

// The messages of the activity log's entries, in order. Every entry starts with CR LF and a
// timestamp line "DD/MM/YYYY HH:MM:SS - ".
inline std::vector<std::string> LogMessages(const fs::path& logFile) {
    const std::string log = Slurp(logFile);
    static const std::regex marker("\r\n\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d - ");
    std::vector<std::string> messages;
    std::vector<std::pair<std::size_t, std::size_t>> starts;  // (marker position, text position)
    for (auto it = std::sregex_iterator(log.begin(), log.end(), marker); it != std::sregex_iterator(); ++it) {
        starts.emplace_back(static_cast<std::size_t>(it->position()),
                            static_cast<std::size_t>(it->position() + it->length()));
    }
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1].first : log.size();
        std::string message = log.substr(starts[i].second, end - starts[i].second);
        if (message.ends_with("\r\n")) message.resize(message.size() - 2);
        messages.push_back(message);
    }
    return messages;
}

inline std::string IniFor(const std::string& server, const std::string& path) {
    return "[Rivelto]\r\nServidor=" + server + "\r\nCaminho=" + path + "\r\n";
}

inline standin::Response Json(int status, std::string body, std::string reason = "") {
    standin::Response r;
    r.status = status;
    r.reason = !reason.empty() ? reason : status == 200 ? "OK" : "Erro";
    r.headers = {{"Content-Type", "application/json; charset=utf-8"}};
    r.body = std::move(body);
    return r;
}

// A tax entry as both answers carry it; `extra` adds members (e.g. "idsegmento") at its start.
inline std::string TaxEntry(const std::string& ncm, const std::string& cfopVenda, const std::string& extra = "",
                            bool withCfopVenda = true) {
    return "{" + extra + R"("ean_cliente":"","ncm":")" + ncm +
           R"(","cest":"17.099.00","idlista":2,"piscofins_cst_entrada":"70","piscofins_cst_saida":"04",)"
           R"("piscofins_naturezarec":"101","ipi":0,"icms_saida_csosn":"","icms_saida_cst":"060",)"
           R"("base_reduzida":0,"mva":38.24,"icms_fcp":0,"cod_beneficio":"")" +
           (withCfopVenda ? R"(,"cfop_venda":")" + cfopVenda + "\"" : std::string()) + R"(,"desoneracao_icms":0})";
}

inline std::string Segment(const std::string& idsegmento, const std::string& ncm, const std::string& cfopVenda,
                           bool withCfopVenda = true) {
    return TaxEntry(ncm, cfopVenda, R"("idsegmento":")" + idsegmento + "\",", withCfopVenda);
}

inline std::string Product(const std::string& ean, const std::string& descricao) {
    return R"({"ean":")" + ean + R"(","descricao":")" + descricao + "\"}";
}

// A consultation answer that finds the product (its entry carries the service's barcode).
inline standin::Response Found(const std::string& ean, const std::string& ncm) {
    std::string entry = TaxEntry(ncm, "5405");
    entry.replace(entry.find(R"("ean_cliente":"")"), 16, R"("ean_cliente":")" + ean + "\"");
    return Json(200, R"({"mensagem":"sucesso","tributos":[)" + entry + "]}");
}

inline std::string FeedBody(const std::vector<std::string>& products, const std::vector<std::string>& segments) {
    auto join = [](const std::vector<std::string>& items) {
        std::string out;
        for (const std::string& item : items) out += (out.empty() ? "" : ",") + item;
        return out;
    };
    return R"({"erro":"0","mensagem":"","produtos_troca_segmento":[)" + join(products) + R"(],"tributos":[)" +
           join(segments) + "]}";
}

// The database's bounds the module is given.
struct DbBounds {
    std::uint32_t conexaoMs = LimiteConexaoBancoMs;
    std::uint32_t chamadaMs = LimiteChamadaBancoMs;
};

// The module on a scratch database, with the stand-in answering its requests.
class CycleFixture : public ::testing::Test {
protected:
    explicit CycleFixture(DbBounds bounds = {}) : bounds_(bounds) {
        WriteIni(IniFor(test::kServer, db.path()));
        server.ClearRoutes();
        server.TakeRequests();
    }
    ~CycleFixture() override {
        module.Connvelmora.Close();
        server.ClearRoutes();
    }

    void WriteIni(const std::string& content) {
        std::ofstream(directory / "Rivelto.ini", std::ios::binary | std::ios::trunc) << content;
    }
    void SetPadrao(const std::string& assignments) { db.Execute("UPDATE PADRAO SET " + assignments); }

    std::vector<std::string> Log() const { return LogMessages(directory / "VevoveRazara.log"); }
    std::string Dump() const { return Slurp(directory / "BRISEN_RESPOSTA.LOG"); }
    // Read through a fresh attachment: what is committed, as another user sees it.
    std::string StoredDate(int id = 1) {
        return db.Scalar("SELECT COALESCE(CAST(DIRADOR_DATAULTIMAATUALIZACAO AS VARCHAR(30)), 'NULL') FROM PADRAO "
                         "WHERE ID = " + std::to_string(id));
    }
    std::vector<std::string> Calls(const std::string& column) {
        return db.Column("SELECT COALESCE(CAST(" + column + " AS VARCHAR(40)), 'NULL') FROM DIRADOR_CHAMADAS ORDER BY ID");
    }
    // One cycle as the main loop runs a tick. An error that leaves it reaches `atHandler` first,
    // then ManipulaExcecoes, as in the service.
    void RunCycleThroughTheLoop(const std::function<void(const std::exception&)>& atHandler) {
        RunCycleThroughTheLoop(module, atHandler);
    }
    // The same for another module of the test's, on the same store.
    static void RunCycleThroughTheLoop(TSrvVevoveRazara& runner,
                                       const std::function<void(const std::exception&)>& atHandler) {
        SteadyClock steady;
        EventLoop loop(steady, [](const std::exception&) {});
        runner.ServiceCreate(loop);
        loop.SetErrorHandler([&](const std::exception& e) {
            atHandler(e);
            runner.ManipulaExcecoes(e);
        });
        loop.Post([&runner] { runner.Timer.Trigger(); });
        loop.PostQuit();
        loop.Run();
    }
    // After a cycle of a store last updated on 2024-03-01, on the fixture's 2024-03-10.
    void ExpectApplied() {
        EXPECT_EQ(module.ResultadoCiclo, rcConcluida);
        EXPECT_EQ(module.Timer.Interval(), IntervaloOK);
        EXPECT_EQ(StoredDate(), "2024-03-10");
    }
    void ExpectNotApplied() {
        EXPECT_EQ(module.ResultadoCiclo, rcNaoConcluida);
        EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
        EXPECT_EQ(StoredDate(), "2024-03-01");
    }
    std::vector<std::string> Targets() {
        std::vector<std::string> targets;
        for (const standin::Request& r : server.TakeRequests()) targets.push_back(r.target);
        return targets;
    }

    const DbBounds bounds_;
    test::TestDatabase db;
    standin::Server& server = Standin();
    const TempDir scratch{"vr-cycle-"};
    const fs::path directory = scratch.path();
    ManualClock clock{{2024, 3, 10, 9, 15, 0}};
    TSrvVevoveRazara module{ModuleSetup()};

private:
    TModuleSetup ModuleSetup() {
        TModuleSetup setup{directory, RegionalSettings{}, &clock};
        setup.baseAddress = server.Origin();
        setup.httpsTrust = StandinTrust();
        // A stalled consultation gives up sooner than the service's 10 s; the rule is the same.
        setup.timeoutConsultaEANMs = 1500;
        setup.limiteConexaoBancoMs = bounds_.conexaoMs;
        setup.limiteChamadaBancoMs = bounds_.chamadaMs;
        return setup;
    }
};

}  // namespace vr::test
