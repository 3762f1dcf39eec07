#include "database/TTransaction.h"

#include "common/Error.h"

namespace vr::db {

TTransaction::TTransaction(TConnection& connection, bool readOnly) : connection_(connection), readOnly_(readOnly) {
    connection_.RegisterTransaction(*this);
}

TTransaction::~TTransaction() {
    connection_.Unregister(*this);
    RollbackQuietly();
}

void TTransaction::Begin() {
    handle_.emplace(Transaction::Start(connection_.attachment(), readOnly_));
    work_ = false;
    resumeAfterLoss_ = false;
    lostWork_.reset();
}

void TTransaction::StartTransaction() {
    if (Active()) throw Error("A transação já está ativa");
    connection_.Run([&] {
        if (!Active()) Begin();
    });
    startedAutomatically_ = false;
}

void TTransaction::Commit() {
    if (!handle_) return;
    try {
        handle_->Commit();
    } catch (const DatabaseError& error) {
        // A commit cut off by a lost connection may or may not have happened: it is not retried.
        if (error.ConnectionLost()) {
            handle_->Drop();
            handle_.reset();
        }
        throw;
    }
    handle_.reset();
    work_ = false;
}

void TTransaction::Rollback() {
    if (!handle_) return;
    std::optional<Transaction> ending = std::move(handle_);
    handle_.reset();
    work_ = false;
    try {
        ending->Rollback();
    } catch (const DatabaseError& error) {
        // The server undoes the work of a lost attachment by itself.
        if (!error.ConnectionLost()) throw;
    }
}

void TTransaction::RollbackQuietly() noexcept {
    if (handle_) handle_->Drop();
    handle_.reset();
    work_ = false;
}

Transaction& TTransaction::Use() {
    if (handle_) return *handle_;
    if (lostWork_) {
        const DatabaseError cause = *lostWork_;
        lostWork_.reset();
        throw cause;
    }
    if (!options_.autoStart && !resumeAfterLoss_) throw Error("A transação não está ativa");
    // A transaction resumed after a lost connection keeps the way it was started before.
    if (!resumeAfterLoss_) startedAutomatically_ = true;
    Begin();
    return *handle_;
}

void TTransaction::StatementDone() {
    if (!handle_ || !startedAutomatically_ || !options_.autoStop) return;
    if (options_.autoCommit) {
        Commit();
    } else {
        Rollback();
    }
}

void TTransaction::StatementFailed() noexcept {
    if (handle_ && startedAutomatically_ && options_.autoStop) RollbackQuietly();
}

void TTransaction::ConnectionLost(const DatabaseError& cause) noexcept {
    if (!handle_) return;
    handle_->Abandon();
    handle_.reset();
    if (work_) {
        lostWork_.emplace(cause);
    } else {
        resumeAfterLoss_ = true;
    }
    work_ = false;
}

void TTransaction::Disconnecting() {
    resumeAfterLoss_ = false;
    lostWork_.reset();
    if (!handle_) return;
    const bool hadWork = work_;
    try {
        Commit();
    } catch (const Error&) {
        RollbackQuietly();
        // A read that cannot be committed loses nothing; lost writes must not pass in silence.
        if (hadWork) throw;
    }
}

}  // namespace vr::db
