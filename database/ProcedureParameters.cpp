#include "database/ProcedureParameters.h"

#include <exception>

#include "database/TQuery.h"

namespace vr::db {
namespace {

// RDB$FIELDS.RDB$FIELD_TYPE numbers.
constexpr int kSmallint = 7;
constexpr int kInteger = 8;
constexpr int kFloat = 10;
constexpr int kDate = 12;
constexpr int kTime = 13;
constexpr int kChar = 14;
constexpr int kBigint = 16;
constexpr int kBoolean = 23;
constexpr int kDouble = 27;
constexpr int kTimestamp = 35;
constexpr int kVarchar = 37;
constexpr int kBlob = 261;

int Number(const std::string& text) {
    try {
        return std::stoi(text);
    } catch (const std::exception&) {
        return 0;
    }
}

// The procedure's name goes into the text: it is one of the service's own constants.
std::string Quoted(std::string_view procedure) { return "'" + std::string(procedure) + "'"; }

bool IsInteger(int type) { return type == kSmallint || type == kInteger || type == kBigint; }
bool IsFloating(int type) { return type == kFloat || type == kDouble; }

}  // namespace

std::string DeclaredType::Name() const {
    switch (type) {
        case kSmallint: return scale < 0 ? "NUMERIC (SMALLINT)" : "SMALLINT";
        case kInteger: return scale < 0 ? "NUMERIC (INTEGER)" : "INTEGER";
        case kBigint: return scale < 0 ? "NUMERIC (BIGINT)" : "BIGINT";
        case kFloat: return "FLOAT";
        case kDouble: return "DOUBLE PRECISION";
        case kChar: return "CHAR";
        case kVarchar: return "VARCHAR";
        case kDate: return "DATE";
        case kTime: return "TIME";
        case kTimestamp: return "TIMESTAMP";
        case kBoolean: return "BOOLEAN";
        case kBlob: return "BLOB";
        default: return "tipo " + std::to_string(type);
    }
}

bool DeclaredType::TakesText() const { return type == kChar || type == kVarchar; }
bool DeclaredType::TakesDecimal() const { return IsFloating(type) || (IsInteger(type) && scale < 0); }
bool DeclaredType::TakesInteger() const { return IsFloating(type) || IsInteger(type); }

bool ProcedureExists(TConnection& connection, TTransaction& transaction, std::string_view procedure) {
    TQuery query(connection, transaction,
                 "SELECT COUNT(*) AS N FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = " + Quoted(procedure));
    query.Open();
    return query.Text("N") != "0";
}

std::vector<DeclaredParameter> InputParameters(TConnection& connection, TTransaction& transaction,
                                               std::string_view procedure) {
    TQuery query(connection, transaction,
                 "SELECT TRIM(P.RDB$PARAMETER_NAME) AS NOME, F.RDB$FIELD_TYPE AS TIPO, "
                 "F.RDB$FIELD_SCALE AS ESCALA FROM RDB$PROCEDURE_PARAMETERS P "
                 "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = P.RDB$FIELD_SOURCE "
                 "WHERE P.RDB$PROCEDURE_NAME = " +
                     Quoted(procedure) + " AND P.RDB$PARAMETER_TYPE = 0");
    query.Open();
    std::vector<DeclaredParameter> out;
    for (query.First(); !query.Eof(); query.Next()) {
        out.push_back({query.Text("NOME"), {Number(query.Text("TIPO")), Number(query.Text("ESCALA"))}});
    }
    return out;
}

}  // namespace vr::db
