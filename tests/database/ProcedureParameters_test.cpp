#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "database/ProcedureParameters.h"
#include "tax/DiradorParameters.h"
#include "tests/database/DbFixture.h"

namespace vr::test {
namespace {

class DbProcedureParameters : public ::testing::Test {
protected:
    TestDatabase db;
};

bool Takes(const db::DeclaredType& type, TTipoParametro kind) {
    switch (kind) {
        case TTipoParametro::tpTexto: return type.TakesText();
        case TTipoParametro::tpDecimal: return type.TakesDecimal();
        case TTipoParametro::tpInteiro: return type.TakesInteger();
    }
    return false;
}

// The store's procedure declares exactly the parameters the service sets, each in a type that
// takes the kind of value the service sends.
TEST_F(DbProcedureParameters, TheStoresProcedureDeclaresEveryParameterOfTheTable) {
    Components c(db);
    c.connection.Open();
    ASSERT_TRUE(db::ProcedureExists(c.connection, c.readOnly, "PROC_DIRADOR"));
    const std::vector<db::DeclaredParameter> declared = db::InputParameters(c.connection, c.readOnly, "PROC_DIRADOR");
    ASSERT_EQ(declared.size(), ParametrosDirador().size());
    for (const TParametroDirador& p : ParametrosDirador()) {
        SCOPED_TRACE(p.nome);
        const auto found = std::find_if(declared.begin(), declared.end(),
                                        [&](const db::DeclaredParameter& d) { return d.name == p.nome; });
        ASSERT_NE(found, declared.end());
        EXPECT_TRUE(Takes(found->type, p.tipo)) << found->type.Name();
    }
    EXPECT_FALSE(db::ProcedureExists(c.connection, c.readOnly, "PROC_QUE_NAO_EXISTE"));
    EXPECT_TRUE(db::InputParameters(c.connection, c.readOnly, "PROC_QUE_NAO_EXISTE").empty());
}

TEST_F(DbProcedureParameters, DeclaredTypesAreNamedAndJudgedByWhatTheyTake) {
    db.Execute(
        "CREATE PROCEDURE PROC_TIPOS (P_SMALLINT SMALLINT, P_NUMERIC9 NUMERIC(9,2), P_BIGINT BIGINT, "
        "P_FLOAT FLOAT, P_DOUBLE DOUBLE PRECISION, P_CHAR CHAR(3), P_VARCHAR VARCHAR(5), P_DATE DATE, "
        "P_TIME TIME, P_TIMESTAMP TIMESTAMP, P_BOOLEAN BOOLEAN, P_BLOB BLOB SUB_TYPE TEXT) AS BEGIN END");
    struct Case {
        const char* name;
        const char* typeName;
        bool text, decimal, integer;
    } const cases[] = {
        {"P_SMALLINT", "SMALLINT", false, false, true},
        {"P_NUMERIC9", "NUMERIC (INTEGER)", false, true, true},
        {"P_BIGINT", "BIGINT", false, false, true},
        {"P_FLOAT", "FLOAT", false, true, true},
        {"P_DOUBLE", "DOUBLE PRECISION", false, true, true},
        {"P_CHAR", "CHAR", true, false, false},
        {"P_VARCHAR", "VARCHAR", true, false, false},
        {"P_DATE", "DATE", false, false, false},
        {"P_TIME", "TIME", false, false, false},
        {"P_TIMESTAMP", "TIMESTAMP", false, false, false},
        {"P_BOOLEAN", "BOOLEAN", false, false, false},
        {"P_BLOB", "BLOB", false, false, false},
    };
    Components c(db);
    c.connection.Open();
    const std::vector<db::DeclaredParameter> declared = db::InputParameters(c.connection, c.readOnly, "PROC_TIPOS");
    ASSERT_EQ(declared.size(), std::size(cases));
    for (const Case& e : cases) {
        SCOPED_TRACE(e.name);
        const auto found = std::find_if(declared.begin(), declared.end(),
                                        [&](const db::DeclaredParameter& d) { return d.name == e.name; });
        ASSERT_NE(found, declared.end());
        EXPECT_EQ(found->type.Name(), e.typeName);
        EXPECT_EQ(found->type.TakesText(), e.text);
        EXPECT_EQ(found->type.TakesDecimal(), e.decimal);
        EXPECT_EQ(found->type.TakesInteger(), e.integer);
    }
    EXPECT_EQ((db::DeclaredType{99, 0}.Name()), "tipo 99");
}

}  // namespace
}  // namespace vr::test
