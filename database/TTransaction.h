#pragma once

// A transaction component of the connection: read committed with record versions, no lock
// wait, read-only or read-write. By default it starts when a statement needs it and ends by a
// commit when that statement is done; the procedure call protocol switches that off.

#include <optional>

#include "database/DatabaseError.h"
#include "database/TConnection.h"
#include "database/Transaction.h"

namespace vr::db {

class TTransaction final : public TConnectionUser {
public:
    struct Options {
        bool autoStart = true;   // start when a statement needs it
        bool autoStop = true;    // end when the statement that started it is done
        bool autoCommit = true;  // end by commit (else by rollback)
    };

    TTransaction(TConnection& connection, bool readOnly);
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

    Options& options() { return options_; }

    // Starts it; throws vr::Error when it is already active.
    void StartTransaction();
    void Commit();
    // Never leaves the transaction active, even when the server reports an error.
    void Rollback();
    bool Active() const { return handle_.has_value(); }

    // --- For the components on the connection ---
    // The transaction to run a statement in: started when allowed, else it must be active.
    // After a lost connection it starts afresh only if it had done no work; otherwise the
    // work is gone and the connection's error is raised.
    Transaction& Use();
    void MarkWork() { work_ = true; }
    // The statement that needed it is done: end it if it was started for that statement.
    void StatementDone();
    // The statement that needed it failed: roll it back if it was started for that statement.
    void StatementFailed() noexcept;
    // Rolls back without raising.
    void RollbackQuietly() noexcept;

    void ConnectionLost(const DatabaseError& cause) noexcept override;
    void Disconnecting() override;

private:
    void Begin();

    TConnection& connection_;
    bool readOnly_;
    Options options_;
    std::optional<Transaction> handle_;
    bool startedAutomatically_ = false;
    bool work_ = false;
    bool resumeAfterLoss_ = false;
    std::optional<DatabaseError> lostWork_;
};

}  // namespace vr::db
