#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "common/Error.h"
#include "database/DatabaseError.h"
#include "database/Statement.h"
#include "tests/database/DbFixture.h"
#include "tests/support/Matchers.h"

namespace vr::test {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Property;
using ::testing::Throws;
using ::testing::ThrowsMessage;

const LocalDateTime kToday{2026, 12, 9, 0, 0, 0};

class DbTableQuery : public ::testing::Test {
protected:
    // Replaces PADRAO by another layout of the configuration table.
    void RecreatePadrao(const std::string& columns, const std::string& inserts) {
        db.Run("DROP TABLE PADRAO; CREATE TABLE PADRAO (" + columns + "); GRANT SELECT, UPDATE ON PADRAO TO USUARIO;" +
               inserts);
    }

    TestDatabase db;
};

TEST_F(DbTableQuery, ReadsTheNamedColumnsOfTheFirstRow) {
    Components c(db);
    c.connection.Open();
    c.padrao.Open();
    ASSERT_FALSE(c.padrao.IsEmpty());
    EXPECT_EQ(c.padrao.Text("CGC"), "12.345.678/0001-90");
    EXPECT_EQ(c.padrao.Text("ESTADO"), "SP");
    EXPECT_EQ(c.padrao.Text("BRISEN_ID"), "loja-42");
    EXPECT_EQ(c.padrao.Text("BRISEN_TOKEN"), "token-secreto");
    EXPECT_EQ(c.padrao.Text("DIRADOR_DATAULTIMAATUALIZACAO"), "2026-03-14");
    EXPECT_EQ(c.padrao.DateTime("DIRADOR_DATAULTIMAATUALIZACAO"), (LocalDateTime{2026, 3, 14, 0, 0, 0}));
    EXPECT_EQ(c.padrao.KeyColumns(), std::vector<std::string>{"ID"});
    // Only the named columns are readable, even though the key was selected with them.
    EXPECT_THROW(c.padrao.Text("RAZAOSOCIAL"), Error);
    EXPECT_THROW(c.padrao.Text("ID"), Error);
    EXPECT_FALSE(c.readOnly.Active());
}

TEST_F(DbTableQuery, ColumnLayoutsOfTheStore) {
    struct Case {
        const char* what;
        std::string columns;
        std::string inserts;
        std::string estado;
        std::string brisenId;
        std::string token;
        LocalDateTime date;
        std::string stored;  // the column after posting kToday, as SYSDBA reads it
    } const cases[] = {
        {"CHAR(3) state, NULL id, empty token, DATE",
         "ID INTEGER NOT NULL PRIMARY KEY, CGC VARCHAR(18), ESTADO CHAR(3), BRISEN_ID VARCHAR(40), "
         "BRISEN_TOKEN VARCHAR(200), DIRADOR_DATAULTIMAATUALIZACAO DATE",
         "INSERT INTO PADRAO VALUES (1, '1', 'SP', NULL, '', '2026-12-08');", "SP", "", "", {2026, 12, 8, 0, 0, 0},
         "2026-12-09"},
        {"TIMESTAMP with a time of day",
         "ID INTEGER NOT NULL PRIMARY KEY, CGC VARCHAR(18), ESTADO CHAR(2), BRISEN_ID VARCHAR(40), "
         "BRISEN_TOKEN VARCHAR(200), DIRADOR_DATAULTIMAATUALIZACAO TIMESTAMP",
         "INSERT INTO PADRAO VALUES (1, '1', 'RJ', 'id', 'tk', '2026-12-08 23:59:59');", "RJ", "id", "tk",
         {2026, 12, 8, 23, 59, 59}, "2026-12-09 00:00:00"},
        {"key of two columns, one of them read, one of them text",
         "CGC VARCHAR(18) NOT NULL, LOJA CHAR(4) NOT NULL, ESTADO CHAR(2), BRISEN_ID VARCHAR(40), "
         "BRISEN_TOKEN VARCHAR(200), DIRADOR_DATAULTIMAATUALIZACAO DATE, CONSTRAINT PK_PADRAO PRIMARY KEY (CGC, LOJA)",
         "INSERT INTO PADRAO VALUES ('1', 'L1', 'MG', 'a', 'b', '2026-01-01');", "MG", "a", "b",
         {2026, 1, 1, 0, 0, 0}, "2026-12-09"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        RecreatePadrao(k.columns, k.inserts);
        Components c(db);
        c.connection.Open();
        c.padrao.Open();
        EXPECT_EQ(c.padrao.Text("ESTADO"), k.estado);
        EXPECT_EQ(c.padrao.Text("BRISEN_ID"), k.brisenId);
        EXPECT_EQ(c.padrao.IsNull("BRISEN_ID"), k.brisenId.empty());
        EXPECT_EQ(c.padrao.Text("BRISEN_TOKEN"), k.token);
        EXPECT_EQ(c.padrao.DateTime("DIRADOR_DATAULTIMAATUALIZACAO"), k.date);
        c.padrao.Edit();
        c.padrao.SetDateTime("DIRADOR_DATAULTIMAATUALIZACAO", kToday);
        c.padrao.Post();
        EXPECT_FALSE(c.padrao.Editing());
        EXPECT_FALSE(c.readWrite.Active());  // committed at once
        EXPECT_EQ(c.padrao.DateTime("DIRADOR_DATAULTIMAATUALIZACAO"), kToday);
        EXPECT_EQ(db.Scalar("SELECT DIRADOR_DATAULTIMAATUALIZACAO FROM PADRAO"), k.stored);
        c.connection.Close();
    }
}

TEST_F(DbTableQuery, OnlyTheFirstRowOfTwoIsReadAndUpdated) {
    db.Execute("INSERT INTO PADRAO (ID, CGC, ESTADO, DIRADOR_DATAULTIMAATUALIZACAO) VALUES (2, '2', 'BA', '2026-01-01')");
    const std::string first = db.Scalar("SELECT FIRST 1 CGC FROM PADRAO");
    Components c(db);
    c.connection.Open();
    c.padrao.Open();
    EXPECT_EQ(c.padrao.Text("CGC"), first);
    c.padrao.Edit();
    c.padrao.SetDateTime("DIRADOR_DATAULTIMAATUALIZACAO", kToday);
    c.padrao.Post();
    EXPECT_EQ(db.Column("SELECT CGC || ' ' || DIRADOR_DATAULTIMAATUALIZACAO FROM PADRAO ORDER BY ID"),
              (std::vector<std::string>{"12.345.678/0001-90 2026-12-09", "2 2026-01-01"}));
}

// Without a primary key the row is named by its physical address: even a row identical to
// another is updated alone.
TEST_F(DbTableQuery, WithoutPrimaryKeyTheRowAddressNamesTheRow) {
    RecreatePadrao(
        "CGC VARCHAR(18), ESTADO CHAR(2), BRISEN_ID VARCHAR(40), BRISEN_TOKEN VARCHAR(200), "
        "DIRADOR_DATAULTIMAATUALIZACAO DATE",
        "INSERT INTO PADRAO VALUES ('1', 'SP', 'a', 'b', '2026-01-01');"
        "INSERT INTO PADRAO VALUES ('1', 'SP', 'a', 'b', '2026-01-01');");
    Components c(db);
    c.connection.Open();
    c.padrao.Open();
    EXPECT_EQ(c.padrao.KeyColumns(), std::vector<std::string>{""});
    c.padrao.Edit();
    c.padrao.SetDateTime("DIRADOR_DATAULTIMAATUALIZACAO", kToday);
    c.padrao.Post();
    EXPECT_EQ(db.Column("SELECT DIRADOR_DATAULTIMAATUALIZACAO FROM PADRAO ORDER BY 1"),
              (std::vector<std::string>{"2026-01-01", "2026-12-09"}));
}

TEST_F(DbTableQuery, EmptyTableReadsEmpty) {
    db.Execute("DELETE FROM PADRAO");
    Components c(db);
    c.connection.Open();
    c.padrao.Open();
    EXPECT_TRUE(c.padrao.IsEmpty());
    for (const std::string& column : kPadraoColumns) EXPECT_EQ(c.padrao.Text(column), "") << column;
    EXPECT_THROW(c.padrao.Edit(), Error);
}

TEST_F(DbTableQuery, PostFailsAtOnceWhenAnotherTransactionHoldsTheRow) {
    Components c(db);
    c.connection.Open();
    c.padrao.Open();
    db::Attachment other = db.AttachAsSysdba();
    db::Transaction holder = db::Transaction::Start(other, false);
    other.ExecuteImmediate(holder, "UPDATE PADRAO SET BRISEN_TOKEN = 'outro' WHERE ID = 1");

    c.padrao.Edit();
    c.padrao.SetDateTime("DIRADOR_DATAULTIMAATUALIZACAO", kToday);
    EXPECT_THAT([&] { c.padrao.Post(); },
                Throws<db::DatabaseError>(
                    AllOf(Property(&db::DatabaseError::Conflict, true),
                          WithMessage(HasSubstr("deadlock\r\n-update conflicts with concurrent update")))));
    EXPECT_FALSE(c.readWrite.Active());
    EXPECT_EQ(c.padrao.DateTime("DIRADOR_DATAULTIMAATUALIZACAO"), (LocalDateTime{2026, 3, 14, 0, 0, 0}));
    holder.Rollback();
    EXPECT_EQ(db.Scalar("SELECT DIRADOR_DATAULTIMAATUALIZACAO FROM PADRAO"), "2026-03-14");
}

TEST_F(DbTableQuery, PostFailsWhenTheRowIsGone) {
    Components c(db);
    c.connection.Open();
    c.padrao.Open();
    db.Execute("DELETE FROM PADRAO");
    c.padrao.Edit();
    c.padrao.SetDateTime("DIRADOR_DATAULTIMAATUALIZACAO", kToday);
    EXPECT_THAT([&] { c.padrao.Post(); }, ThrowsMessage<Error>(HasSubstr("alterou 0 registros")));
    EXPECT_FALSE(c.readWrite.Active());
}

TEST_F(DbTableQuery, PostMustChangeExactlyOneRow) {
    // A "key" that no longer identifies one row: two rows share it once the constraint is gone.
    RecreatePadrao(
        "ID INTEGER NOT NULL, CGC VARCHAR(18), ESTADO CHAR(2), BRISEN_ID VARCHAR(40), BRISEN_TOKEN VARCHAR(200), "
        "DIRADOR_DATAULTIMAATUALIZACAO DATE, CONSTRAINT PK_PADRAO PRIMARY KEY (ID)",
        "INSERT INTO PADRAO (ID, CGC, DIRADOR_DATAULTIMAATUALIZACAO) VALUES (1, 'a', '2026-01-01');");
    Components c(db);
    c.connection.Open();
    c.padrao.Open();
    db.Run("ALTER TABLE PADRAO DROP CONSTRAINT PK_PADRAO;"
           "INSERT INTO PADRAO (ID, CGC, DIRADOR_DATAULTIMAATUALIZACAO) VALUES (1, 'b', '2026-01-01');");
    c.padrao.Edit();
    c.padrao.SetDateTime("DIRADOR_DATAULTIMAATUALIZACAO", kToday);
    EXPECT_THAT([&] { c.padrao.Post(); }, ThrowsMessage<Error>(HasSubstr("alterou 2 registros")));
    // Rolled back: neither row changed.
    EXPECT_EQ(db.Column("SELECT DIRADOR_DATAULTIMAATUALIZACAO FROM PADRAO"),
              (std::vector<std::string>{"2026-01-01", "2026-01-01"}));
}

TEST_F(DbTableQuery, MissingTableOrColumnFailsTheOpen) {
    struct Case {
        const char* what;
        const char* script;
        const char* expected;
    } const cases[] = {
        {"no column", "ALTER TABLE PADRAO DROP BRISEN_TOKEN;", "Column unknown\r\n-BRISEN_TOKEN"},
        {"no table", "DROP TABLE PADRAO;", "Table unknown\r\n-PADRAO"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        db.Run(k.script);
        Components c(db);
        c.connection.Open();
        EXPECT_THAT([&] { c.padrao.Open(); }, ThrowsMessage<db::DatabaseError>(HasSubstr(k.expected)));
        EXPECT_FALSE(c.padrao.Active());
        EXPECT_FALSE(c.readOnly.Active());
    }
}

}  // namespace
}  // namespace vr::test
