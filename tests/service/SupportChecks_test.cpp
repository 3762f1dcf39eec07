// The support checks (/CHECK) against the real server and the HTTPS stand-in: all pass on a
// healthy store and write nothing; each fails for its own reason when its part is broken.

#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "tests/service/CycleTestSupport.h"

namespace vr::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

using Names = std::set<std::string>;

const Names kAllChecks = {
    "Arquivo INI", "Biblioteca cliente do Firebird", "Conexão com o banco de dados", "Tabela PADRAO",
    "Procedimento PROC_DIRADOR", "Catálogo de exceções", "Serviço de classificação",
    "Arquivo VevoveRazara.log", "Arquivo BRISEN_RESPOSTA.LOG",
};

class SupportChecks : public ::testing::Test {
protected:
    SupportChecks() {
        WriteIni(IniFor(test::kServer, db.path()));
        server.ClearRoutes();
        server.TakeRequests();
    }
    ~SupportChecks() override { server.ClearRoutes(); }

    void WriteIni(const std::string& content) {
        std::ofstream(directory / "Rivelto.ini", std::ios::binary | std::ios::trunc) << content;
    }

    // The checks of a fresh module, as the program entry would make it, by name.
    std::map<std::string, TVerificacao> Run(std::optional<std::string> baseAddress = std::nullopt) {
        TModuleSetup setup{directory, RegionalSettings{}, &clock};
        setup.baseAddress = baseAddress.value_or(server.Origin());
        setup.httpsTrust = StandinTrust();
        TSrvVevoveRazara module(setup);
        std::map<std::string, TVerificacao> byName;
        for (const TVerificacao& v : module.VerificaInstalacao()) {
            EXPECT_TRUE(byName.emplace(v.nome, v).second) << "twice: " << v.nome;
        }
        return byName;
    }

    static Names Failed(const std::map<std::string, TVerificacao>& checks) {
        Names failed;
        for (const auto& [name, check] : checks) {
            if (!check.ok) failed.insert(name);
        }
        return failed;
    }

    static Names NamesOf(const std::map<std::string, TVerificacao>& checks) {
        Names names;
        for (const auto& entry : checks) names.insert(entry.first);
        return names;
    }

    static std::string Shown(const std::map<std::string, TVerificacao>& checks) {
        std::vector<TVerificacao> all;
        for (const auto& entry : checks) all.push_back(entry.second);
        return TextoVerificacoes(all);
    }

    std::vector<std::string> DirectoryEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
        return names;
    }

    test::TestDatabase db;
    standin::Server& server = Standin();
    const TempDir scratch{"vr-check-"};
    const fs::path directory = scratch.path();
    ManualClock clock{{2026, 3, 20, 10, 0, 0}};
};

// A healthy store: every check passes, and nothing is left behind: no log, no dump, no probe
// file, the configuration row as it was, no procedure call; the stand-in saw one request for
// the root of its address, no feed request.
TEST_F(SupportChecks, HealthyStorePassesAndWritesNothing) {
    const std::string dateBefore = db.Scalar("SELECT CAST(DIRADOR_DATAULTIMAATUALIZACAO AS VARCHAR(30)) FROM PADRAO");
    const auto checks = Run();
    EXPECT_EQ(NamesOf(checks), kAllChecks);
    EXPECT_THAT(Failed(checks), IsEmpty()) << Shown(checks);
    EXPECT_THAT(checks.at("Arquivo INI").detalhe, HasSubstr("Caminho=" + db.path()));
    EXPECT_THAT(checks.at("Conexão com o banco de dados").detalhe,
                HasSubstr(std::string(test::kServer) + "/3050:" + db.path() + ": conectado, Firebird 3."));
    EXPECT_THAT(checks.at("Tabela PADRAO").detalhe,
                HasSubstr("última atualização 14/03/2026; atualização devida no próximo ciclo"));
    EXPECT_THAT(checks.at("Procedimento PROC_DIRADOR").detalhe, HasSubstr("30 parâmetros"));

    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"Rivelto.ini"});
    EXPECT_EQ(db.Scalar("SELECT CAST(DIRADOR_DATAULTIMAATUALIZACAO AS VARCHAR(30)) FROM PADRAO"), dateBefore);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "0");
    const std::vector<standin::Request> requests = server.TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/");
}

// One part broken at a time, each on a store of its own: its own check fails with its own
// reason; the checks that cannot run without it fail as not checked; the others still pass.
TEST_F(SupportChecks, EachBrokenPartFailsItsOwnCheck) {
    const Names database = {"Conexão com o banco de dados", "Tabela PADRAO", "Procedimento PROC_DIRADOR",
                            "Catálogo de exceções"};
    Names noIni = database;
    noIni.insert("Arquivo INI");
    struct Case {
        const char* name;
        std::vector<std::string> scripts;
        std::function<void(TestDatabase&)> breakIt;
        std::optional<std::string> baseAddress;
        Names failing;
        std::string check;   // the check whose reason is looked at
        std::string reason;  // what its reason says
    };
    const Case cases[] = {
        {"no INI file", {"schema.sql"}, [&](TestDatabase&) { fs::remove(directory / "Rivelto.ini"); }, std::nullopt,
         noIni, "Arquivo INI", "Rivelto.ini não encontrado; valores padrão: Servidor=localhost"},
        {"wrong database path", {"schema.sql"},
         [&](TestDatabase&) { WriteIni(IniFor(test::kServer, (directory / "OUTRA.FDB").string())); }, std::nullopt,
         database, "Conexão com o banco de dados", "OUTRA.FDB"},
        {"procedure without a parameter", {"schema.sql"},
         [](TestDatabase& d) {
             d.Run(ProcDiradorVariant({"ATUALIZARSEGMENTO"}, {},
                                      "  INSERT INTO DIRADOR_CHAMADAS (TRANSACAO, CODIGOPRODUTO) "
                                      "VALUES (CURRENT_TRANSACTION, :CODIGOPRODUTO);"));
         },
         std::nullopt, {"Procedimento PROC_DIRADOR"}, "Procedimento PROC_DIRADOR",
         "falta o parâmetro ATUALIZARSEGMENTO"},
        {"token missing", {"schema.sql"}, [](TestDatabase& d) { d.Execute("UPDATE PADRAO SET BRISEN_TOKEN = ''"); },
         std::nullopt, {"Tabela PADRAO"}, "Tabela PADRAO", "vazio: BRISEN_TOKEN"},
        {"untrusted certificate", {"schema.sql"}, [](TestDatabase&) {},
         "https://127.0.0.1:" + std::to_string(server.untrustedPort()), {"Serviço de classificação"},
         "Serviço de classificação", "REST request failed"},
        {"log path is a directory", {"schema.sql"},
         [&](TestDatabase&) { fs::create_directory(directory / "VevoveRazara.log"); }, std::nullopt,
         {"Arquivo VevoveRazara.log"}, "Arquivo VevoveRazara.log", "não é um arquivo comum"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDatabase store(c.scripts);
        WriteIni(IniFor(test::kServer, store.path()));
        fs::remove_all(directory / "VevoveRazara.log");
        c.breakIt(store);
        const auto checks = Run(c.baseAddress);
        EXPECT_EQ(NamesOf(checks), kAllChecks);
        EXPECT_EQ(Failed(checks), c.failing) << Shown(checks);
        ASSERT_TRUE(checks.count(c.check));
        EXPECT_THAT(checks.at(c.check).detalhe, HasSubstr(c.reason));
    }
}

// A procedure parameter of a type that cannot take what the service sends.
TEST_F(SupportChecks, IncompatibleParameterTypeFails) {
    db.Run(ProcDiradorVariant({"DIRADOR_ALIQUOTAIPI"}, {"DIRADOR_ALIQUOTAIPI INTEGER"},
                              "  INSERT INTO DIRADOR_CHAMADAS (TRANSACAO, CODIGOPRODUTO) "
                              "VALUES (CURRENT_TRANSACTION, :CODIGOPRODUTO);"));
    const auto checks = Run();
    EXPECT_EQ(Failed(checks), Names{"Procedimento PROC_DIRADOR"});
    EXPECT_THAT(checks.at("Procedimento PROC_DIRADOR").detalhe,
                HasSubstr("DIRADOR_ALIQUOTAIPI é INTEGER, esperado NUMERIC, DECIMAL ou DOUBLE"));
}

// The executable as a technician runs it: its lines and exit code, healthy and with its
// directory mounted read-only (a mount namespace of its own, so nothing else sees it).
TEST_F(SupportChecks, ExecutableExitCodeAndReadOnlyDirectory) {
    const fs::path binary = directory / "VevoveRazara";
    std::error_code linked;
    fs::create_hard_link(VR_SERVICE_BINARY, binary, linked);
    if (linked) fs::copy_file(VR_SERVICE_BINARY, binary);
    const auto run = [&](const std::string& prefix, std::string& out) {
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string asanOptions =
            (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : std::string()) + "intercept_tls_get_addr=0";
        const std::string command = prefix + "env -u NOTIFY_SOCKET 'ASAN_OPTIONS=" + asanOptions +
                                    "' 'VEVOVERAZARA_BASE_URL=" + server.Origin() + "' '" + binary.string() +
                                    "' -check 2>&1";
        out.clear();
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) return -1;
        char buffer[512];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, got);
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string out;
    EXPECT_EQ(run("", out), 0) << out;
    EXPECT_THAT(out, HasSubstr("OK    Arquivo VevoveRazara.log: "));
    EXPECT_EQ(out.find("FALHA"), std::string::npos) << out;

    // Root ignores file modes, so the directory is made read-only by the mount itself.
    if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespaces here";
    const std::string d = directory.string();
    const std::string readOnly = "unshare -m sh -c 'mount --make-rprivate / && mount --bind \"" + d + "\" \"" + d +
                                 "\" && mount -o remount,bind,ro \"" + d + "\" && exec \"$0\" \"$@\"' ";
    EXPECT_EQ(run(readOnly, out), 1) << out;
    EXPECT_THAT(out, HasSubstr("FALHA Arquivo VevoveRazara.log: o diretório " + d + " não aceita gravação"));
    EXPECT_THAT(out, HasSubstr("FALHA Arquivo BRISEN_RESPOSTA.LOG: "));
    EXPECT_THAT(out, HasSubstr("OK    Conexão com o banco de dados: "));
    EXPECT_EQ(DirectoryEntries().size(), 2u);  // the INI file and the executable
}

}  // namespace
}  // namespace vr::test
