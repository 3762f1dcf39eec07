// The executable's foreground run (/ONCE) against a scratch database and the HTTPS stand-in: its
// exit code and line, the activity log beside it, the rows written and the recorded date.

#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "platform/SystemClock.h"
#include "tests/service/CycleTestSupport.h"

namespace vr::test {
namespace {

using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Iso(const LocalDateTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() {
        // The executable reads its INI file and writes its log beside itself.
        std::error_code linked;
        fs::create_hard_link(VR_SERVICE_BINARY, binary, linked);
        if (linked) fs::copy_file(VR_SERVICE_BINARY, binary);
        WriteIni(IniFor(test::kServer, db.path()));
        server.ClearRoutes();
        server.TakeRequests();
    }
    ~EndToEnd() override {
        server.ClearRoutes();
    }

    void WriteIni(const std::string& content) {
        std::ofstream(directory / "Rivelto.ini", std::ios::binary | std::ios::trunc) << content;
    }

    // One foreground cycle, pointed at the stand-in; its CA comes from this process's environment.
    // A sanitized build of the executable gets the same runtime option as this test (see
    // Cycle_test.cpp) and an exit code of its own for its findings; other builds ignore both.
    // `environment`: more arguments for env(1) before the program, such as "-u NAME".
    Outcome RunOnce(const std::string& environment = "") {
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string asanOptions = (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : std::string()) +
                                        "intercept_tls_get_addr=0:exitcode=86";
        const std::string command = "env -u NOTIFY_SOCKET " + environment + " LC_ALL=C.UTF-8 'ASAN_OPTIONS=" + asanOptions +
                                    "' 'VEVOVERAZARA_BASE_URL=" + server.Origin() + "' '" +
                                    binary.string() + "' /ONCE 2>'" + (directory / "stderr.txt").string() + "'";
        Outcome outcome;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) return outcome;
        char buffer[512];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) outcome.out.append(buffer, got);
        const int status = ::pclose(pipe);
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.err = Slurp(directory / "stderr.txt");
        return outcome;
    }

    std::vector<std::string> Log() const { return LogMessages(directory / "VevoveRazara.log"); }
    std::string StoredDate() {
        return db.Scalar("SELECT COALESCE(CAST(DIRADOR_DATAULTIMAATUALIZACAO AS VARCHAR(30)), 'NULL') FROM PADRAO");
    }
    std::vector<std::string> Calls(const std::string& column) {
        return db.Column("SELECT COALESCE(CAST(" + column + " AS VARCHAR(40)), 'NULL') FROM DIRADOR_CHAMADAS ORDER BY ID");
    }

    test::TestDatabase db;
    standin::Server& server = Standin();
    const TempDir scratch{"vr-e2e-"};
    const fs::path directory = scratch.path();
    const fs::path binary = directory / "VevoveRazara";
};

TEST_F(EndToEnd, OneCycleAppliesTheFeed) {
    db.Execute("UPDATE PADRAO SET DIRADOR_DATAULTIMAATUALIZACAO = '2020-01-15'");
    server.Route(kFeedPath,
                 Json(200, FeedBody({Product("789001", "CAFÉ")}, {Segment("17", "2101.11.10", "5405")})));
    server.Route(kConsultaPath, Found("0000000000001", "0901.21.00"));
    const SystemClock clock;
    const std::string before = Iso(clock.Now());
    const Outcome outcome = RunOnce();
    const std::string after = Iso(clock.Now());

    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "Atualização concluída\n");
    EXPECT_THAT(Log(), IsEmpty());
    std::vector<std::string> targets;
    for (const standin::Request& r : server.TakeRequests()) targets.push_back(r.target);
    EXPECT_THAT(targets, ElementsAre(kFeedPath + "?date=14-01-2020", kConsultaPath + "?ean=789001&descricao=CAF%C3%89"));
    EXPECT_EQ(Calls("CODIGOPRODUTO"), (std::vector<std::string>{"0000000000001", "NULL"}));
    EXPECT_EQ(Calls("DIRADOR_NCM"), (std::vector<std::string>{"09012100", "21011110"}));
    EXPECT_EQ(Calls("ATUALIZARSEGMENTO"), (std::vector<std::string>{"N", "Y"}));
    EXPECT_EQ(Calls("DIRADOR_IDSEGMENTO"), (std::vector<std::string>{"0", "17"}));
    EXPECT_THAT(StoredDate(), AnyOf(before, after));
    EXPECT_THAT(Slurp(directory / "BRISEN_RESPOSTA.LOG"), HasSubstr("\"ean_cliente\": \"0000000000001\""));
}

TEST_F(EndToEnd, OutcomesOtherThanAnUpdate) {
    struct Case {
        const char* what;
        std::string assignments;
        std::string ini;  // empty: the scratch database
        standin::Response feed;
        int exitCode;
        std::string line;
        std::vector<std::string> log;  // prefixes of the entries
    } const cases[] = {
        {"nothing due", "DIRADOR_DATAULTIMAATUALIZACAO = '2999-01-01'", "", Json(200, FeedBody({}, {})), 0,
         "Nenhuma atualização pendente\n", {}},
        {"no token", "BRISEN_TOKEN = NULL", "", Json(200, FeedBody({}, {})), 1,
         "Nenhuma atualização feita: PADRAO sem data da última atualização, BRISEN_ID ou BRISEN_TOKEN\n", {}},
        {"feed error", "DIRADOR_DATAULTIMAATUALIZACAO = '2020-01-15'", "",
         Json(200, R"({"erro":"1","mensagem":"Token expirado"})"), 1,
         "Atualização não concluída; veja VevoveRazara.log\n", {"Token expirado"}},
        {"error answer without a message", "DIRADOR_DATAULTIMAATUALIZACAO = '2020-01-15'", "",
         Json(200, R"({"erro":"1"})"), 1, "Atualização não concluída; veja VevoveRazara.log\n", {""}},
        {"service unavailable", "DIRADOR_DATAULTIMAATUALIZACAO = '2020-01-15'", "",
         Json(503, "", "Service Unavailable"), 1, "Atualização não concluída; veja VevoveRazara.log\n",
         {"HTTP/1.1 503 Service Unavailable"}},
        {"database unreachable", "DIRADOR_DATAULTIMAATUALIZACAO = '2020-01-15'",
         IniFor("127.0.0.1/1", "/nao/existe.fdb"), Json(200, FeedBody({}, {})), 1,
         "Atualização não concluída; veja VevoveRazara.log\n", {"Falha na conexão com o banco de dados: "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        db.Execute("UPDATE PADRAO SET BRISEN_TOKEN = '" + kToken + "'");
        db.Execute("UPDATE PADRAO SET " + c.assignments);
        fs::remove(directory / "VevoveRazara.log");
        WriteIni(c.ini.empty() ? IniFor(test::kServer, db.path()) : c.ini);
        server.Route(kFeedPath, c.feed);
        const std::string before = StoredDate();
        const Outcome outcome = RunOnce();
        EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err;
        EXPECT_EQ(outcome.out, c.line);
        const std::vector<std::string> log = Log();
        ASSERT_EQ(log.size(), c.log.size());
        for (std::size_t i = 0; i < log.size(); ++i) EXPECT_THAT(log[i], StartsWith(c.log[i]));
        EXPECT_EQ(StoredDate(), before);
        EXPECT_THAT(Calls("ID"), IsEmpty());
        server.TakeRequests();
    }
}

// The entry passes SSL_CERT_FILE and SSL_CERT_DIR on to the exchanges: without either the
// stand-in's certificate is refused, with its CA in a hashed directory it is trusted.
TEST_F(EndToEnd, CertificatesTrustedThroughTheEnvironment) {
    const TempDir certificates{"vr-e2e-ca-"};
    fs::copy_file(server.CaFile(), certificates.path() / "ca.crt");
    ASSERT_EQ(std::system(("openssl rehash '" + certificates.path().string() + "'").c_str()), 0);
    db.Execute("UPDATE PADRAO SET DIRADOR_DATAULTIMAATUALIZACAO = '2020-01-15'");
    server.Route(kFeedPath, Json(200, FeedBody({}, {Segment("17", "2101.11.10", "5405")})));

    const Outcome refused = RunOnce("-u SSL_CERT_FILE -u SSL_CERT_DIR");
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    const std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_THAT(log[0], StartsWith("REST request failed: "));
    EXPECT_THAT(Calls("ID"), IsEmpty());

    fs::remove(directory / "VevoveRazara.log");
    const Outcome trusted = RunOnce("-u SSL_CERT_FILE 'SSL_CERT_DIR=" + certificates.path().string() + "'");
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
    EXPECT_EQ(trusted.out, "Atualização concluída\n");
    EXPECT_THAT(Log(), IsEmpty());
    EXPECT_EQ(Calls("DIRADOR_IDSEGMENTO"), std::vector<std::string>{"17"});
}

}  // namespace
}  // namespace vr::test
