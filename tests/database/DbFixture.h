#pragma once

// The components the service module holds, on a scratch database: for tests of the components
// without the module around them.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "database/TConnection.h"
#include "database/TQuery.h"
#include "database/TStoredProc.h"
#include "database/TTableQuery.h"
#include "database/TTransaction.h"
#include "tests/database/TestDatabase.h"

namespace vr::testing {

inline const std::vector<std::string> kPadraoColumns = {"CGC", "ESTADO", "BRISEN_ID", "BRISEN_TOKEN",
                                                        "DIRADOR_DATAULTIMAATUALIZACAO"};

struct Components {
    explicit Components(TestDatabase& db) {
        connection.Params() = db.ConnectionParams();
        connection.SetReconnectPause([this](std::chrono::milliseconds pause) { pauses.push_back(pause); });
    }

    std::vector<std::chrono::milliseconds> pauses;
    db::TConnection connection;
    db::TTransaction readOnly{connection, true};
    db::TTransaction readWrite{connection, false};
    db::TTransaction procTransaction{connection, false};
    db::TTableQuery padrao{connection, readOnly, readWrite, "PADRAO", kPadraoColumns};
    db::TQuery exceptions{connection, readOnly,
                          "SELECT RDB$EXCEPTION_NAME AS NOME, RDB$MESSAGE AS MENSAGEM FROM RDB$EXCEPTIONS"};
    db::TStoredProc proc{connection, procTransaction, "PROC_DIRADOR"};
};

// Ends every attachment of the service's user, as an administrator would.
inline void KillServiceAttachments(TestDatabase& db) {
    db.Execute("DELETE FROM MON$ATTACHMENTS WHERE MON$USER = 'USUARIO'");
}

}  // namespace vr::testing
