#pragma once

// The components the service module holds, on a scratch database: for tests of the components
// without the module around them.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "database/TConnection.h"
#include "database/TQuery.h"
#include "database/TStoredProc.h"
#include "database/TTableQuery.h"
#include "database/TTransaction.h"
#include "tests/support/TestDatabase.h"

namespace vr::test {

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

// Ends every attachment of the service's user, as an administrator would, and waits until the
// server has finished ending them: a request that meets an attachment half shut down can wait
// for an answer that never comes.
inline void KillServiceAttachments(TestDatabase& db) {
    db.Execute("DELETE FROM MON$ATTACHMENTS WHERE MON$USER = 'USUARIO'");
    for (int i = 0; i < 250; ++i) {
        if (db.Scalar("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$USER = 'USUARIO'") == "0") return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "the server still lists the service's attachments";
}

}  // namespace vr::test
