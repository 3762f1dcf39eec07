#pragma once

// What the server's system tables declare about a stored procedure's input parameters, read in
// a transaction of the caller's, and what each declared type takes without loss.

#include <string>
#include <string_view>
#include <vector>

#include "database/TConnection.h"
#include "database/TTransaction.h"

namespace vr::db {

// RDB$FIELDS.RDB$FIELD_TYPE and RDB$FIELD_SCALE of a declared type.
struct DeclaredType {
    int type = 0;
    int scale = 0;

    // "VARCHAR", "NUMERIC (BIGINT)", "tipo 99" for a number this list does not know.
    std::string Name() const;
    // CHAR or VARCHAR: a number would refuse the texts.
    bool TakesText() const;
    // A scaled or floating number: an integer would drop the four decimal places.
    bool TakesDecimal() const;
    // Any number.
    bool TakesInteger() const;
};

struct DeclaredParameter {
    std::string name;
    DeclaredType type;
};

bool ProcedureExists(TConnection& connection, TTransaction& transaction, std::string_view procedure);

// The procedure's input parameters, in the order the server returns them.
std::vector<DeclaredParameter> InputParameters(TConnection& connection, TTransaction& transaction,
                                               std::string_view procedure);

}  // namespace vr::db
