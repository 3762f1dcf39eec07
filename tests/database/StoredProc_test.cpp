#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "common/Error.h"
#include "database/DatabaseError.h"
#include "tests/database/DbFixture.h"

namespace vr::test {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

class DbStoredProc : public ::testing::Test {
protected:
    TestDatabase db;
};

TEST_F(DbStoredProc, ParameterListComesFromTheServer) {
    Components c(db);
    c.connection.Open();
    c.proc.Prepare();
    const auto& params = c.proc.Params();
    ASSERT_EQ(params.size(), 30u);
    struct Expected {
        std::size_t index;
        const char* name;
        db::ParamGroup group;
        unsigned length;
    } const expected[] = {
        {0, "CODIGOPRODUTO", db::ParamGroup::VarText, 20},
        {1, "DIRADOR_IDSEGMENTO", db::ParamGroup::Integer, 4},
        {6, "DIRADOR_CSTPISCOFINSENTRADA", db::ParamGroup::VarText, 3},
        {11, "DIRADOR_ALIQUOTAIPI", db::ParamGroup::Other, 8},  // NUMERIC(15,4): not an integer
        {16, "DIRADOR_CST_CSOSN", db::ParamGroup::Other, 4},    // CHAR
        {26, "DIRADOR_CFOPCOMPRA", db::ParamGroup::Integer, 4},
        {29, "ATUALIZARSEGMENTO", db::ParamGroup::Other, 1},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(params[e.index].name, e.name);
        EXPECT_EQ(params[e.index].group, e.group);
        EXPECT_EQ(params[e.index].length, e.length);
        EXPECT_TRUE(params[e.index].IsNull());
    }
}

TEST_F(DbStoredProc, ValuesTravelByNameInTheirDeclaredTypes) {
    Components c(db);
    c.connection.Open();
    c.proc.Prepare();
    c.proc.SetText("codigoproduto", "7891000");  // letter case ignored
    c.proc.SetDecimal("DIRADOR_ALIQUOTAIPI", 123456);
    c.proc.SetDecimal("DIRADOR_MVA", -1);
    c.proc.SetInteger("DIRADOR_CFOPVENDA", 5405);
    c.proc.SetInteger("DIRADOR_CFOPCOMPRA", -2147483647 - 1);
    c.proc.SetText("DIRADOR_CST_CSOSN", "060 ");
    c.proc.SetText("ATUALIZARSEGMENTO", "N");
    // Values of another kind are converted to the declared type.
    c.proc.SetText("DIRADOR_IDSEGMENTO", "17");
    c.proc.SetInteger("DIRADOR_NCM", 22021000);
    c.proc.SetDecimal("DIRADOR_CEST", 125000);
    c.proc.ExecProc();
    EXPECT_EQ(db.Column("SELECT CODIGOPRODUTO || '|' || DIRADOR_ALIQUOTAIPI || '|' || DIRADOR_MVA || '|' || "
                        "DIRADOR_CFOPVENDA || '|' || DIRADOR_CFOPCOMPRA || '|' || DIRADOR_CST_CSOSN || '|' || "
                        "ATUALIZARSEGMENTO || '|' || DIRADOR_IDSEGMENTO || '|' || DIRADOR_NCM || '|' || DIRADOR_CEST "
                        "FROM DIRADOR_CHAMADAS"),
              std::vector<std::string>{"7891000|12.3456|-0.0001|5405|-2147483648|060 |N|17|22021000|12.5"});
    // What was not set went as NULL (the component itself makes no integer 0).
    EXPECT_EQ(db.Column("SELECT COALESCE(DIRADOR_ALIQUOTAICMS, -1) || COALESCE(DIRADOR_CBNEF, '<null>') || "
                        "COALESCE(DIRADOR_CSTIPIENTRADA, '<null>') FROM DIRADOR_CHAMADAS"),
              std::vector<std::string>{"-1.0000<null><null>"});
}

TEST_F(DbStoredProc, UndeclaredParameterIsAnErrorNamingIt) {
    Components c(db);
    c.connection.Open();
    c.proc.Prepare();
    EXPECT_THAT([&] { c.proc.SetText("DIRADOR_INEXISTENTE", "x"); },
                ThrowsMessage<Error>(HasSubstr("DIRADOR_INEXISTENTE")));
}

TEST_F(DbStoredProc, ValueThatDoesNotFitIsAnErrorNamingTheParameter) {
    Components c(db);
    c.connection.Open();
    c.proc.Prepare();
    c.proc.SetText("DIRADOR_CFOPVENDA", "54O5");
    EXPECT_THAT([&] { c.proc.ExecProc(); }, ThrowsMessage<Error>(HasSubstr("DIRADOR_CFOPVENDA")));
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM DIRADOR_CHAMADAS"), "0");
}

TEST_F(DbStoredProc, MissingProcedureFailsThePrepare) {
    db.Execute("DROP PROCEDURE PROC_DIRADOR");
    Components c(db);
    c.connection.Open();
    EXPECT_THAT([&] { c.proc.Prepare(); },
                ThrowsMessage<db::DatabaseError>(HasSubstr("Procedure unknown\r\n-PROC_DIRADOR")));
    EXPECT_FALSE(c.proc.Prepared());
}

}  // namespace
}  // namespace vr::test
