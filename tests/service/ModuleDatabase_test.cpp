#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/Error.h"
#include "service/UVevoveRazara.h"
#include "tests/database/DbFixture.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TempDir.h"

namespace vr::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using ::testing::ThrowsMessage;

const std::string kFailurePrefix = "Falha na operação!!! Anote a mensagem abaixo e envie para o suporte: \r\n";

class DbModule : public ::testing::Test {
protected:
    DbModule() {
        WriteIni("[Rivelto]\r\nServidor=" + std::string(kServer) + "\r\nCaminho=" + db.path() + "\r\n");
    }
    ~DbModule() override {
        module.Connvelmora.Close();
    }

    void WriteIni(const std::string& content) { std::ofstream(directory / "Rivelto.ini", std::ios::binary) << content; }

    void Connect() {
        module.CarregarParametrosConexao();
        module.Connvelmora.SetReconnectPause([this](std::chrono::milliseconds pause) { pauses.push_back(pause); });
        module.Connvelmora.Open();
    }

    // The messages of the activity log's entries, in order.
    std::vector<std::string> LogMessages() const {
        const std::string log = Slurp(directory / "VevoveRazara.log");
        std::vector<std::string> messages;
        const std::string marker = "\r\n09/12/2026 10:00:00 - ";
        std::size_t at = log.find(marker);
        while (at != std::string::npos) {
            const std::size_t start = at + marker.size();
            const std::size_t next = log.find(marker, start);
            std::string message = log.substr(start, next == std::string::npos ? std::string::npos : next - start);
            if (message.ends_with("\r\n")) message.resize(message.size() - 2);
            messages.push_back(message);
            at = next;
        }
        return messages;
    }

    // One call as the feed makes it: start, set values, finish with commit and execution.
    template <typename SetValues>
    bool Call(SetValues&& setValues, bool comitar = true, bool executar = true) {
        module.IniciarTransacao(module.ProcDIrador);
        setValues(module.ProcDIrador);
        return module.FinalizarTransacao(module.ProcDIrador, comitar, executar);
    }

    std::string Recorded(const std::string& expression) {
        return db.Scalar("SELECT " + expression + " FROM DIRADOR_CHAMADAS");
    }

    TestDatabase db;
    const TempDir scratch{"vr-db-module-"};
    const fs::path directory = scratch.path();
    ManualClock clock{{2026, 12, 9, 10, 0, 0}};
    std::vector<std::chrono::milliseconds> pauses;
    TSrvVevoveRazara module{TModuleSetup{directory, RegionalSettings{}, &clock}};
};

TEST_F(DbModule, ConnectionParametersFromTheIniFile) {
    const std::string defaultPath = (directory / "RIVELTO.FDB").string();
    struct Case {
        const char* what;
        std::string ini;  // empty: no file
        std::string server;
        std::string path;
    } const cases[] = {
        {"no INI file", "", "localhost", defaultPath},
        {"both keys", "[Rivelto]\r\nServidor=192.0.2.10\r\nCaminho=D:\\Dados\\RIVELTO.FDB\r\n", "192.0.2.10",
         "D:\\Dados\\RIVELTO.FDB"},
        {"empty Servidor stays empty", "[Rivelto]\nServidor=\n", "", defaultPath},
        {"names in another case", "[RIVELTO]\nSERVIDOR=srv\ncaminho=/dados/x.fdb\n", "srv", "/dados/x.fdb"},
        {"quoted with blanks", "[Rivelto]\nCaminho =  \"/dados/loja 1.fdb\"  \n", "localhost", "/dados/loja 1.fdb"},
        {"other section only", "[Outra]\nServidor=x\n", "localhost", defaultPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(directory / "Rivelto.ini");
        if (!c.ini.empty()) WriteIni(c.ini);
        module.Connvelmora.Params() = {"Lixo=1", "DriverID=XX"};
        module.Connvelmora.SetLoginPrompt(true);
        module.CarregarParametrosConexao();
        EXPECT_FALSE(module.Connvelmora.LoginPrompt());
        EXPECT_EQ(module.Connvelmora.Params(),
                  (std::vector<std::string>{"DriverID=FB", "Pooled=false", "Database=" + c.path, "User_Name=USUARIO",
                                            "Password=wenduk", "Protocol=TCPIP", "Server=" + c.server, "Port=3050",
                                            "SQLDialect=3", "CharacterSet=ISO8859_1", "ExtendedMetaData=False",
                                            "OpenMode=Open"}));
    }
}

TEST_F(DbModule, ChangedIniFileTakesEffectAtTheNextLoad) {
    Connect();
    EXPECT_TRUE(module.Connvelmora.IsOpen());
    module.Connvelmora.Close();
    WriteIni("[Rivelto]\r\nServidor=" + std::string(kServer) + "\r\nCaminho=/tmp/vr-db-tests/outro.fdb\r\n");
    module.CarregarParametrosConexao();
    EXPECT_THROW(module.Connvelmora.Open(), Error);
}

TEST_F(DbModule, CallIsNormalisedExecutedAndCommitted) {
    Connect();
    const bool ok = Call([](db::TStoredProc& p) {
        p.SetText("CODIGOPRODUTO", "7891234567895");
        p.SetText("DIRADOR_NCM", "AçãoAçãoAção");  // 12 characters into VARCHAR(10)
        p.SetText("DIRADOR_CBNEF", "Ω1");           // no such letter in ISO-8859-1
        p.SetDecimal("DIRADOR_ALIQUOTAICMS", 180000);
        p.SetInteger("DIRADOR_CFOPVENDA", 5405);
        p.SetInteger("DIRADOR_CFOPCOMPRA", 0);
        p.SetText("DIRADOR_CST_CSOSN", "");
        p.SetText("ATUALIZARSEGMENTO", "N");
    });
    EXPECT_TRUE(ok);
    EXPECT_FALSE(module.TransProcDIrador.Active());
    EXPECT_TRUE(module.ProcDIrador.Prepared());
    EXPECT_EQ(Recorded("CODIGOPRODUTO || '|' || DIRADOR_NCM || '|' || DIRADOR_CBNEF || '|' || DIRADOR_ALIQUOTAICMS || "
                       "'|' || DIRADOR_CFOPVENDA || '|' || DIRADOR_CFOPCOMPRA || '|' || ATUALIZARSEGMENTO"),
              "7891234567895|AçãoAçãoAç|?1|18.0000|5405|0|N");
    // Unset: an integer goes as 0; text, CHAR and NUMERIC go as NULL; an empty text as NULL.
    EXPECT_EQ(Recorded("DIRADOR_IDSEGMENTO"), "0");
    EXPECT_EQ(Recorded("COALESCE(DIRADOR_LISTA, '<null>') || COALESCE(DIRADOR_CST_CSOSN, '<null>') || "
                       "COALESCE(DIRADOR_ALIQUOTAIPI, -1)"),
              "<null><null>-1.0000");
    // The values stay as the call left them, normalised, until the next start clears them.
    EXPECT_EQ(std::get<std::string>(module.ProcDIrador.ParamByName("DIRADOR_NCM").value), "AçãoAçãoAç");
    EXPECT_EQ(std::get<std::int64_t>(module.ProcDIrador.ParamByName("DIRADOR_IDSEGMENTO").value), 0);
    EXPECT_TRUE(LogMessages().empty());
    module.IniciarTransacao(module.ProcDIrador);
    EXPECT_TRUE(module.ProcDIrador.ParamByName("DIRADOR_NCM").IsNull());
}

TEST_F(DbModule, ExtraParametersOfTheStoresProcedure) {
    // More parameters than the service sets: integers of every size, a text and a scaled numeric
    // stored as an integer, one of them before ATUALIZARSEGMENTO.
    db.Execute("ALTER TABLE DIRADOR_CHAMADAS ADD EXTRA_PEQUENO SMALLINT");
    db.Execute("ALTER TABLE DIRADOR_CHAMADAS ADD EXTRA_GRANDE BIGINT");
    db.Execute("ALTER TABLE DIRADOR_CHAMADAS ADD EXTRA_DECIMAL NUMERIC(9,2)");
    db.Run(ProcDiradorVariant(
        {"ATUALIZARSEGMENTO"},
        {"EXTRA_INTEIRO INTEGER", "ATUALIZARSEGMENTO CHAR(1)", "EXTRA_TEXTO VARCHAR(10)", "EXTRA_PEQUENO SMALLINT",
         "EXTRA_GRANDE BIGINT", "EXTRA_DECIMAL NUMERIC(9,2)"},
        "  INSERT INTO DIRADOR_CHAMADAS (TRANSACAO, CODIGOPRODUTO, DIRADOR_IDSEGMENTO, ATUALIZARSEGMENTO,\n"
        "    EXTRA_INTEIRO, EXTRA_TEXTO, EXTRA_PEQUENO, EXTRA_GRANDE, EXTRA_DECIMAL)\n"
        "  VALUES (CURRENT_TRANSACTION, :CODIGOPRODUTO, :DIRADOR_IDSEGMENTO, :ATUALIZARSEGMENTO,\n"
        "    :EXTRA_INTEIRO, :EXTRA_TEXTO, :EXTRA_PEQUENO, :EXTRA_GRANDE, :EXTRA_DECIMAL);"));
    Connect();
    ASSERT_TRUE(Call([](db::TStoredProc& p) {
        p.SetText("CODIGOPRODUTO", "1");
        p.SetText("ATUALIZARSEGMENTO", "N");
    }));
    EXPECT_EQ(Recorded("EXTRA_INTEIRO || '|' || EXTRA_PEQUENO || '|' || EXTRA_GRANDE || '|' || "
                       "COALESCE(EXTRA_TEXTO, '<null>') || '|' || COALESCE(EXTRA_DECIMAL, -1)"),
              "0|0|0|<null>|-1.00");
}

TEST_F(DbModule, ProcedureLackingAParameterFailsWhenItIsSet) {
    // A store whose procedure predates ATUALIZARSEGMENTO.
    db.Run(ProcDiradorVariant({"ATUALIZARSEGMENTO"}, {},
                              "  INSERT INTO DIRADOR_CHAMADAS (TRANSACAO, CODIGOPRODUTO) "
                              "VALUES (CURRENT_TRANSACTION, :CODIGOPRODUTO);"));
    Connect();
    module.IniciarTransacao(module.ProcDIrador);
    module.ProcDIrador.SetText("CODIGOPRODUTO", "1");
    EXPECT_THAT([&] { module.ProcDIrador.SetText("ATUALIZARSEGMENTO", "N"); },
                ThrowsMessage<Error>(HasSubstr("ATUALIZARSEGMENTO")));
}

TEST_F(DbModule, UserExceptionLogsItsCatalogueMessageAlone) {
    Connect();
    const bool ok = Call([](db::TStoredProc& p) {
        p.SetText("ATUALIZARSEGMENTO", "Y");
        p.SetInteger("DIRADOR_IDSEGMENTO", -1);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"Segmento não cadastrado"});
    EXPECT_FALSE(module.TransProcDIrador.Active());
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "0");

    // The next call runs in a transaction of its own.
    ASSERT_TRUE(Call([](db::TStoredProc& p) { p.SetText("CODIGOPRODUTO", "2"); }));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "1");
    EXPECT_FALSE(module.TransProcDIrador.Active());
}

TEST_F(DbModule, CatalogueMessageWinsOverTheTextTheProcedureGave) {
    Connect();
    EXPECT_FALSE(Call([](db::TStoredProc& p) { p.SetText("CODIGOPRODUTO", "RECUSADO"); }));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"Produto recusado pelo cadastro"});
}

// EXC_PRODUTO is the beginning of EXC_PRODUTO_INVALIDO: both occur in the error, and the one the
// server lists first decides the message.
TEST_F(DbModule, FirstCatalogueNameFoundInTheMessageWins) {
    // Read as SYSDBA, in the server's order.
    const db::RowSet catalogue = db.Query("SELECT TRIM(RDB$EXCEPTION_NAME), RDB$MESSAGE FROM RDB$EXCEPTIONS");
    std::string expected;
    for (const auto& row : catalogue.rows) {
        const std::string name = db::ReadText(catalogue.columns[0], row[0]);
        if (name == "EXC_PRODUTO" || name == "EXC_PRODUTO_INVALIDO") {
            expected = db::ReadText(catalogue.columns[1], row[1]);
            break;
        }
    }
    ASSERT_FALSE(expected.empty());
    Connect();
    EXPECT_FALSE(Call([](db::TStoredProc& p) { p.SetText("CODIGOPRODUTO", "INVALIDO"); }));
    EXPECT_EQ(LogMessages(), std::vector<std::string>{expected});

    EXPECT_EQ(module.TrataExceptionFirebird("exception 3\r\n-EXC_SEGMENTO\r\n-Segmento não cadastrado"),
              "Segmento não cadastrado");
    EXPECT_EQ(module.TrataExceptionFirebird("-EXC_NAO_CATALOGADA"), "");
    EXPECT_EQ(module.TrataExceptionFirebird("exc_segmento"), "");  // letter case counts
}

TEST_F(DbModule, CatalogueIsReadOncePerConnection) {
    Connect();
    const auto failing = [](db::TStoredProc& p) {
        p.SetText("ATUALIZARSEGMENTO", "Y");
        p.SetInteger("DIRADOR_IDSEGMENTO", -5);
    };
    EXPECT_FALSE(Call(failing));
    db.Execute("ALTER EXCEPTION EXC_SEGMENTO 'Mensagem nova'");
    EXPECT_FALSE(Call(failing));  // still the rows read at the first error
    module.Connvelmora.Close();
    Connect();
    EXPECT_FALSE(Call(failing));
    EXPECT_EQ(LogMessages(),
              (std::vector<std::string>{"Segmento não cadastrado", "Segmento não cadastrado", "Mensagem nova"}));
}

TEST_F(DbModule, OtherDatabaseErrorsAreLoggedForSupport) {
    Connect();
    EXPECT_FALSE(Call([](db::TStoredProc& p) {
        p.SetText("CODIGOPRODUTO", "DIVISAO");
        p.SetInteger("DIRADOR_CFOPCOMPRA", 0);
    }));
    const std::vector<std::string> log = LogMessages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_THAT(log[0], StartsWith(kFailurePrefix + "arithmetic exception, numeric overflow, or string truncation\r\n"
                                                    "-Integer divide by zero."));
    EXPECT_THAT(log[0], HasSubstr("\r\n-At procedure 'PROC_DIRADOR' line: "));
    EXPECT_FALSE(module.TransProcDIrador.Active());
}

// The marker alone is no exception of the store's: a text that carries it without a catalogued
// name is logged for support like any other error, not as an empty entry.
TEST_F(DbModule, MarkerWithoutACatalogueNameIsLoggedForSupport) {
    db.Execute("CREATE PROCEDURE P_CONVERTE (V VARCHAR(20)) AS DECLARE X INTEGER; BEGIN X = CAST(:V AS INTEGER); END");
    db.Execute("GRANT EXECUTE ON PROCEDURE P_CONVERTE TO USUARIO");
    Connect();
    db::TStoredProc converte{module.Connvelmora, module.TransProcDIrador, "P_CONVERTE"};
    module.IniciarTransacao(converte);
    converte.SetText("V", "EXC_42");
    EXPECT_FALSE(module.FinalizarTransacao(converte, true, true));
    const std::vector<std::string> log = LogMessages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_THAT(log[0], StartsWith(kFailurePrefix + "conversion error from string \"EXC_42\""));
    EXPECT_FALSE(module.TransProcDIrador.Active());
}

TEST_F(DbModule, LockConflictFailsAtOnceAndIsLogged) {
    db.Execute("INSERT INTO PRODUTO_TRIBUTOS VALUES ('789', '0000')");
    db::Attachment other = db.AttachAsService();
    db::Transaction holder = db::Transaction::Start(other, false);
    other.ExecuteImmediate(holder, "UPDATE PRODUTO_TRIBUTOS SET NCM = '1111' WHERE CODIGOPRODUTO = '789'");

    Connect();
    // The holder lets go only below, after the call: a transaction that waited for the lock
    // would sit out the call's bound and end with another message.
    EXPECT_FALSE(Call([](db::TStoredProc& p) {
        p.SetText("CODIGOPRODUTO", "789");
        p.SetText("DIRADOR_NCM", "2202");
    }));
    const std::vector<std::string> log = LogMessages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_THAT(log[0], StartsWith(kFailurePrefix + "deadlock\r\n-update conflicts with concurrent update\r\n"
                                                    "-concurrent transaction number is "));
    EXPECT_FALSE(module.TransProcDIrador.Active());
    holder.Rollback();
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "0");  // the call left nothing
    EXPECT_EQ(db.Scalar("SELECT NCM FROM PRODUTO_TRIBUTOS"), "0000");
}

TEST_F(DbModule, WithoutCommitTheTransactionStaysAndTheNextCallContinuesIt) {
    Connect();
    EXPECT_TRUE(Call([](db::TStoredProc& p) { p.SetText("CODIGOPRODUTO", "A"); }, false, true));
    EXPECT_TRUE(module.TransProcDIrador.Active());
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "0");
    EXPECT_TRUE(Call([](db::TStoredProc& p) { p.SetText("CODIGOPRODUTO", "B"); }, true, true));
    EXPECT_FALSE(module.TransProcDIrador.Active());
    EXPECT_EQ(db.Column("SELECT CODIGOPRODUTO FROM DIRADOR_CHAMADAS ORDER BY ID"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(db.Scalar("SELECT COUNT(DISTINCT TRANSACAO) FROM DIRADOR_CHAMADAS"), "1");
}

TEST_F(DbModule, WithoutExecutionOnlyNormalisesAndCommits) {
    Connect();
    EXPECT_TRUE(Call([](db::TStoredProc& p) { p.SetText("DIRADOR_NCM", "12345678901"); }, true, false));
    EXPECT_FALSE(module.TransProcDIrador.Active());
    EXPECT_EQ(std::get<std::string>(module.ProcDIrador.ParamByName("DIRADOR_NCM").value), "1234567890");
    EXPECT_EQ(std::get<std::int64_t>(module.ProcDIrador.ParamByName("DIRADOR_CFOPVENDA").value), 0);
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "0");
}

TEST_F(DbModule, CallSurvivesALostConnection) {
    Connect();
    module.IniciarTransacao(module.ProcDIrador);
    KillServiceAttachments(db);
    module.ProcDIrador.SetText("CODIGOPRODUTO", "DEPOIS");
    EXPECT_TRUE(module.FinalizarTransacao(module.ProcDIrador, true, true));
    EXPECT_TRUE(LogMessages().empty());
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(Recorded("CODIGOPRODUTO"), "DEPOIS");

    // A start on the dead attachment is recovered the same way.
    KillServiceAttachments(db);
    EXPECT_TRUE(Call([](db::TStoredProc& p) { p.SetText("CODIGOPRODUTO", "OUTRO"); }));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "2");
}

TEST_F(DbModule, CallFailsWithTheConnectionErrorWhenReconnectionFails) {
    Connect();
    module.IniciarTransacao(module.ProcDIrador);
    WriteIni("[Rivelto]\r\nServidor=" + std::string(kServer) + "\r\nCaminho=/tmp/vr-db-tests/sumiu.fdb\r\n");
    module.CarregarParametrosConexao();
    KillServiceAttachments(db);
    module.ProcDIrador.SetText("CODIGOPRODUTO", "X");
    EXPECT_FALSE(module.FinalizarTransacao(module.ProcDIrador, true, true));
    const std::vector<std::string> log = LogMessages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_THAT(log[0], StartsWith(kFailurePrefix));
    EXPECT_THAT(log[0], HasSubstr("sumiu.fdb"));
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(3000),
                                                              std::chrono::milliseconds(3000)}));
    EXPECT_FALSE(module.Connvelmora.IsOpen());
    EXPECT_THROW(module.IniciarTransacao(module.ProcDIrador), Error);
}

TEST_F(DbModule, MissingProcedureFailsTheStart) {
    db.Execute("DROP PROCEDURE PROC_DIRADOR");
    Connect();
    EXPECT_THAT([&] { module.IniciarTransacao(module.ProcDIrador); },
                ThrowsMessage<Error>(HasSubstr("PROC_DIRADOR")));
    EXPECT_TRUE(module.TransProcDIrador.Active());  // ended by the commit of the close
    EXPECT_TRUE(LogMessages().empty());
    module.Connvelmora.Close();
    EXPECT_FALSE(module.TransProcDIrador.Active());
}

}  // namespace
}  // namespace vr::test
