#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Error.h"
#include "database/DatabaseError.h"
#include "tests/database/DbFixture.h"

namespace vr::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Property;
using ::testing::Throws;
using ::testing::ThrowsMessage;

std::vector<std::string> WithParam(std::vector<std::string> params, const std::string& name, const std::string& value) {
    for (std::string& entry : params) {
        if (entry.starts_with(name + "=")) entry = name + "=" + value;
    }
    return params;
}

class DbConnection : public ::testing::Test {
protected:
    TestDatabase db;
};

TEST_F(DbConnection, ConnectFailuresAreErrorsOfTheConnect) {
    struct Case {
        const char* what;
        std::vector<std::string> params;
        std::vector<std::string> libraries;
        std::string expected;
    };
    const std::vector<std::string> good = db.ConnectionParams();
    const std::vector<std::string> client = {"libfbclient.so.2"};
    const Case cases[] = {
        {"client library missing", good, {"libfbclient_ausente.so.2"}, "libfbclient_ausente.so.2"},
        {"library without the client's entry point", good, {"libc.so.6"}, "fb_get_master_interface"},
        {"database file missing", WithParam(good, "Database", "/tmp/vr-db-tests/nao-existe.fdb"), client,
         "/tmp/vr-db-tests/nao-existe.fdb"},
        {"wrong password", WithParam(good, "Password", "errada"), client, "user name and password"},
        {"nothing listening", WithParam(good, "Port", "3"), client, "Unable to complete network request"},
        {"no server named", WithParam(good, "Server", ""), client, "Servidor do banco de dados não informado"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        db::TConnection connection;
        connection.Params() = c.params;
        connection.SetClientLibraryNames(c.libraries);
        EXPECT_THAT([&] { connection.Open(); }, ThrowsMessage<Error>(HasSubstr(c.expected)));
        EXPECT_FALSE(connection.IsOpen());
    }
}

TEST_F(DbConnection, OpensOverTcpAsTheServiceUserInIso88591) {
    Components c(db);
    c.connection.Open();
    ASSERT_TRUE(c.connection.IsOpen());
    db::TQuery who(c.connection, c.readOnly,
                   "SELECT A.MON$USER AS USUARIO, A.MON$REMOTE_PROTOCOL AS PROTOCOLO, C.RDB$CHARACTER_SET_NAME AS CS "
                   "FROM MON$ATTACHMENTS A JOIN RDB$CHARACTER_SETS C ON C.RDB$CHARACTER_SET_ID = A.MON$CHARACTER_SET_ID "
                   "WHERE A.MON$ATTACHMENT_ID = CURRENT_CONNECTION");
    who.Open();
    EXPECT_EQ(who.Text("USUARIO"), "USUARIO");
    EXPECT_EQ(who.Text("PROTOCOLO"), "TCPv4");  // never the file opened inside this process
    EXPECT_EQ(who.Text("CS"), "ISO8859_1");
    // The read transaction ends by itself once the rows are read.
    EXPECT_FALSE(c.readOnly.Active());
    c.connection.Close();
    EXPECT_FALSE(c.connection.IsOpen());
    EXPECT_FALSE(who.Active());
}

// Text read from columns: CHAR loses its trailing blanks, empty text reads as NULL.
TEST_F(DbConnection, TextRulesWhenReading) {
    db.Run(
        "CREATE TABLE LEITURA (ID INTEGER, C CHAR(10), V VARCHAR(10));"
        "GRANT SELECT ON LEITURA TO USUARIO;"
        "INSERT INTO LEITURA VALUES (1, 'ABC', '  ab  ');"
        "INSERT INTO LEITURA VALUES (2, '', '');"
        "INSERT INTO LEITURA VALUES (3, NULL, NULL);"
        "INSERT INTO LEITURA VALUES (4, 'Ação', 'Ünïcode');");
    Components c(db);
    c.connection.Open();
    db::TQuery query(c.connection, c.readOnly, "SELECT C, V FROM LEITURA ORDER BY ID");
    query.Open();
    struct Row {
        std::string c;
        std::string v;
        bool cNull;
        bool vNull;
    } const expected[] = {{"ABC", "  ab  ", false, false}, {"", "", true, true}, {"", "", true, true},
                          {"Ação", "Ünïcode", false, false}};
    for (const Row& row : expected) {
        ASSERT_FALSE(query.Eof());
        EXPECT_EQ(query.Text("C"), row.c);
        EXPECT_EQ(query.Text("v"), row.v);  // by name, letter case ignored
        EXPECT_EQ(query.IsNull("C"), row.cNull);
        EXPECT_EQ(query.IsNull("V"), row.vNull);
        query.Next();
    }
    EXPECT_TRUE(query.Eof());
    EXPECT_THROW(query.Text("NAO_EXISTE"), Error);
}

// Text bound to parameters: CHAR without trailing blanks, empty as NULL, cut to the declared
// length, ISO-8859-1 on the wire with "?" for what it lacks.
TEST_F(DbConnection, TextRulesWhenBinding) {
    db.Run(
        "CREATE TABLE GRAVADO (ID INTEGER, C CHAR(10), V VARCHAR(10));"
        "SET TERM ^ ;"
        "CREATE PROCEDURE P_TEXTOS (ID INTEGER, C CHAR(10), V VARCHAR(10)) AS "
        "BEGIN INSERT INTO GRAVADO VALUES (:ID, :C, :V); END^"
        "SET TERM ; ^"
        "GRANT INSERT ON GRAVADO TO PROCEDURE P_TEXTOS;"
        "GRANT EXECUTE ON PROCEDURE P_TEXTOS TO USUARIO;");
    struct Case {
        const char* value;
        const char* storedC;  // as SYSDBA reads it back, "<null>" for NULL
        const char* storedV;
        const char* octetsV;
    } const cases[] = {
        {"ABC", "ABC", "ABC", "3"},
        {"", "<null>", "<null>", "<null>"},
        {"   ", "<null>", "   ", "3"},  // only CHAR loses its trailing blanks
        {"ab  ", "ab", "ab  ", "4"},
        {"ABCDEFGHIJKL", "ABCDEFGHIJ", "ABCDEFGHIJ", "10"},
        {"ação", "ação", "ação", "4"},  // one byte per character: ISO-8859-1 on the wire
        {"Ω€x", "??x", "??x", "3"},
    };
    Components c(db);
    c.connection.Open();
    db::TStoredProc proc(c.connection, c.procTransaction, "P_TEXTOS");
    int id = 0;
    for (const Case& k : cases) {
        proc.ClearValues();
        proc.Prepare();
        proc.SetInteger("ID", ++id);
        proc.SetText("C", k.value);
        proc.SetText("V", k.value);
        proc.ExecProc();  // starts and commits its own transaction by default
    }
    EXPECT_FALSE(c.procTransaction.Active());
    const db::RowSet rows = db.Query("SELECT C, V, OCTET_LENGTH(V) FROM GRAVADO ORDER BY ID");
    ASSERT_EQ(rows.rows.size(), std::size(cases));
    for (std::size_t i = 0; i < rows.rows.size(); ++i) {
        SCOPED_TRACE(cases[i].value);
        const auto text = [&](std::size_t column) {
            const db::RawValue& v = rows.rows[i][column];
            return v.null ? std::string("<null>") : db::ReadText(rows.columns[column], v);
        };
        EXPECT_EQ(text(0), cases[i].storedC);
        EXPECT_EQ(text(1), cases[i].storedV);
        EXPECT_EQ(text(2), cases[i].octetsV);
    }
}

TEST_F(DbConnection, LostConnectionIsReestablishedAndTheStatementRunsAgain) {
    Components c(db);
    c.connection.Open();
    db::TQuery id(c.connection, c.readOnly, "SELECT CURRENT_CONNECTION AS ID FROM RDB$DATABASE");
    id.Open();
    const std::string before = id.Text("ID");
    id.Close();

    KillServiceAttachments(db);
    id.Open();  // fails on the dead attachment, reconnects, runs again
    EXPECT_NE(id.Text("ID"), before);
    EXPECT_TRUE(c.connection.IsOpen());
    EXPECT_TRUE(c.pauses.empty());  // the first attempt succeeded

    // The other components work on the new attachment too.
    c.padrao.Open();
    EXPECT_EQ(c.padrao.Text("ESTADO"), "SP");
}

TEST_F(DbConnection, ReconnectionGivesUpAfterThreeAttempts) {
    Components c(db);
    c.connection.Open();
    // From now on no attach can succeed: the parameters name a file that does not exist.
    c.connection.Params() = WithParam(db.ConnectionParams(), "Database", "/tmp/vr-db-tests/sumiu.fdb");
    KillServiceAttachments(db);
    // The error of the last attempt.
    EXPECT_THAT([&] { c.padrao.Open(); }, ThrowsMessage<db::DatabaseError>(HasSubstr("sumiu.fdb")));
    EXPECT_EQ(c.pauses, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(3000),
                                                                std::chrono::milliseconds(3000)}));
    EXPECT_FALSE(c.connection.IsOpen());
}

TEST_F(DbConnection, ClosingCommitsTheActiveTransaction) {
    Components c(db);
    c.connection.Open();
    c.procTransaction.options() = {false, false, false};
    c.procTransaction.StartTransaction();
    c.proc.Prepare();
    c.proc.SetText("CODIGOPRODUTO", "789100");
    c.proc.ExecProc();
    EXPECT_TRUE(c.procTransaction.Active());
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "0");  // not yet committed
    c.connection.Close();
    EXPECT_FALSE(c.procTransaction.Active());
    EXPECT_FALSE(c.proc.Prepared());
    EXPECT_EQ(db.Scalar("SELECT CODIGOPRODUTO FROM DIRADOR_CHAMADAS"), "789100");
}

// Work done in a transaction that died with the connection cannot be replayed: the statement
// fails with the connection's error instead of silently dropping the earlier call.
TEST_F(DbConnection, LostConnectionWithUncommittedWorkFails) {
    Components c(db);
    c.connection.Open();
    c.procTransaction.options() = {false, false, false};
    c.procTransaction.StartTransaction();
    c.proc.Prepare();
    c.proc.SetText("CODIGOPRODUTO", "PRIMEIRO");
    c.proc.ExecProc();
    KillServiceAttachments(db);
    c.proc.SetText("CODIGOPRODUTO", "SEGUNDO");
    EXPECT_THAT([&] { c.proc.ExecProc(); },
                Throws<db::DatabaseError>(Property(&db::DatabaseError::ConnectionLost, true)));
    EXPECT_FALSE(c.procTransaction.Active());
    EXPECT_TRUE(c.connection.IsOpen());  // re-established for what comes next
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "0");
}

}  // namespace
}  // namespace vr::test
